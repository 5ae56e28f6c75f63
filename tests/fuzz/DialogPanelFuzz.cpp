// What a user's keys and pointer can do to the editor's own dialogs: the
// input picks one of the three panels (About with the preferences, Enter
// Property, MIDI Browser), the editor's size and whether there are MIDI
// devices to list, then is decoded into key presses (text,
// control keys, Return, Escape, Tab, arrows, Backspace, Delete) and clicks,
// drags and wheel turns, at random points or on the controls. Each panel
// runs its real procedure against the real plug-in. After every event the
// panel must still describe a consistent state: selections inside their
// lists, texts within their limits and whole UTF-8, the focus on a control.
// Drawing needs GL and is not reached here.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include <lua.hpp>

#include "FuzzTarget.h"
#include "QuietPlugin.h"
#include "engine/ZephCorvane.h"
#include "gui/DialogPanel.h"
#include "gui/DialogProcedures.h"
#include "gui/DialogTemplates.h"
#include "osc/OSCHelper.h"
#include "platform/Diagnostics.h"
#include "platform/Folders.h"
#include "platform/MemoryMidiInput.h"
#include "platform/Preferences.h"
#include "platform/testing/TestAccess.h"
#include "plugin/Properties.h"

namespace {

using fuzzplugin::BareLua;
using fuzzplugin::Helpers;
using fuzzplugin::hostCallback;
using fuzzplugin::NullTransport;
using fuzzplugin::QuietBoxes;
using fuzzplugin::QuietPreferences;

struct Fixture {
    Fixture() {
        if (!std::freopen("/dev/null", "w", stdout))
            std::fprintf(stderr, "fuzz: standard output stays open\n");
        const auto folder = std::filesystem::temp_directory_path() / "tavro-fuzz-dialogs";
        platform::testsupport::setEnvironmentVariable("APPDATA", folder.string().c_str());
        platform::testsupport::setEnvironmentVariable("XDG_DATA_HOME", folder.string().c_str());
        platform::installPreferenceStore(&preferences);
        platform::installMessageBoxSink(&boxes);
        // Skins to list besides the built-in one.
        const auto skins = std::filesystem::path(platform::skinsFolder("tavro"));
        for (const char* name : {"Dark", "Light", "Dark Blue"})
            std::filesystem::create_directories(skins / name);
        for (const char* name : {"In A", "In \xC3\xA9 B", "", "In C"})
            devices.addDevice(name);
        plugin = std::make_unique<QX4Controller::ZephCorvane>(hostCallback, &helpers);
        // The plug-in started its server: no socket, no receive thread here.
        helpers.server->StopTasks();
    }
    QuietPreferences preferences;
    QuietBoxes boxes;
    platform::MemoryMidiInputSystem devices, noDevices;
    Helpers helpers;
    std::unique_ptr<QX4Controller::ZephCorvane> plugin;
};

const int kKeys[] = {8,   9,   13,  27,  28,  29,  30,  31,  127,  0,    10,   ' ',
                     '0', '5', '9', '-', '+', 'a', 'Z', '%', 0x85, 0xA0, 0xE9, 0xFF};

bool wholeUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80         ? 1
                                   : (lead >> 5) == 6  ? 2
                                   : (lead >> 4) == 14 ? 3
                                                       : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

[[noreturn]] void fail(const char* what, const std::string& line) {
    std::fprintf(stderr, "fuzz: %s\n%s\n", what, line.c_str());
    std::abort();
}

// Every control line of Describe(): selection inside the list, text whole
// and within the limit the procedure set.
void checkConsistent(QX::DialogPanel& panel) {
    std::istringstream lines(panel.Describe());
    std::string line;
    std::getline(lines, line);  // caption
    while (std::getline(lines, line)) {
        const int id = std::atoi(line.c_str());
        const auto items = line.find(" items=");
        const auto textAt = line.find(" text=");
        const auto selectedAt = line.find(" selected=");
        if (items == std::string::npos || textAt == std::string::npos ||
            selectedAt == std::string::npos)
            fail("a control line without its fields", line);
        const std::string list = line.substr(items + 7);
        const int entries =
            list.empty() ? 0 : 1 + static_cast<int>(std::count(list.begin(), list.end(), '|'));
        const int selected = std::atoi(line.c_str() + selectedAt + 10);
        if (selected < -1 || selected >= entries)
            fail("a selection outside its list", line);
        const std::string text = panel.Text(id, std::string::npos);
        if (!wholeUtf8(text))
            fail("a text that is no whole UTF-8", line);
        if (id == QX::dialogid::kPropertyText && text.size() > QX::PropertyDialogModel::kMaxLength)
            fail("a text past its limit", line);
    }
    const int focus = panel.FocusedControl();
    if (focus != 0 && !panel.Template().Control(focus))
        fail("the focus on no control", std::to_string(focus));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture fixture;
    std::size_t at = 0;
    auto next = [&]() -> std::uint8_t { return at < size ? data[at++] : 0; };

    const std::uint8_t setup = next();
    platform::installMidiInputSystem(setup & 0x10 ? &fixture.noDevices : &fixture.devices);
    // The editor's design size: the scripts may give any size a window can have.
    const float width = 1 + (next() << 8 | next()) % 32767;
    const float height = 1 + (next() << 8 | next()) % 32767;

    std::unique_ptr<platform::DialogProcedure> procedure;
    const QX::DialogTemplate* dialog = nullptr;
    switch (setup % 3) {
        case 0:
            dialog = &QX::AboutDialogTemplate();
            procedure = std::make_unique<QX::AboutProcedure>(
                QX::AboutModel(*fixture.plugin, setup & 0x40 ? "https://example.invalid/" : "",
                               [](const std::string&, platform::ShellVerb) { return true; }));
            break;
        case 1:
            dialog = &QX::PropertyDialogTemplate();
            procedure = std::make_unique<QX::PropertyProcedure>(
                QX::PropertyDialogModel(*fixture.plugin, prop::kMidiSourceName, "Source"));
            break;
        default:
            dialog = &QX::MidiBrowserTemplate();
            procedure = std::make_unique<QX::MidiBrowserProcedure>(
                QX::MidiBrowserModel(*fixture.plugin, prop::kMidiSourceName));
            break;
    }
    QX::DialogPanel panel(*dialog, std::move(procedure));
    panel.Open(width, height);
    checkConsistent(panel);

    while (at < size && !panel.Closed()) {
        const std::uint8_t op = next();
        // A point: anywhere on the editor, or on one of the controls.
        QX::Point p{width * next() / 255.0f, height * next() / 255.0f};
        if (op & 0x80 && !dialog->controls.empty()) {
            const auto& control = dialog->controls[next() % dialog->controls.size()];
            const QX::Box box = panel.ControlBox(control.id);
            if (!box.Empty())
                p = {box.minX + box.Width() * next() / 255.0f,
                     box.minY + box.Height() * next() / 255.0f};
        }
        switch (op % 10) {
            case 0:
            case 1:
            case 2:
                panel.Key(kKeys[next() % (sizeof kKeys / sizeof kKeys[0])]);
                break;
            case 3:
                panel.Key(next());
                break;
            case 4:
                panel.MouseDown(p, 1 + next() % 3);
                panel.MouseUp(p);
                break;
            case 5:
                panel.MouseDown(p, 1 + next() % 3);
                break;
            case 6:
                panel.MouseDrag(p);
                break;
            case 7:
                panel.MouseUp(p);
                break;
            case 8:
                panel.Wheel(p, static_cast<std::int8_t>(next()) * 40);
                break;
            default:
                panel.MouseMove(p);
                break;
        }
        checkConsistent(panel);
    }
    platform::installMidiInputSystem(nullptr);
    return 0;
}
