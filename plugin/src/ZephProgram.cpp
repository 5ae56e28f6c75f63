#include "plugin/ZephProgram.h"

#include <cstring>

#include "plugin/ParameterTable.h"

ZephProgramBasic::ZephProgramBasic() {
    for (auto& value : values_)
        value.store(0.0f, std::memory_order_relaxed);
}

void ZephProgramBasic::setParameter(int index, float value) {
    if (auto* slot = valuePointer(index))
        slot->store(value, std::memory_order_relaxed);
}

float ZephProgramBasic::getParameter(int index) const {
    const auto* slot = valuePointer(index);
    return slot ? slot->load(std::memory_order_relaxed) : 0.0f;
}

std::atomic<float>* ZephProgramBasic::valuePointer(int index) {
    return index >= 0 && index < kNumValues ? &values_[index] : nullptr;
}

const std::atomic<float>* ZephProgramBasic::valuePointer(int index) const {
    return index >= 0 && index < kNumValues ? &values_[index] : nullptr;
}

void ZephProgramBasic::setName(const char* name) {
    if (!name)
        return;
    std::strncpy(name_, name, kNameSize);
    name_[kNameSize - 1] = '\0';
}

FactoryProgram* factoryPrograms() {
    static FactoryProgram table[kNumFactoryPrograms] = {{"Defaults", 0, {}}};
    return table;
}
