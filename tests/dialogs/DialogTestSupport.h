#pragma once
// Shared by the dialog tests: an in-memory preference store, per-user
// folders in a temporary place, a dialog window that records what a
// procedure does to it, and an OSC "/ping" over loopback.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Dialogs.h"
#include "platform/Preferences.h"

namespace dialogtest {

// Installed for its lifetime; reads give what was written, else the default.
class MemoryPreferences : public platform::PreferenceStore {
public:
    MemoryPreferences() { platform::installPreferenceStore(this); }
    ~MemoryPreferences() override { platform::installPreferenceStore(nullptr); }

    int readInt(const char* name, int defaultValue) override {
        std::lock_guard<std::mutex> guard(mutex_);
        auto it = ints_.find(name);
        return it == ints_.end() ? defaultValue : it->second;
    }
    void writeInt(const char* name, int value) override {
        std::lock_guard<std::mutex> guard(mutex_);
        ints_[name] = value;
    }
    void readSkin(std::string& text) override {
        std::lock_guard<std::mutex> guard(mutex_);
        if (skin_)
            text = *skin_;
    }
    void writeSkin(const std::string& text) override {
        std::lock_guard<std::mutex> guard(mutex_);
        skin_ = text;
    }

    std::optional<int> Int(const std::string& name) {
        std::lock_guard<std::mutex> guard(mutex_);
        auto it = ints_.find(name);
        return it == ints_.end() ? std::nullopt : std::optional<int>(it->second);
    }
    std::optional<std::string> Skin() {
        std::lock_guard<std::mutex> guard(mutex_);
        return skin_;
    }

private:
    std::mutex mutex_;
    std::map<std::string, int> ints_;
    std::optional<std::string> skin_;
};

// APPDATA (Windows) and XDG_DATA_HOME (Linux) point into a fresh temporary
// folder for the fixture's lifetime.
class TemporaryUserFolders {
public:
    explicit TemporaryUserFolders(const std::string& tag);
    ~TemporaryUserFolders();
    const std::filesystem::path& root() const { return root_; }
    // The plug-in's skins folder below it.
    std::filesystem::path skins() const;

private:
    std::filesystem::path root_;
};

// Back to the values a freshly loaded library has.
void resetProcessSettings();

// The controls of a dialog as a procedure left them.
class RecordingDialogWindow : public platform::DialogWindow {
public:
    void SetText(int id, const std::string& text) override { texts[id] = text; }
    std::string Text(int id, std::size_t maxLength) override {
        return texts[id].substr(0, maxLength);
    }
    void SetChecked(int id, bool checked) override { checks[id] = checked; }
    bool Checked(int id) override { return checks[id]; }
    void LimitText(int id, std::size_t maxLength) override { limits[id] = maxLength; }
    void AddItem(int id, const std::string& text) override { items[id].push_back(text); }
    void SelectItem(int id, int index) override { selections[id] = index; }
    int SelectedItem(int id) override {
        auto it = selections.find(id);
        return it == selections.end() ? -1 : it->second;
    }
    void ShowControl(int id, bool shown) override {
        if (shown)
            hidden.erase(id);
        else
            hidden.insert(id);
    }
    void End(int result) override { ended = result; }

    std::map<int, std::string> texts;
    std::map<int, bool> checks;
    std::map<int, std::size_t> limits;
    std::map<int, std::vector<std::string>> items;
    std::map<int, int> selections;
    std::set<int> hidden;
    std::optional<int> ended;
};

// Whether a UDP port of this machine is free to bind.
bool udpPortFree(int port);
// Sends "/ping" with a reply address to the OSC server on 127.0.0.1:`port`
// and waits at most `timeoutMs` for the "/pong" it answers; `where` gets
// the server's own address from the answer.
bool pingAnswered(int port, int timeoutMs, std::string* where = nullptr);

}  // namespace dialogtest
