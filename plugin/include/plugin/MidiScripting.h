#pragma once
// What the plug-in asks of its MIDI scripting (the Lua MIDI helper, which
// lives above this layer and implements this interface).

#include "plugin/MessageQueue.h"

namespace QX {

class MidiScripting {
public:
    virtual ~MidiScripting() = default;
    // [main-thread] At the instance's open: reads the parameter count and
    // table from the plug-in's properties.
    virtual void Initialise() = 0;
    // [audio-thread] Every MIDI item taken from the host event queue, before
    // the engine sends it. May take the scripting lock while a script's
    // callback runs; never allocates outside the script's own memory.
    virtual void HandleMIDIMessage(const MessageQueueItem& item) = 0;
    // [main-thread] Interrupts every script running or started from now on
    // (a script function reached through "/exec" that never returns, a
    // timer callback stuck in a loop), stops the scripts' timers for good
    // and waits for a running timer callback. Called first when the plug-in
    // takes its helpers apart, so that no thread it then waits for is held
    // up by a script.
    virtual void StopTasks() {}
    // [any-thread except audio; one caller at a time] Says what the scripts
    // only counted on the audio thread. The plug-in calls it with its other
    // deferred diagnostics.
    virtual void reportDeferredDiagnostics() {}
};

}  // namespace QX
