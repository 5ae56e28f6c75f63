#pragma once
// A fresh Wine prefix has no fonts: the editor's tests install DejaVu as a
// user installs a font on Windows (the layouts ask for it after Windows'
// own fonts). Linux has it from fonts-dejavu-core; there nothing happens.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace testfonts {

inline void copyDejaVuIntoWine() {
    const char* windows = std::getenv("WINDIR");
    if (!windows)
        return;
    const std::filesystem::path fonts = std::filesystem::path(windows) / "Fonts";
    std::error_code ignored;
    std::filesystem::create_directories(fonts, ignored);
    for (const char* name : {"DejaVuSans.ttf", "DejaVuSansMono.ttf"})
        std::filesystem::copy_file(
            std::filesystem::path("Z:/usr/share/fonts/truetype/dejavu") / name, fonts / name,
            std::filesystem::copy_options::skip_existing, ignored);
}

// Before the first test of the program (call it from a static initialiser).
inline void installWineFonts() {
    class WineFonts : public testing::Environment {
        void SetUp() override { copyDejaVuIntoWine(); }
    };
    static const auto* const added = testing::AddGlobalTestEnvironment(new WineFonts);
    (void)added;
}

}  // namespace testfonts
