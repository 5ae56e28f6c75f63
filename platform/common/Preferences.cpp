#include "platform/Preferences.h"

#include <atomic>

namespace platform {
namespace {

// Tests swap the store while no other thread is using it; an atomic keeps
// the swap itself well-defined for threads that merely read preferences.
std::atomic<PreferenceStore*> installedStore{nullptr};

PreferenceStore& currentStore() {
    PreferenceStore* store = installedStore.load(std::memory_order_acquire);
    return store != nullptr ? *store : systemPreferenceStore();
}

}  // namespace

void installPreferenceStore(PreferenceStore* store) {
    installedStore.store(store, std::memory_order_release);
}

int readIntPreference(const char* name, int defaultValue) {
    return currentStore().readInt(name, defaultValue);
}

void writeIntPreference(const char* name, int value) {
    currentStore().writeInt(name, value);
}

void readSkinPreference(std::string& text) {
    currentStore().readSkin(text);
}

void writeSkinPreference(const std::string& text) {
    currentStore().writeSkin(text);
}

}  // namespace platform
