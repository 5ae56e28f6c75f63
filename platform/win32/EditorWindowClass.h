#pragma once
// Inside the Windows platform layer: the editor's child window as the
// bridge (ManagerBridge.cpp) uses it.

#include <windows.h>

#include "platform/ManagerPlatformBridge.h"

namespace QX {

// Asked for by other threads, done by the window's own: SetFocus works
// only there, and the host hears from the editor only there.
constexpr UINT kTakeFocusMessage = WM_APP + 1;
constexpr UINT kHostTurnMessage = WM_APP + 2;

// The plug-in's module when it recorded one at load time, else the program.
HINSTANCE editorInstance();

// [ui-thread] The child window for `spec` in the editor's class, or null
// (GetLastError says why).
HWND createEditorWindow(const EditorWindowSpec& spec);

}  // namespace QX
