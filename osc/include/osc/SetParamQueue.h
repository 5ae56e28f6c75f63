#pragma once
// Parameter changes on their way from whatever thread made them to the OSC
// server's notify thread: 64 slots of {index, value}, one of them always
// kept free, so 63 changes wait at most.
//
// Any number of writers at once (the host's threads, the editor, the OSC
// receive thread, script timers), one reader. A writer claims its slot with
// one compare-and-swap on the write position and publishes it through the
// slot's own sequence number, so a writer never waits for another writer or
// for the reader: a full queue refuses the change at once.

#include <array>
#include <atomic>
#include <cstdint>

namespace QX {

class SetParamQueue {
public:
    static constexpr std::uint32_t kSlots = 64;
    static constexpr std::uint32_t kCapacity = kSlots - 1;

    SetParamQueue();

    // [any-thread, lock-free] False when the queue is full; nothing is
    // stored then.
    bool push(std::int32_t index, float value);
    // [reader only] The oldest published change; false when there is none.
    // A change whose writer has claimed its slot but not yet filled it ends
    // the drain: it is read next time.
    bool pop(std::int32_t& index, float& value);
    // [any-thread] Changes waiting, as seen at the moment of the call.
    std::uint32_t size() const;

private:
    struct Slot {
        // Equals the position a writer may claim it for; position + 1 once
        // filled; position + kSlots once read.
        std::atomic<std::uint32_t> sequence{0};
        std::int32_t index = 0;
        float value = 0.0f;
    };

    std::array<Slot, kSlots> slots_;
    alignas(64) std::atomic<std::uint32_t> writePosition_{0};
    alignas(64) std::atomic<std::uint32_t> readPosition_{0};
};

}  // namespace QX
