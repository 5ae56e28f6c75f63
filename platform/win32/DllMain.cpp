// The plug-in DLL's load-time entry. Compiled into the final DLL itself, not
// into the platform library: the linker would not pull it out of an archive.

#include <windows.h>

#include "platform/BuiltinResources.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        // Resources and paths belong to this DLL, not to the host executable.
        platform::setModuleHandle(instance);
    }
    return TRUE;
}
