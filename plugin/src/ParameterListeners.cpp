#include "plugin/ParameterListeners.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "plugin/InstanceRegistry.h"

namespace {

std::vector<ParameterListenerProc>& listeners() {
    static std::vector<ParameterListenerProc> list;
    return list;
}

std::atomic<int> gListenerCount{0};

}  // namespace

void addParameterListener(ParameterListenerProc listener) {
    std::lock_guard<std::recursive_mutex> guard(InstanceRegistry::lock());
    listeners().push_back(listener);
    gListenerCount.store(static_cast<int>(listeners().size()), std::memory_order_release);
}

void removeParameterListener(ParameterListenerProc listener) {
    std::lock_guard<std::recursive_mutex> guard(InstanceRegistry::lock());
    auto& list = listeners();
    list.erase(std::remove(list.begin(), list.end(), listener), list.end());
    gListenerCount.store(static_cast<int>(list.size()), std::memory_order_release);
}

void callParameterListeners(ZephAuBase* plugin, int index, float native) {
    if (gListenerCount.load(std::memory_order_acquire) == 0)
        return;
    std::lock_guard<std::recursive_mutex> guard(InstanceRegistry::lock());
    for (std::size_t i = 0; i < listeners().size(); ++i)
        listeners()[i](plugin, index, native);
}
