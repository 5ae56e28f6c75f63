#pragma once
// The effVendorSpecific requests tavro answers beyond VST 2.4. Numbers only:
// a host (the tools) includes this without any of the plug-in's code.

#include <cstdint>

// The round-trip line as the test view shows it: ptr a char buffer, value
// its capacity; the answer is 1 when the text (NUL-terminated, cut to fit)
// was written.
inline constexpr std::int32_t kVendorRoundTripText = 0x74765254;  // 'tvRT'

// Pictures of the open editor: value a time-out in milliseconds, ptr a PNG
// file's path; the answer is 1 once the next frame drawn was read back and
// written.
inline constexpr std::int32_t kVendorWriteEditorFrame = 0x74764652;  // 'tvFR'
// Answers the number of frames the open editor has drawn (0 when closed).
inline constexpr std::int32_t kVendorEditorFramesDrawn = 0x74764643;  // 'tvFC'
// Answers how many input events the open editor has queued and not yet
// handled: a host that sent input waits for 0, then for a frame drawn.
inline constexpr std::int32_t kVendorEditorInputPending = 0x74764950;  // 'tvIP'
// Answers how many input events the open editor has handled since it opened.
inline constexpr std::int32_t kVendorEditorInputHandled = 0x74764948;  // 'tvIH'
