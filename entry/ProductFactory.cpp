// The plug-in object the entry point builds: the concrete plug-in with its
// real helpers (the Lua MIDI helper and the OSC server).

#include "engine/ZephCorvane.h"
#include "osc/ProductHelpers.h"

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    // Stateless and shared by every instance; it lives as long as the
    // library, longer than any instance it helped build.
    static const QX::ProductHelpers helpers;
    return new QX4Controller::ZephCorvane(audioMaster, &helpers);
}
