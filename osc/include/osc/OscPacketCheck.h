#pragma once
// Checks a whole received OSC packet before any of it is read: sizes,
// alignment, string terminators and padding, type tags and the room every
// argument needs, in every element of every bundle. Pure code on bytes.
//
// oscpack checks most of this while parsing, but lets a blob claim more
// bytes than the packet holds, accepts non-zero padding (so that it and a
// plain reader disagree on where a string ends) and follows bundles to any
// depth. A packet that passes here is one oscpack reads without surprises.

#include <cstddef>

namespace QX {

// Bundles inside bundles beyond this depth are refused: a datagram of
// nested headers must not run the receive thread's stack down.
inline constexpr int kMaxBundleDepth = 16;

// Null when the packet is well formed; otherwise the reason, a static text.
const char* checkOscPacket(const char* data, std::size_t size);

}  // namespace QX
