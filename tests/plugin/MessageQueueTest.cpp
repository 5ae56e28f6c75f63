#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/testing/CapturedReports.h"
#include "plugin/MessageQueue.h"

namespace {

using QX::MessageQueue;
using QX::MessageQueueItem;

std::vector<std::uint8_t> bytesOf(const QX::SysExBytes& sysex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < sysex.size(); ++i)
        bytes.push_back(sysex[i]);
    return bytes;
}

std::vector<std::uint8_t> dump(std::size_t length, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>((seed + i * 7) & 0x7F);
    return bytes;
}

TEST(MessageQueue, HoldsAtMost63ItemsAndReportsEachDropLater) {
    MessageQueue queue(64);
    for (int i = 0; i < 63; ++i)
        queue.Write(0x90, 0, static_cast<std::uint8_t>(i), 1, 0);
    // The writer is usually the audio thread: a drop is only counted there.
    platform::testing::CapturedReports said;
    queue.Write(0x90, 0, 99, 1, 0);
    queue.Write(0x90, 0, 98, 1, 0);
    const std::uint8_t bytes[] = {0x7D, 0xF7};
    EXPECT_FALSE(queue.WriteSysEx(bytes, 2));
    EXPECT_EQ(said.Take(), "");
    EXPECT_EQ(queue.droppedMessages(), 3u);
    queue.reportOverflows();
    queue.reportOverflows();  // each drop once
    EXPECT_EQ(said.Take(),
              "MessageQueue::Write() overflow\nMessageQueue::Write() overflow\n"
              "MessageQueue::WriteSysEx() overflow\n");

    ASSERT_NE(queue.pop(), nullptr);
    queue.Write(0x80, 1, 100, 0, 5);
    int count = 0;
    MessageQueueItem* last = nullptr;
    while (MessageQueueItem* item = queue.pop()) {
        last = item;
        ++count;
    }
    EXPECT_EQ(count, 63);
    EXPECT_EQ(last->data1, 100);
    EXPECT_EQ(last->frameOffset, 5u);
}

TEST(MessageQueue, PopOnEmptyChangesNothing) {
    MessageQueue queue;
    EXPECT_EQ(queue.peek(), nullptr);
    EXPECT_EQ(queue.pop(), nullptr);
    EXPECT_EQ(queue.readIndex(), 63);
    EXPECT_EQ(queue.writeIndex(), 0);
}

TEST(MessageQueue, TriggersAndSysexKeepTheirPayload) {
    MessageQueue queue(16);
    EXPECT_TRUE(queue.WriteTrigger(64094));
    const std::uint8_t bytes[] = {0x7D, 0x01, 0xF7};
    EXPECT_TRUE(queue.WriteSysEx(bytes, 3));
    MessageQueueItem* trigger = queue.pop();
    EXPECT_EQ(trigger->kind, MessageQueueItem::kPropertyTrigger);
    EXPECT_EQ(trigger->propertyId(), 64094u);
    MessageQueueItem* sysex = queue.pop();
    EXPECT_EQ(sysex->kind, MessageQueueItem::kSysEx);
    EXPECT_EQ(bytesOf(sysex->sysex), (std::vector<std::uint8_t>{0x7D, 0x01, 0xF7}));
}

TEST(MessageQueue, SysexStorageIsSharedAndReusedInOrder) {
    MessageQueue queue(10);
    const auto a = dump(4, 1), b = dump(6, 2), c = dump(7, 3), d = dump(3, 4), e = dump(9, 5);
    // Longer than the whole storage: never fits, nothing is queued.
    const auto tooLong = dump(11, 6);
    EXPECT_FALSE(queue.WriteSysEx(tooLong.data(), tooLong.size()));
    EXPECT_EQ(queue.writeIndex(), 0);
    EXPECT_TRUE(queue.WriteSysEx(a.data(), a.size()));
    EXPECT_TRUE(queue.WriteSysEx(b.data(), b.size()));
    // Full until the reader lets go of the first dump.
    EXPECT_FALSE(queue.WriteSysEx(c.data(), c.size()));
    MessageQueueItem* first = queue.pop();
    EXPECT_FALSE(queue.WriteSysEx(c.data(), c.size()));  // still held
    EXPECT_EQ(bytesOf(first->sysex), a);
    queue.releasePopped();
    EXPECT_FALSE(queue.WriteSysEx(c.data(), c.size()));  // 4 free, 7 needed
    EXPECT_EQ(bytesOf(queue.pop()->sysex), b);
    queue.releasePopped();

    EXPECT_TRUE(queue.WriteSysEx(d.data(), d.size()));
    EXPECT_EQ(bytesOf(queue.pop()->sysex), d);
    queue.releasePopped();
    // This one wraps round the end of the storage: two pieces.
    ASSERT_TRUE(queue.WriteSysEx(e.data(), e.size()));
    MessageQueueItem* wrapped = queue.pop();
    EXPECT_EQ(wrapped->sysex.firstLength, 7u);
    EXPECT_EQ(wrapped->sysex.secondLength, 2u);
    EXPECT_EQ(bytesOf(wrapped->sysex), e);
    // Popping the next item lets go of the one held before it.
    EXPECT_FALSE(queue.WriteSysEx(d.data(), 2));
    queue.Write(0x90, 0, 1, 1, 0);
    EXPECT_NE(queue.pop(), nullptr);
    EXPECT_TRUE(queue.WriteSysEx(d.data(), 2));
    EXPECT_EQ(queue.droppedMessages(), 5u);
}

TEST(MessageQueue, ItemsArriveInOrderAcrossThreads) {
    MessageQueue queue(300);
    constexpr int kMessages = 20000;
    std::thread writer([&] {
        for (int i = 0; i < kMessages;) {
            if (queue.writeIndex() == queue.readIndex()) {
                std::this_thread::yield();
                continue;
            }
            if (i % 5 == 0) {
                const auto bytes =
                    dump(static_cast<std::size_t>(i % 97), static_cast<std::uint8_t>(i));
                if (!queue.WriteSysEx(bytes.data(), bytes.size())) {
                    std::this_thread::yield();
                    continue;
                }
            } else {
                queue.Write(0x90, static_cast<std::uint8_t>(i & 15),
                            static_cast<std::uint8_t>(i & 127), 1, static_cast<std::uint32_t>(i));
            }
            ++i;
        }
    });
    int expected = 0;
    while (expected < kMessages) {
        if (MessageQueueItem* item = queue.pop()) {
            if (expected % 5 == 0) {
                ASSERT_EQ(item->kind, MessageQueueItem::kSysEx);
                ASSERT_EQ(bytesOf(item->sysex), dump(static_cast<std::size_t>(expected % 97),
                                                     static_cast<std::uint8_t>(expected)));
            } else {
                ASSERT_EQ(item->frameOffset, static_cast<std::uint32_t>(expected));
                ASSERT_EQ(item->data1, expected & 127);
            }
            if (expected % 2 == 0)
                queue.releasePopped();
            ++expected;
        } else {
            std::this_thread::yield();
        }
    }
    writer.join();
}

}  // namespace
