#pragma once
// Raw bytes of built-in scripts and of files.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace QX {

struct ResourceBytes {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

// A built-in resource of type 256 (scripts); a missing one shows the
// system's error text captioned "Error" and gives no data.
ResourceBytes LoadResourceBlob(int id);
// A built-in image (type 257); a missing one shows the same message.
ResourceBytes LoadImageBlob(int id);
// The whole file, or an empty buffer when it cannot be opened.
std::vector<std::uint8_t> LoadFileBlob(const std::string& path);

}  // namespace QX
