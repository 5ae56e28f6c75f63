#include "osc/OscPacketCheck.h"

#include <cstdint>
#include <cstring>

namespace QX {

namespace {

std::uint32_t readUInt32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
           std::uint32_t{b[3]};
}

// Size of the padded string at p (terminator and zero padding to a
// multiple of four included); 0 when it is unterminated, runs past `room`
// or has a non-zero padding byte.
std::size_t paddedStringSize(const char* p, std::size_t room) {
    const void* terminator = std::memchr(p, 0, room);
    if (!terminator)
        return 0;
    const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(terminator) - p);
    const std::size_t padded = (length + 4) & ~std::size_t{3};
    if (padded > room)
        return 0;
    for (std::size_t i = length; i < padded; ++i)
        if (p[i] != '\0')
            return 0;
    return padded;
}

const char* checkElement(const char* p, std::size_t size, int depth);

const char* checkMessage(const char* p, std::size_t size) {
    if (size % 4 != 0)
        return "message size must be multiple of four";
    std::size_t position;
    if (p[0] == '\0') {
        // An integer address pattern (a SuperCollider habit): four bytes,
        // as oscpack reads it.
        position = 4;
    } else {
        position = paddedStringSize(p, size);
        if (position == 0)
            return "unterminated address pattern";
    }
    if (position == size)
        return nullptr;  // no type tags: a message without arguments
    if (p[position] != ',')
        return "type tags not present";
    const char* tags = p + position + 1;
    const std::size_t tagsSize = paddedStringSize(p + position, size - position);
    if (tagsSize == 0)
        return "unterminated type tags";
    position += tagsSize;

    int arrayDepth = 0;
    for (const char* tag = tags; *tag != '\0'; ++tag) {
        const std::size_t room = size - position;
        switch (*tag) {
            case 'T':
            case 'F':
            case 'N':
            case 'I':
                break;
            case '[':
                ++arrayDepth;
                break;
            case ']':
                if (arrayDepth == 0)
                    return "array end without array start";
                --arrayDepth;
                break;
            case 'i':
            case 'f':
            case 'c':
            case 'r':
            case 'm':
                if (room < 4)
                    return "arguments exceed message size";
                position += 4;
                break;
            case 'h':
            case 't':
            case 'd':
                if (room < 8)
                    return "arguments exceed message size";
                position += 8;
                break;
            case 's':
            case 'S': {
                if (room == 0)
                    return "arguments exceed message size";
                const std::size_t stringSize = paddedStringSize(p + position, room);
                if (stringSize == 0)
                    return "unterminated string argument";
                position += stringSize;
                break;
            }
            case 'b': {
                if (room < 4)
                    return "arguments exceed message size";
                const std::size_t blobSize = readUInt32(p + position);
                const std::size_t padded = (blobSize + 3) & ~std::size_t{3};
                if (padded > room - 4)
                    return "arguments exceed message size";
                position += 4 + padded;
                break;
            }
            default:
                return "unknown type tag";
        }
    }
    if (arrayDepth != 0)
        return "array was not terminated before end of message";
    return nullptr;
}

const char* checkBundle(const char* p, std::size_t size, int depth) {
    if (depth > kMaxBundleDepth)
        return "bundles nested too deeply";
    if (size < 16)
        return "packet too short for bundle";
    if (size % 4 != 0)
        return "bundle size must be multiple of four";
    if (std::memcmp(p, "#bundle", 8) != 0)
        return "bad bundle address pattern";
    std::size_t position = 16;
    while (position < size) {
        if (size - position < 4)
            return "packet too short for elementSize";
        const std::size_t elementSize = readUInt32(p + position);
        position += 4;
        if (elementSize % 4 != 0)
            return "bundle element size must be multiple of four";
        if (elementSize > size - position)
            return "packet too short for bundle element";
        if (const char* reason = checkElement(p + position, elementSize, depth + 1))
            return reason;
        position += elementSize;
    }
    return nullptr;
}

const char* checkElement(const char* p, std::size_t size, int depth) {
    if (size == 0)
        return "zero length elements not permitted";
    return p[0] == '#' ? checkBundle(p, size, depth) : checkMessage(p, size);
}

}  // namespace

const char* checkOscPacket(const char* data, std::size_t size) {
    if (!data || size == 0)
        return "zero length elements not permitted";
    // oscpack takes sizes as int32.
    if (size > 0x7FFFFFFC)
        return "invalid packet size";
    return checkElement(data, size, 1);
}

}  // namespace QX
