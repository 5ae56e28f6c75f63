#pragma once
// Pictures of the open editor for previews and tests: a host (tavro-view)
// asks through effVendorSpecific with kVendorWriteEditorFrame, the value a
// time-out in milliseconds and ptr a PNG file's path; the answer is 1 once
// the next frame drawn was read back and written. Under Wine this is the
// only faithful picture of a GL child window.

#include "vst/AEffect.h"

// kVendorWriteEditorFrame, kVendorEditorFramesDrawn, kVendorEditorInputPending
// and kVendorEditorInputHandled.
#include "plugin/VendorRequests.h"

class EditorFrameWriter {
public:
    virtual ~EditorFrameWriter() = default;
    // [ui-thread] False when no editor is open or the time ran out.
    virtual bool WriteNextFrame(const char* path, int timeoutMs) = 0;
    // [any-thread]
    virtual long long FramesDrawn() const = 0;
    virtual long long InputPending() const = 0;
    virtual long long InputHandled() const = 0;
};
