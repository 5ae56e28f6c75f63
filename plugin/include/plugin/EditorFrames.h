#pragma once
// Pictures of the open editor for previews and tests: a host (tavro-view)
// asks through effVendorSpecific with this index, the value a time-out in
// milliseconds and ptr a PNG file's path; the answer is 1 once the next
// frame drawn was read back and written. Under Wine this is the only
// faithful picture of a GL child window.

#include "vst/AEffect.h"

inline constexpr VstInt32 kVendorWriteEditorFrame = 0x74764652;  // 'tvFR'
// Answers the number of frames the open editor has drawn (0 when closed).
inline constexpr VstInt32 kVendorEditorFramesDrawn = 0x74764643;  // 'tvFC'
// Answers how many input events the open editor has queued and not yet
// handled: a host that sent input waits for 0, then for a frame drawn.
inline constexpr VstInt32 kVendorEditorInputPending = 0x74764950;  // 'tvIP'

class EditorFrameWriter {
public:
    virtual ~EditorFrameWriter() = default;
    // [ui-thread] False when no editor is open or the time ran out.
    virtual bool WriteNextFrame(const char* path, int timeoutMs) = 0;
    // [any-thread]
    virtual long long FramesDrawn() const = 0;
    virtual long long InputPending() const = 0;
};
