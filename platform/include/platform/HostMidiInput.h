#pragma once
// MIDI input devices offered by the host program itself, for the plug-in's
// test input: the rendezvous through which a host that renders the plug-in's
// output can wire it back into the plug-in's input in software (a loop-back
// cable without hardware).
//
// The plug-in is a library with its own copy of the platform layer, built
// by another compiler run (the Windows DLL even links its own C++ runtime),
// so nothing but C types cross: a host that wants this exports the function
// TAVRO_HOST_MIDI_INPUT_SYMBOL from its executable, and the plug-in looks it
// up in the process when it opens its MIDI source (see MidiInput.h). A host
// that exports nothing, as every DAW, leaves the plug-in with the system's
// devices.
//
// Contract for the host, version 1:
// - The function returns the table, or null while the host offers no
//   devices (the plug-in then uses the system's). A table stays valid while
//   any connection opened through it is open.
// - deviceCount, deviceName, open and close come on the thread that opens
//   or closes the plug-in's MIDI source (the host's user-interface thread).
// - deviceName writes the name of device `index` NUL-terminated into
//   `buffer`, cut to `capacity` - 1 bytes, and returns the name's whole
//   length without the terminator; -1 for an index out of range.
// - open returns a handle for the connection, or null when the device
//   cannot be opened (busy, gone, out of range). From then on the host calls
//   `receive(listener, bytes, length)` on any one thread at a time, with one
//   whole short message (1 to 3 bytes) or up to 65536 bytes of system
//   exclusive per call, the bytes valid during the call only.
// - close ends the connection: when it returns, no call of `receive` for it
//   is running or will come. A plug-in never closes from inside `receive`.
// - No function throws or longjmps.

#include <stddef.h>
#include <stdint.h>

#define TAVRO_HOST_MIDI_INPUT_SYMBOL "tavro_host_midi_input"
#define TAVRO_HOST_MIDI_INPUT_VERSION 1u

#if defined(_WIN32)
#define TAVRO_HOST_MIDI_INPUT_EXPORT __declspec(dllexport)
#else
#define TAVRO_HOST_MIDI_INPUT_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*TavroHostMidiReceive)(void* listener, const uint8_t* bytes, size_t length);

typedef struct TavroHostMidiInput {
    // TAVRO_HOST_MIDI_INPUT_VERSION; a plug-in ignores a table of another
    // version.
    uint32_t version;
    // Passed back as the first argument of every function.
    void* context;
    int32_t (*deviceCount)(void* context);
    int32_t (*deviceName)(void* context, int32_t index, char* buffer, size_t capacity);
    void* (*open)(void* context, int32_t index, TavroHostMidiReceive receive, void* listener);
    void (*close)(void* context, void* connection);
} TavroHostMidiInput;

typedef const TavroHostMidiInput* (*TavroHostMidiInputFunction)(void);

// What a host defines in its executable, which must export it (on Linux
// that symbol alone, with GNU ld's --export-dynamic-symbol: exporting
// everything, as -rdynamic does, would let the plug-in's copies of the C++
// library's templates bind to the host's):
//   extern "C" TAVRO_HOST_MIDI_INPUT_EXPORT
//   const TavroHostMidiInput* tavro_host_midi_input(void);

#ifdef __cplusplus
}
#endif
