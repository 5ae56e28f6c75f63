#pragma once
// Setting the plug-in's MIDI source (the device name its test input listens
// on) from the host. The plug-in has no host call for it, but restores it
// with its saved state: so the host takes the state, puts the name in and
// gives it back, as a DAW does when it loads a project.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace host {
class VstHost;
}

namespace render {

// The state chunk `current` (laid out as plugin/StateChunkFormat.h says)
// with its MIDI source entry ('teep') replaced by `name`: the
// identification entries, the parameter values ('parm') and the program's
// own chunk are kept. Data that is no state chunk gives a chunk that holds
// the name only.
std::vector<std::uint8_t> chunkWithMidiSource(const void* current, std::size_t size,
                                              const std::string& name);

// [main-thread] effGetChunk, the name put in, effSetChunk: the plug-in then
// opens the device of that name. False when the plug-in gives no chunk (it
// does not save its state that way, and would not read the name back).
bool setMidiSource(host::VstHost& plugin, const std::string& name);

}  // namespace render
