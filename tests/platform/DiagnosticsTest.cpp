#include "platform/Diagnostics.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace platform;

class RecordingSink : public MessageBoxSink {
public:
    void messageBox(const std::string& caption, const std::string& text) override {
        boxes.emplace_back(caption, text);
    }
    std::vector<std::pair<std::string, std::string>> boxes;
};

TEST(MessageBox, AnInstalledSinkReceivesBoxesFromAnyThread) {
    RecordingSink sink;
    installMessageBoxSink(&sink);
    std::thread other([] {
        showMessageBox("Failed to open MIDI input", "Failed to open MIDI input.\nPlease...");
    });
    other.join();
    showMessageBox("Error", "second");
    installMessageBoxSink(nullptr);

    ASSERT_EQ(sink.boxes.size(), 2u);
    EXPECT_EQ(sink.boxes[0].first, "Failed to open MIDI input");
    EXPECT_EQ(sink.boxes[0].second, "Failed to open MIDI input.\nPlease...");
    EXPECT_EQ(sink.boxes[1], std::make_pair(std::string("Error"), std::string("second")));
}

}  // namespace
