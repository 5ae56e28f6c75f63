#pragma once
// Files linked into the plug-in under numeric (type, id) pairs
// (tavro_add_resources in CMake): type 256 Lua scripts, 257 images, 258 the
// fonts the plug-in carries.
// Windows: module resources of the module whose handle was recorded at load
// time (the executable's when none was). Linux: the embedded table.

#include <cstddef>
#include <cstdint>

namespace platform {

inline constexpr int kResourceTypeScript = 256;
inline constexpr int kResourceTypeImage = 257;
inline constexpr int kResourceTypeFont = 258;

// The built-in fonts (type 258, each a gzip member): DejaVu Sans and DejaVu
// Sans Mono.
inline constexpr int kResourceFontSans = 300;
inline constexpr int kResourceFontSansMono = 301;

struct ResourceBlob {
    const std::uint8_t* data = nullptr;  // null when not found
    std::size_t size = 0;
    explicit operator bool() const { return data != nullptr; }
};

// [any-thread] The data lives as long as the module.
ResourceBlob findBuiltinResource(int type, int id);

// Recorded by the library's load-time entry (Windows HMODULE); opaque here.
void setModuleHandle(void* handle);
void* moduleHandle();

}  // namespace platform
