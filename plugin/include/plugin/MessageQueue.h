#pragma once
// Hands MIDI messages, sysex dumps and property triggers from the thread that
// produces them to the audio thread: a fixed ring of 64 preallocated items
// with a read index and a write index and no lock.
//
// One writer and one reader at a time. The writer alone advances the write
// index and reads the read index; the reader alone advances the read index
// and reads the write index. Items are published with release order and
// taken with acquire order.
//
// The writer is usually the audio thread itself (effProcessEvents), so
// writing neither allocates nor prints: sysex dumps go into storage
// allocated with the queue, and a dropped message is only counted there;
// another thread prints the overflow texts later (reportOverflows).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace QX {

// Where a kind 2 item's bytes lie in the queue's storage: a dump that wraps
// round the end of the storage comes in two pieces.
struct SysExBytes {
    const std::uint8_t* first = nullptr;
    std::size_t firstLength = 0;
    const std::uint8_t* second = nullptr;
    std::size_t secondLength = 0;

    std::size_t size() const { return firstLength + secondLength; }
    // The byte at `index` (below size()).
    std::uint8_t operator[](std::size_t index) const {
        return index < firstLength ? first[index] : second[index - firstLength];
    }
};

class MessageQueueItem {
public:
    enum Kind : std::int32_t { kFresh = 0, kMidi = 1, kSysEx = 2, kPropertyTrigger = 3 };

    virtual ~MessageQueueItem() = default;
    virtual void reserved() {}

    std::int32_t kind = kFresh;
    // Kind 1: status (high nibble, channel cleared), channel 0..15, data1,
    // data2 (0..127). Kind 3: the property id instead.
    std::uint8_t status = 0;
    std::uint8_t channel = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
    SysExBytes sysex;  // kind 2: the dump, valid while the item is held
    std::uint32_t frameOffset = 0;
    // The queue's count of sysex bytes written before this item's own.
    std::uint64_t storageMark = 0;

    std::uint32_t propertyId() const;
};

class MessageQueue {
public:
    static constexpr int kSlots = 64;

    // [main-thread] The items and `sysexCapacity` bytes of sysex storage:
    // the sysex bytes the queue can hold at once. Everything is allocated
    // (and touched) here.
    explicit MessageQueue(std::size_t sysexCapacity = 0);
    virtual ~MessageQueue();
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    // [writer, audio-safe] A kind 1 message; dropped and counted when the
    // queue is full.
    void Write(std::uint8_t status, std::uint8_t channel, std::uint8_t data1, std::uint8_t data2,
               std::uint32_t frameOffset);
    // [writer, audio-safe] The dump copied into the queue's storage, whole
    // or not at all: false (and counted) when the queue is full or its
    // storage has no room for the dump (a dump longer than the storage
    // never fits).
    bool WriteSysEx(const std::uint8_t* bytes, std::size_t length);
    // [writer, audio-safe] A kind 3 trigger for property `id`.
    bool WriteTrigger(std::uint32_t id);

    // [reader] The next unread item, or null when the queue is empty.
    MessageQueueItem* peek() const;
    // [reader] Consumes the next unread item; null when empty. The item
    // stays intact until the next pop or releasePopped.
    MessageQueueItem* pop();
    // [reader] Done with the item last popped: its sysex bytes may be
    // overwritten. Otherwise they stay reserved until the next pop.
    void releasePopped();

    // [reader] Moves the frame offsets of the unread items one block of
    // `frames` samples on (never below 0): an event the host placed beyond
    // the end of its block falls due that many samples into the next one,
    // and no later than that block's last sample.
    // Safe against the writer, which only ever fills the slot at the write
    // index, never an unread one.
    void rebaseUnread(std::uint32_t frames);

    int readIndex() const { return read_.load(std::memory_order_relaxed); }
    int writeIndex() const { return write_.load(std::memory_order_relaxed); }
    std::size_t sysexCapacity() const { return sysexCapacity_; }

    // [any-thread except audio; one caller at a time] Prints the overflow
    // text to standard error once for every message dropped since the last
    // call: "MessageQueue::Write() overflow\n" for kinds 1 and 3,
    // "MessageQueue::WriteSysEx() overflow\n" for sysex.
    void reportOverflows();
    // [any-thread] Messages dropped so far.
    std::uint64_t droppedMessages() const { return dropped_.load(std::memory_order_relaxed); }

private:
    // Fills the slot at the write index through `fill` and publishes it;
    // `unreported` counts a drop.
    template <typename Fill>
    bool write(std::atomic<std::uint32_t>& unreported, Fill fill);
    void countDrop(std::atomic<std::uint32_t>& unreported);
    int nextReadSlot() const;

    MessageQueueItem* items_[kSlots];
    std::atomic<std::int32_t> read_{kSlots - 1};
    std::atomic<std::int32_t> write_{0};

    // Sysex storage: a byte ring. The writer alone counts the bytes written;
    // the reader publishes how many of them it no longer needs.
    std::unique_ptr<std::uint8_t[]> sysexStorage_;
    std::size_t sysexCapacity_ = 0;
    std::uint64_t sysexWritten_ = 0;
    std::atomic<std::uint64_t> sysexReleased_{0};

    std::atomic<std::uint32_t> unreportedWrites_{0};
    std::atomic<std::uint32_t> unreportedSysEx_{0};
    std::atomic<std::uint64_t> dropped_{0};
};

}  // namespace QX
