#pragma once
// Hands MIDI messages, sysex dumps and property triggers from the thread that
// produces them to the audio thread: a fixed ring of 64 preallocated items
// with a read index and a write index and no lock.
//
// One writer and one reader at a time. The writer alone advances the write
// index and reads the read index; the reader alone advances the read index
// and reads the write index. Items are published with release order and
// taken with acquire order.

#include <atomic>
#include <cstdint>
#include <vector>

namespace QX {

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
    std::vector<std::uint8_t> data;  // kind 2: the sysex bytes
    std::uint32_t frameOffset = 0;

    std::uint32_t propertyId() const;
};

class MessageQueue {
public:
    static constexpr int kSlots = 64;

    MessageQueue();
    virtual ~MessageQueue();
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    // [writer] A kind 1 message; dropped with a line on standard error when
    // the queue is full.
    void Write(std::uint8_t status, std::uint8_t channel, std::uint8_t data1, std::uint8_t data2,
               std::uint32_t frameOffset);
    // [writer] False (and a line on standard error) when the queue is full.
    // May grow the item's storage for a dump longer than any before.
    bool WriteSysEx(const std::uint8_t* bytes, std::size_t length);
    // [writer] A kind 3 trigger for property `id`.
    bool WriteTrigger(std::uint32_t id);

    // [reader] The next unread item, or null when the queue is empty.
    MessageQueueItem* peek() const;
    // [reader] Consumes the next unread item; null when empty. The item
    // stays intact until the next pop.
    MessageQueueItem* pop();

    // [reader] Moves the frame offsets of the unread items one block of
    // `frames` samples on (never below 0): an event the host placed beyond
    // the end of its block falls due that many samples into the next one,
    // and no later than that block's last sample.
    // Safe against the writer, which only ever fills the slot at the write
    // index, never an unread one.
    void rebaseUnread(std::uint32_t frames);

    int readIndex() const { return read_.load(std::memory_order_relaxed); }
    int writeIndex() const { return write_.load(std::memory_order_relaxed); }

private:
    // Fills the slot at the write index through `fill` and publishes it.
    template <typename Fill>
    bool write(const char* overflowText, Fill fill);
    int nextReadSlot() const;

    MessageQueueItem* items_[kSlots];
    std::atomic<std::int32_t> read_{kSlots - 1};
    std::atomic<std::int32_t> write_{0};
};

}  // namespace QX
