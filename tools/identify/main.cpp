// tavro-identify PATH...: loads each plug-in as a host would and prints what
// it declares about itself. Exits 1 when any plug-in fails to load.

#include "host/VstHost.h"

#include <cstdio>
#include <string>

namespace {

const char* categoryName(VstIntPtr category) {
    static const char* const kNames[] = {"unknown",         "effect",          "synth",
                                         "analysis",        "mastering",       "spatializer",
                                         "room effect",     "surround effect", "restoration",
                                         "offline process", "shell",           "generator"};
    if (category < 0 || category >= kPlugCategMaxCount) {
        return "?";
    }
    return kNames[category];
}

std::string flagNames(VstInt32 flags) {
    static const struct {
        VstInt32 flag;
        const char* name;
    } kFlags[] = {
        {effFlagsHasEditor, "HasEditor"},
        {effFlagsHasClip, "HasClip"},
        {effFlagsHasVu, "HasVu"},
        {effFlagsCanMono, "CanMono"},
        {effFlagsCanReplacing, "CanReplacing"},
        {effFlagsProgramChunks, "ProgramChunks"},
        {effFlagsIsSynth, "IsSynth"},
        {effFlagsNoSoundInStop, "NoSoundInStop"},
        {effFlagsExtIsAsync, "ExtIsAsync"},
        {effFlagsExtHasBuffer, "ExtHasBuffer"},
        {effFlagsCanDoubleReplacing, "CanDoubleReplacing"},
    };
    std::string names;
    for (const auto& f : kFlags) {
        if ((flags & f.flag) != 0) {
            names += names.empty() ? "" : " ";
            names += f.name;
        }
    }
    return names;
}

bool identify(const char* path) {
    host::VstHost plugin;
    std::string error;
    if (!plugin.load(path, error)) {
        std::fprintf(stderr, "tavro-identify: %s\n", error.c_str());
        return false;
    }
    plugin.dispatch(effOpen);
    const AEffect& e = *plugin.effect();
    VstIntPtr vendorVersion = plugin.dispatch(effGetVendorVersion);
    VstIntPtr category = plugin.dispatch(effGetPlugCategory);

    std::printf("%s\n", path);
    std::printf("  magic           %s\n", host::fourCharText(e.magic).c_str());
    std::printf("  unique ID       %s (0x%08X)\n", host::fourCharText(e.uniqueID).c_str(),
                static_cast<unsigned>(e.uniqueID));
    std::printf("  version         %d\n", static_cast<int>(e.version));
    std::printf("  parameters      %d\n", static_cast<int>(e.numParams));
    std::printf("  programs        %d\n", static_cast<int>(e.numPrograms));
    std::printf("  inputs          %d\n", static_cast<int>(e.numInputs));
    std::printf("  outputs         %d\n", static_cast<int>(e.numOutputs));
    std::printf("  flags           0x%08X (%s)\n", static_cast<unsigned>(e.flags),
                flagNames(e.flags).c_str());
    std::printf("  effect name     %s\n", plugin.dispatchText(effGetEffectName).c_str());
    std::printf("  vendor          %s\n", plugin.dispatchText(effGetVendorString).c_str());
    std::printf("  product         %s\n", plugin.dispatchText(effGetProductString).c_str());
    std::printf("  vendor version  %lld (0x%llX)\n", static_cast<long long>(vendorVersion),
                static_cast<unsigned long long>(vendorVersion));
    std::printf("  VST version     %lld\n",
                static_cast<long long>(plugin.dispatch(effGetVstVersion)));
    std::printf("  category        %lld (%s)\n", static_cast<long long>(category),
                categoryName(category));
    plugin.close();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tavro-identify PLUGIN...\n");
        return 2;
    }
    bool allLoaded = true;
    for (int i = 1; i < argc; ++i) {
        allLoaded = identify(argv[i]) && allLoaded;
    }
    return allLoaded ? 0 : 1;
}
