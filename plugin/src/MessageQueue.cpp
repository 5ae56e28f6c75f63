#include "plugin/MessageQueue.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace QX {

std::uint32_t MessageQueueItem::propertyId() const {
    return static_cast<std::uint32_t>(status) | static_cast<std::uint32_t>(channel) << 8 |
           static_cast<std::uint32_t>(data1) << 16 | static_cast<std::uint32_t>(data2) << 24;
}

MessageQueue::MessageQueue() {
    for (auto& item : items_)
        item = new MessageQueueItem;
}

MessageQueue::~MessageQueue() {
    for (auto* item : items_)
        delete item;
}

template <typename Fill>
bool MessageQueue::write(const char* overflowText, Fill fill) {
    const std::int32_t slot = write_.load(std::memory_order_relaxed);
    if (read_.load(std::memory_order_acquire) == slot) {
        std::fputs(overflowText, stderr);
        return false;
    }
    fill(*items_[slot]);
    write_.store((slot + 1) % kSlots, std::memory_order_release);
    return true;
}

void MessageQueue::Write(std::uint8_t status, std::uint8_t channel, std::uint8_t data1,
                         std::uint8_t data2, std::uint32_t frameOffset) {
    write("MessageQueue::Write() overflow\n", [&](MessageQueueItem& item) {
        item.kind = MessageQueueItem::kMidi;
        item.status = status;
        item.channel = channel;
        item.data1 = data1;
        item.data2 = data2;
        item.frameOffset = frameOffset;
    });
}

bool MessageQueue::WriteSysEx(const std::uint8_t* bytes, std::size_t length) {
    return write("MessageQueue::WriteSysEx() overflow\n", [&](MessageQueueItem& item) {
        item.kind = MessageQueueItem::kSysEx;
        item.status = item.channel = item.data1 = item.data2 = 0;
        item.data.assign(bytes, bytes + length);
        item.frameOffset = 0;
    });
}

bool MessageQueue::WriteTrigger(std::uint32_t id) {
    return write("MessageQueue::Write() overflow\n", [&](MessageQueueItem& item) {
        item.kind = MessageQueueItem::kPropertyTrigger;
        item.status = static_cast<std::uint8_t>(id);
        item.channel = static_cast<std::uint8_t>(id >> 8);
        item.data1 = static_cast<std::uint8_t>(id >> 16);
        item.data2 = static_cast<std::uint8_t>(id >> 24);
        item.frameOffset = 0;
    });
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
    return item;
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
