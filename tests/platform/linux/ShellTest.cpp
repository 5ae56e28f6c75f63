// xdg-open as the desktop's handler: started with the target as its one
// argument, untouched by any shell, and with none of our descriptors.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/Shell.h"

namespace {

namespace fs = std::filesystem;

class FakeXdgOpen : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(bin_);
        const fs::path script = bin_ / "xdg-open";
        std::ofstream(script) << "#!/bin/sh\n"
                                 "printf '%s\\n' \"$#\" \"$1\" > \""
                              << (bin_ / "args.part").string()
                              << "\"\n"
                                 "ls -l /proc/$$/fd/ >> \""
                              << (bin_ / "args.part").string() << "\"\n"
                              << "mv \"" << (bin_ / "args.part").string() << "\" \""
                              << (bin_ / "args").string() << "\"\n";
        fs::permissions(script, fs::perms::owner_all);
        const char* path = std::getenv("PATH");
        savedPath_ = path ? path : "";
        setenv("PATH", (bin_.string() + ":" + savedPath_).c_str(), 1);
    }
    void TearDown() override {
        setenv("PATH", savedPath_.c_str(), 1);
        std::error_code ignored;
        fs::remove_all(bin_, ignored);
    }
    // What the fake was given: argument count, the argument, its open
    // descriptors.
    std::string waitForArguments() {
        for (int i = 0; i < 500; ++i) {
            if (fs::exists(bin_ / "args")) {
                std::ifstream in(bin_ / "args");
                std::stringstream text;
                text << in.rdbuf();
                return text.str();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return "(not started)";
    }

    fs::path bin_ = fs::temp_directory_path() / ("tavro-shell-" + std::to_string(::getpid()));
    std::string savedPath_;
};

TEST_F(FakeXdgOpen, TheTargetArrivesAsOneArgumentThatNoShellRead) {
    const std::string target = "/tmp/My Skins/$(touch nope); rm -rf \"*\" `x`";
    // A descriptor of the host's that must not reach the desktop's program.
    const fs::path marker = bin_ / "held-by-the-host";
    std::ofstream(marker) << "x";
    const int opened = open(marker.c_str(), O_RDONLY);
    ASSERT_GE(opened, 0);
    // Well above the low numbers the spawning itself uses.
    const int held = fcntl(opened, F_DUPFD, 40);
    close(opened);
    ASSERT_GE(held, 40);
    EXPECT_TRUE(platform::openWithShell(target, platform::ShellVerb::kExplore));
    close(held);
    const std::string seen = waitForArguments();
    EXPECT_EQ(seen.rfind("1\n" + target + "\n", 0), 0u) << seen;
    EXPECT_EQ(seen.find("held-by-the-host"), std::string::npos) << seen;
    EXPECT_FALSE(fs::exists("nope"));
}

TEST_F(FakeXdgOpen, NothingStartsWithoutXdgOpenOrATarget) {
    EXPECT_FALSE(platform::openWithShell("", platform::ShellVerb::kOpen));
    setenv("PATH", "/nonexistent", 1);
    EXPECT_FALSE(platform::openWithShell("https://example.org/", platform::ShellVerb::kOpen));
}

}  // namespace
