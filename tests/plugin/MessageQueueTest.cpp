#include <gtest/gtest.h>

#include <thread>

#include "plugin/MessageQueue.h"

namespace {

using QX::MessageQueue;
using QX::MessageQueueItem;

TEST(MessageQueue, HoldsAtMost63Items) {
    MessageQueue queue;
    for (int i = 0; i < 63; ++i)
        queue.Write(0x90, 0, static_cast<std::uint8_t>(i), 1, 0);
    testing::internal::CaptureStderr();
    queue.Write(0x90, 0, 99, 1, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "MessageQueue::Write() overflow\n");
    testing::internal::CaptureStderr();
    const std::uint8_t bytes[] = {0x7D, 0xF7};
    EXPECT_FALSE(queue.WriteSysEx(bytes, 2));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "MessageQueue::WriteSysEx() overflow\n");

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
    MessageQueue queue;
    EXPECT_TRUE(queue.WriteTrigger(64094));
    const std::uint8_t bytes[] = {0x7D, 0x01, 0xF7};
    EXPECT_TRUE(queue.WriteSysEx(bytes, 3));
    MessageQueueItem* trigger = queue.pop();
    EXPECT_EQ(trigger->kind, MessageQueueItem::kPropertyTrigger);
    EXPECT_EQ(trigger->propertyId(), 64094u);
    MessageQueueItem* sysex = queue.pop();
    EXPECT_EQ(sysex->kind, MessageQueueItem::kSysEx);
    EXPECT_EQ(sysex->data, (std::vector<std::uint8_t>{0x7D, 0x01, 0xF7}));
}

TEST(MessageQueue, ItemsArriveInOrderAcrossThreads) {
    MessageQueue queue;
    constexpr int kMessages = 20000;
    std::thread writer([&] {
        for (int i = 0; i < kMessages;) {
            if (queue.writeIndex() == queue.readIndex()) {
                std::this_thread::yield();
                continue;
            }
            queue.Write(0x90, static_cast<std::uint8_t>(i & 15), static_cast<std::uint8_t>(i & 127),
                        1, static_cast<std::uint32_t>(i));
            ++i;
        }
    });
    int expected = 0;
    while (expected < kMessages) {
        if (MessageQueueItem* item = queue.pop()) {
            ASSERT_EQ(item->frameOffset, static_cast<std::uint32_t>(expected));
            ASSERT_EQ(item->data1, expected & 127);
            ++expected;
        } else {
            std::this_thread::yield();
        }
    }
    writer.join();
}

}  // namespace
