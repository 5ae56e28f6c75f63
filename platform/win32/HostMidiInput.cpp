// The host program's table, looked up among the exports of the process's
// executable (not of other DLLs: a host offers it, nobody else).

#include <windows.h>

#include "common/SystemServices.h"
#include "platform/HostMidiInput.h"

namespace platform {

const TavroHostMidiInput* detail::hostMidiInputTable() {
    HMODULE program = GetModuleHandleA(nullptr);
    if (program == nullptr) {
        return nullptr;
    }
    void* symbol = reinterpret_cast<void*>(GetProcAddress(program, TAVRO_HOST_MIDI_INPUT_SYMBOL));
    if (symbol == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<TavroHostMidiInputFunction>(symbol)();
}

}  // namespace platform
