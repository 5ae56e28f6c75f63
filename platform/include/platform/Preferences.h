#pragma once
// The user's preferences, shared by every instance and every host.
// Windows: registry, HKEY_CURRENT_USER\Software\Vantrell\com.vantrell.tavro.
// Linux: a key/value file $XDG_CONFIG_HOME/Vantrell/com.vantrell.tavro
// (~/.config when XDG_CONFIG_HOME is unset), replaced atomically on write.
//
// Failures are silent by design: reads give the default, writes are lost.
// [any-thread] Not for the audio thread (file/registry access).

#include <string>

namespace platform {

// The store behind the free functions below. Tests install an in-memory one;
// the product always uses the system's.
class PreferenceStore {
public:
    virtual ~PreferenceStore() = default;
    virtual int readInt(const char* name, int defaultValue) = 0;
    virtual void writeInt(const char* name, int value) = 0;
    // Leaves `text` unchanged when the value is missing. At most 255
    // characters are read.
    virtual void readSkin(std::string& text) = 0;
    virtual void writeSkin(const std::string& text) = 0;
};

// The system's store (registry or file). Never null.
PreferenceStore& systemPreferenceStore();

// Installs `store` for the free functions; null restores the system's.
// [main-thread] Tests only.
void installPreferenceStore(PreferenceStore* store);

int readIntPreference(const char* name, int defaultValue);
void writeIntPreference(const char* name, int value);
void readSkinPreference(std::string& text);
void writeSkinPreference(const std::string& text);

// Value names.
inline constexpr const char* kPrefOscBasePort = "OSC Base Port";
inline constexpr const char* kPrefDefaultInterfaceCategory = "Default interface category";
inline constexpr const char* kPrefEyeCandy = "Enable eye candy";
inline constexpr const char* kPrefConstantRedraw = "Enable constant redraw";
inline constexpr const char* kPrefFloatingTooltip = "Enable floating tooltip";
inline constexpr const char* kPrefSkin = "Skin";
inline constexpr int kSkinMaxLength = 255;

}  // namespace platform
