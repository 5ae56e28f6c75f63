#pragma once
// Property ids, error codes and listener records: plug-in state that is not
// a parameter, read and changed by the editor, the script layers and the OSC
// server. Numbering and error codes follow the AudioUnit model.

#include <cstdint>
#include <memory>
#include <string>

#include "plugin/ParameterTable.h"

class ZephAuBase;

namespace prop {

enum : std::uint32_t {
    kParameterValueStrings = 16,
    kParameterStringFromValue = 33,
    kMidiHistory = 64001,
    kProductTag = 64002,
    kFamilyText = 64003,
    kFamilyKey = 64004,
    kParameterNamesWithoutSpaces = 64005,
    kOscHelper = 64006,
    kParameterCount = 64007,
    kReapplyOscPortOffset = 64008,
    kOscPortOffset = 64009,
    kParameterTable = 64010,
    kGuiScriptName = 64011,
    kSkinChanged = 64012,
    kInstanceLinking = 64013,
    kDontPanic = 64094,
    kMidiSourceName = 64100,
    kClearMidiSource = 64101,
    kIsLogicPro = 64140,
};

}  // namespace prop

inline constexpr std::int32_t kAudioUnitErr_InvalidProperty = -10879;
inline constexpr std::int32_t kAudioUnitErr_InvalidParameter = -10878;
inline constexpr std::uint32_t kAudioUnitScope_Global = 0;

// Data of property 33: which parameter, which value (null = the current
// one), and the text handed out.
struct ParameterStringFromValue {
    std::int32_t parameterId;
    const float* value;
    std::shared_ptr<const std::string> text;
};

using PropertyListenerProc = void (*)(void* user, ZephAuBase* plugin, std::uint32_t id,
                                      std::uint32_t scope, std::uint32_t element);

struct PropertyListener {
    std::uint32_t id;
    PropertyListenerProc callback;
    void* user;
};
