#include "plugin/MessageQueue.h"
#include "platform/Diagnostics.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace QX {

std::uint32_t MessageQueueItem::propertyId() const {
    return static_cast<std::uint32_t>(status) | static_cast<std::uint32_t>(channel) << 8 |
           static_cast<std::uint32_t>(data1) << 16 | static_cast<std::uint32_t>(data2) << 24;
}

MessageQueue::MessageQueue(std::size_t sysexCapacity) : sysexCapacity_(sysexCapacity) {
    for (auto& item : items_)
        item = new MessageQueueItem;
    // Value-initialised: the pages are touched now, not on the first dump
    // the audio thread writes.
    if (sysexCapacity_ > 0)
        sysexStorage_.reset(new std::uint8_t[sysexCapacity_]());
}

MessageQueue::~MessageQueue() {
    for (auto* item : items_)
        delete item;
}

void MessageQueue::countDrop(std::atomic<std::uint32_t>& unreported) {
    unreported.fetch_add(1, std::memory_order_relaxed);
    dropped_.fetch_add(1, std::memory_order_relaxed);
}

template <typename Fill>
bool MessageQueue::write(std::atomic<std::uint32_t>& unreported, Fill fill) {
    const std::int32_t slot = write_.load(std::memory_order_relaxed);
    if (read_.load(std::memory_order_acquire) == slot) {
        countDrop(unreported);
        return false;
    }
    MessageQueueItem& item = *items_[slot];
    item.storageMark = sysexWritten_;
    fill(item);
    write_.store((slot + 1) % kSlots, std::memory_order_release);
    return true;
}

void MessageQueue::Write(std::uint8_t status, std::uint8_t channel, std::uint8_t data1,
                         std::uint8_t data2, std::uint32_t frameOffset) {
    write(unreportedWrites_, [&](MessageQueueItem& item) {
        item.kind = MessageQueueItem::kMidi;
        item.status = status;
        item.channel = channel;
        item.data1 = data1;
        item.data2 = data2;
        item.sysex = SysExBytes{};
        item.frameOffset = frameOffset;
    });
}

bool MessageQueue::WriteSysEx(const std::uint8_t* bytes, std::size_t length) {
    // The reader's release is read before its slot: bytes it released
    // belong to items it has already popped.
    const std::uint64_t inUse = sysexWritten_ - sysexReleased_.load(std::memory_order_acquire);
    if ((length > 0 && !bytes) || length > sysexCapacity_ || length > sysexCapacity_ - inUse) {
        countDrop(unreportedSysEx_);
        return false;
    }
    return write(unreportedSysEx_, [&](MessageQueueItem& item) {
        item.kind = MessageQueueItem::kSysEx;
        item.status = item.channel = item.data1 = item.data2 = 0;
        SysExBytes view;
        if (length > 0) {
            // Up to the end of the storage, then on from its start.
            const std::size_t start = static_cast<std::size_t>(sysexWritten_ % sysexCapacity_);
            view.first = &sysexStorage_[start];
            view.firstLength = std::min(length, sysexCapacity_ - start);
            std::memcpy(&sysexStorage_[start], bytes, view.firstLength);
            if (view.firstLength < length) {
                view.second = &sysexStorage_[0];
                view.secondLength = length - view.firstLength;
                std::memcpy(&sysexStorage_[0], bytes + view.firstLength, view.secondLength);
            }
        }
        item.sysex = view;
        item.frameOffset = 0;
        sysexWritten_ += length;
    });
}

bool MessageQueue::WriteTrigger(std::uint32_t id) {
    return write(unreportedWrites_, [&](MessageQueueItem& item) {
        item.kind = MessageQueueItem::kPropertyTrigger;
        item.status = static_cast<std::uint8_t>(id);
        item.channel = static_cast<std::uint8_t>(id >> 8);
        item.data1 = static_cast<std::uint8_t>(id >> 16);
        item.data2 = static_cast<std::uint8_t>(id >> 24);
        item.sysex = SysExBytes{};
        item.frameOffset = 0;
    });
}

void MessageQueue::reportOverflows() {
    // For developers: the editor shows warnings and errors to the musician,
    // who cannot act on these.
    for (std::uint32_t n = unreportedWrites_.exchange(0, std::memory_order_relaxed); n > 0; --n)
        platform::report(platform::ReportLevel::kInfo, "MessageQueue::Write() overflow");
    for (std::uint32_t n = unreportedSysEx_.exchange(0, std::memory_order_relaxed); n > 0; --n)
        platform::report(platform::ReportLevel::kInfo, "MessageQueue::WriteSysEx() overflow");
}

int MessageQueue::nextReadSlot() const {
    const std::int32_t next = (read_.load(std::memory_order_relaxed) + 1) % kSlots;
    if (next == write_.load(std::memory_order_acquire))
        return -1;
    return next;
}

MessageQueueItem* MessageQueue::peek() const {
    const int next = nextReadSlot();
    return next < 0 ? nullptr : items_[next];
}

MessageQueueItem* MessageQueue::pop() {
    const int next = nextReadSlot();
    if (next < 0)
        return nullptr;
    MessageQueueItem* item = items_[next];
    read_.store(next, std::memory_order_release);
    // The items before this one are done with, and their bytes with them.
    sysexReleased_.store(item->storageMark, std::memory_order_release);
    return item;
}

void MessageQueue::releasePopped() {
    // The slot at the read index is never written while it is the read
    // index: its item is the one last popped (or the never-used first).
    const MessageQueueItem& held = *items_[read_.load(std::memory_order_relaxed)];
    const std::uint64_t end = held.storageMark + held.sysex.size();
    if (end > sysexReleased_.load(std::memory_order_relaxed))
        sysexReleased_.store(end, std::memory_order_release);
}

}  // namespace QX

namespace QX {

void MessageQueue::rebaseUnread(std::uint32_t frames) {
    const std::int32_t end = write_.load(std::memory_order_acquire);
    for (std::int32_t slot = (read_.load(std::memory_order_relaxed) + 1) % kSlots; slot != end;
         slot = (slot + 1) % kSlots) {
        MessageQueueItem& item = *items_[slot];
        // At most one block late: an offset far beyond any block (a host
        // fault) must not hold up everything queued behind it.
        item.frameOffset = item.frameOffset >= frames
                               ? std::min(item.frameOffset - frames, frames > 0 ? frames - 1 : 0)
                               : 0;
    }
}

}  // namespace QX
