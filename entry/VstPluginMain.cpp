// The library's one way in: the host calls VSTPluginMain (older Linux and
// Windows hosts call the same function as `main`) and gets the AEffect of a
// new plug-in object.

#include "platform/NumericLocale.h"
#include "vst/AudioEffect.h"

#if defined(_WIN32)
// Exported through tavro.def, which also adds the name `main`.
#define TAVRO_EXPORT
#else
// Everything else in the library stays hidden (-fvisibility=hidden).
#define TAVRO_EXPORT __attribute__((visibility("default")))
#endif

extern "C" TAVRO_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster);

AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
    if (audioMaster == nullptr) {
        return nullptr;
    }
    // Construction runs the MIDI scripts and reads the preferences.
    const platform::ScopedCNumbers cNumbers;
    try {
        // A host that does not answer to its version is older than VST 2
        // (or not a host at all): build nothing for it.
        if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
            return nullptr;
        }
        AudioEffect* effect = createEffectInstance(audioMaster);
        return effect != nullptr ? effect->getAeffect() : nullptr;
    } catch (...) {
        // Nothing may unwind into the host.
        return nullptr;
    }
}

#if !defined(_WIN32)
// The same function under the symbol `main`. A C++ function cannot be
// named main, hence the assembler name.
extern "C" AEffect* tavroMainAlias(audioMasterCallback audioMaster) __asm__("main")
    __attribute__((alias("VSTPluginMain"), visibility("default")));
#endif
