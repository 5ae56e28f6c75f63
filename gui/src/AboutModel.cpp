#include "gui/AboutModel.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/Folders.h"
#include "platform/Preferences.h"
#include "platform/Settings.h"
#include "plugin/OscPort.h"
#include "plugin/Properties.h"
#include "plugin/ZephAuBase.h"
#include "tavro/Version.h"

#ifndef TAVRO_MAKER_WEB_PAGE
#define TAVRO_MAKER_WEB_PAGE ""
#endif

namespace QX {

namespace {

const char* const kDefaultSkin = "Default";

bool beginsWithIgnoringCase(const std::string& text, const std::string& prefix) {
    if (prefix.size() > text.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

}  // namespace

std::string AboutModel::BuiltInWebPage() {
    return TAVRO_MAKER_WEB_PAGE;
}

AboutModel::AboutModel(ZephAuBase& plugin, std::string webPage, ShellOpener opener)
    : plugin_(plugin), webPage_(std::move(webPage)), opener_(std::move(opener)) {
    std::string saved;
    platform::readSkinPreference(saved);
    skins_.push_back(kDefaultSkin);
    for (const std::string& name : platform::listSkins(ProductTag()))
        skins_.push_back(name);
    selectedSkin_ = PreselectSkin(skins_, saved);
}

int AboutModel::PreselectSkin(const std::vector<std::string>& entries, const std::string& saved) {
    std::string preselected = kDefaultSkin;
    for (std::size_t i = 1; i < entries.size(); ++i) {
        if (entries[i] == saved)
            preselected = entries[i];
    }
    // The selection follows the list's own prefix search: the first entry
    // that begins with the preselected name, whatever the letter case.
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (beginsWithIgnoringCase(entries[i], preselected))
            return static_cast<int>(i);
    }
    return 0;
}

std::string AboutModel::VersionText() {
    return tavro::kVersionText;
}

std::string AboutModel::PortText() const {
    char text[16];
    std::snprintf(text, sizeof text, "%d",
                  platform::processSettings().oscBasePort.load(std::memory_order_relaxed));
    return text;
}

bool AboutModel::EyeCandy() const {
    return platform::processSettings().eyeCandy.load(std::memory_order_relaxed);
}

bool AboutModel::ConstantRedraw() const {
    return platform::processSettings().constantRedraw.load(std::memory_order_relaxed);
}

bool AboutModel::FloatingTooltip() const {
    return platform::processSettings().floatingTooltip.load(std::memory_order_relaxed);
}

int AboutModel::ParsePort(const std::string& text) {
    const char* begin = text.c_str();
    while (*begin == ' ' || *begin == '\t')
        ++begin;
    if (!std::isdigit(static_cast<unsigned char>(*begin)) && *begin != '-' && *begin != '+')
        return -1;
    char* end = nullptr;
    const long value = std::strtol(begin, &end, 10);
    if (end == begin)
        return -1;
    while (*end == ' ' || *end == '\t')
        ++end;
    // Trailing text, and values no UDP port has (a larger one would wrap to
    // some other port when the server binds), leave the port alone.
    if (*end != '\0' || value < 1 || value > osc_port::kLargestPort)
        return -1;
    return static_cast<int>(value);
}

bool AboutModel::ApplyPort(const std::string& text, std::string* refusal) {
    const int port = ParsePort(text);
    if (port < 0)
        return false;
    std::int32_t offset = 0;
    plugin_.getPropertyForView(prop::kOscPortOffset, 0, &offset);
    if (osc_port::fromBaseAndOffset(port, offset) < 0) {
        if (refusal) {
            char text[160];
            std::snprintf(text, sizeof text, "%s: %d + %d. The port stays %d.", osc_port::kRefusal,
                          port, static_cast<int>(offset),
                          platform::processSettings().oscBasePort.load(std::memory_order_relaxed));
            *refusal = text;
        }
        return false;
    }
    platform::writeIntPreference(platform::kPrefOscBasePort, port);
    platform::processSettings().oscBasePort.store(port, std::memory_order_relaxed);
    // The plug-in applies its OSC Port Offset again: the server moves to
    // the new base + offset.
    const std::uint8_t reapply = 1;
    plugin_.setPropertyAndNotify(prop::kReapplyOscPortOffset, &reapply, sizeof reapply);
    return true;
}

void AboutModel::SetEyeCandy(bool on) {
    platform::writeIntPreference(platform::kPrefEyeCandy, on ? 1 : 0);
    platform::processSettings().eyeCandy.store(on, std::memory_order_relaxed);
}

void AboutModel::SetConstantRedraw(bool on) {
    platform::writeIntPreference(platform::kPrefConstantRedraw, on ? 1 : 0);
    platform::processSettings().constantRedraw.store(on, std::memory_order_relaxed);
}

void AboutModel::SetFloatingTooltip(bool on) {
    platform::writeIntPreference(platform::kPrefFloatingTooltip, on ? 1 : 0);
    platform::processSettings().floatingTooltip.store(on, std::memory_order_relaxed);
}

void AboutModel::ChooseSkin(int index) {
    if (index < 0 || index >= static_cast<int>(skins_.size()))
        return;
    const std::string name = index == 0 ? std::string() : skins_[static_cast<std::size_t>(index)];
    platform::writeSkinPreference(name);
    // This plug-in does not take the new skin into an open editor (it
    // answers the property as unknown): the skin applies from the next
    // editor on. A plug-in that does gets the name's text.
    plugin_.setPropertyAndNotify(prop::kSkinChanged, name.c_str(),
                                 static_cast<std::uint32_t>(name.size() + 1));
}

bool AboutModel::OpenSkinFolder() {
    const std::string product = ProductTag();
    platform::ensureSkinFolders(product);
    return opener_ && opener_(platform::skinsFolder(product), platform::ShellVerb::kExplore);
}

bool AboutModel::OpenWebPage() {
    return !webPage_.empty() && opener_ && opener_(webPage_, platform::ShellVerb::kOpen);
}

std::string AboutModel::ProductTag() const {
    const char* tag = nullptr;
    if (plugin_.getPropertyForView(prop::kProductTag, 0, &tag) != 0 || tag == nullptr)
        return {};
    return tag;
}

}  // namespace QX
