#include "osc/SetParamQueue.h"

namespace QX {

static_assert((SetParamQueue::kSlots & (SetParamQueue::kSlots - 1)) == 0,
              "positions wrap through the slots by masking");

SetParamQueue::SetParamQueue() {
    for (std::uint32_t i = 0; i < kSlots; ++i)
        slots_[i].sequence.store(i, std::memory_order_relaxed);
}

bool SetParamQueue::push(std::int32_t index, float value) {
    std::uint32_t position = writePosition_.load(std::memory_order_relaxed);
    for (;;) {
        Slot& slot = slots_[position & (kSlots - 1)];
        const std::uint32_t sequence = slot.sequence.load(std::memory_order_acquire);
        const auto lag = static_cast<std::int32_t>(sequence - position);
        if (lag == 0) {
            // One slot stays free, as in the single-writer ring this
            // replaces: 63 changes wait, the 64th is refused.
            if (position - readPosition_.load(std::memory_order_acquire) >= kCapacity)
                return false;
            if (writePosition_.compare_exchange_weak(position, position + 1,
                                                     std::memory_order_relaxed))
                break;
            // Another writer took this position; `position` now holds the
            // current one.
        } else if (lag < 0) {
            // The reader has not yet freed this slot from the last lap.
            return false;
        } else {
            position = writePosition_.load(std::memory_order_relaxed);
        }
    }
    Slot& slot = slots_[position & (kSlots - 1)];
    slot.index = index;
    slot.value = value;
    slot.sequence.store(position + 1, std::memory_order_release);
    return true;
}

bool SetParamQueue::pop(std::int32_t& index, float& value) {
    const std::uint32_t position = readPosition_.load(std::memory_order_relaxed);
    Slot& slot = slots_[position & (kSlots - 1)];
    const std::uint32_t sequence = slot.sequence.load(std::memory_order_acquire);
    if (static_cast<std::int32_t>(sequence - (position + 1)) < 0)
        return false;
    index = slot.index;
    value = slot.value;
    slot.sequence.store(position + kSlots, std::memory_order_release);
    readPosition_.store(position + 1, std::memory_order_release);
    return true;
}

std::uint32_t SetParamQueue::size() const {
    const std::uint32_t read = readPosition_.load(std::memory_order_acquire);
    const std::uint32_t write = writePosition_.load(std::memory_order_acquire);
    return write - read;
}

}  // namespace QX
