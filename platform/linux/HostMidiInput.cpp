// The host program's table, looked up among the symbols the process exports:
// an executable exports it only when linked to (-rdynamic).

#include <dlfcn.h>

#include "common/SystemServices.h"
#include "platform/HostMidiInput.h"

namespace platform {

const TavroHostMidiInput* detail::hostMidiInputTable() {
    void* symbol = dlsym(RTLD_DEFAULT, TAVRO_HOST_MIDI_INPUT_SYMBOL);
    if (symbol == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<TavroHostMidiInputFunction>(symbol)();
}

}  // namespace platform
