// tavro-view PLUGIN [options]: opens a VST 2.4 plug-in's editor in a window
// of its own, the way a host does (effOpen, effEditGetRect, a window of that
// size, effEditOpen with it, effEditIdle about 30 times a second,
// audioMasterSizeWindow honoured), and runs until the window is closed.
// With --screenshot it synthesises the input options in order, saves what
// the editor shows as a PNG file and exits. Portable: the window, the event
// loop, the picture and the input come from platform::ViewerWindow.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "PngFile.h"
#include "host/ParameterByName.h"
#include "host/VstHost.h"
#include "platform/ViewerWindow.h"
#include "plugin/VendorRequests.h"

namespace {

using Clock = std::chrono::steady_clock;

// effEditIdle rate of a typical host, and the pause after each input so
// that the editor has drawn its answer.
constexpr int kIdleMs = 33;
constexpr int kInputPauseMs = 100;
// Two clicks closer together than this are one double-click to the editor.
constexpr int kClickSeparationMs = 500;
// How long an editor may take to show its window after effEditOpen.
constexpr int kEditorWindowMs = 5000;

const char* const kUsage =
    "usage: tavro-view PLUGIN [options]\n"
    "  --screenshot FILE.png   save what the editor shows, then exit\n"
    "  --after MS              wait before input and screenshot (default 1000)\n"
    "  --settle MS             wait after the input, before the screenshot (default 300)\n"
    "  --click X,Y             click at window point (X, Y), origin top left\n"
    "  --double-click X,Y      double-click there\n"
    "  --drag X,Y,DX,DY        press at (X, Y), move by (DX, DY), release\n"
    "  --wheel X,Y,N           N wheel notches at (X, Y), positive away from the user\n"
    "  --key TEXT              type TEXT (\\n Return, \\b BackSpace, \\t Tab, \\\\ backslash)\n"
    "  --press NAME            press one key by name (Left, KP_5, Delete, ...)\n"
    "  --modifiers LIST        shift,control,alt held during the next input option\n"
    "  --set NAME=VALUE        set a parameter before the editor opens; the plug-in\n"
    "                          reads VALUE as it shows its values. For a plug-in\n"
    "                          that reads no value texts: 0..1 is the host's\n"
    "                          normalized value, else a text the parameter shows\n"
    "  --plugin-frame          let the plug-in write the screenshot itself\n"
    "  --verbose               print what the host received, on exit\n";

struct Input {
    enum Kind { Click, DoubleClick, Drag, Wheel, Key, Press } kind;
    std::vector<int> numbers;
    std::string text;
    int modifiers = 0;
    std::string option;  // as given, for messages
};

struct Options {
    std::string plugin;
    std::string screenshot;
    int afterMs = 1000;
    int settleMs = 300;
    std::vector<Input> inputs;
    std::vector<std::string> settings;
    bool pluginFrame = false;
    bool verbose = false;
};

bool parseNumbers(const std::string& text, std::size_t count, std::vector<int>& numbers) {
    numbers.clear();
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string item = text.substr(start, end - start);
        char* stop = nullptr;
        const long value = std::strtol(item.c_str(), &stop, 10);
        if (item.empty() || *stop != 0 || value < -100000 || value > 100000) {
            return false;
        }
        numbers.push_back(static_cast<int>(value));
        start = end + 1;
    }
    return numbers.size() == count;
}

bool parseModifiers(const std::string& text, int& modifiers) {
    modifiers = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string name = text.substr(start, end - start);
        if (name == "shift") {
            modifiers |= 0x200;
        } else if (name == "control" || name == "ctrl") {
            modifiers |= 0x800;
        } else if (name == "alt") {
            modifiers |= 0x100;
        } else if (!name.empty()) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

// "\n", "\b", "\t" and "\\" in a --key text.
std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[i + 1];
            const char* kinds = "nbt\\";
            const char* values = "\n\b\t\\";
            if (const char* at = std::strchr(kinds, next)) {
                out += values[at - kinds];
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// False with a message on standard error when the command line is wrong.
bool parseOptions(int argc, char** argv, Options& options) {
    int pendingModifiers = 0;
    bool modifiersPending = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tavro-view: %s needs a value\n", option.c_str());
                return false;
            }
            out = argv[++i];
            return true;
        };
        auto input = [&](Input::Kind kind, std::size_t count) {
            std::string text;
            if (!value(text)) {
                return false;
            }
            Input in{kind, {}, text, pendingModifiers, option + " " + text};
            if (count > 0 && !parseNumbers(text, count, in.numbers)) {
                std::fprintf(stderr, "tavro-view: %s wants %d whole numbers separated by commas\n",
                             option.c_str(), static_cast<int>(count));
                return false;
            }
            if (kind == Input::Key) {
                in.text = unescape(text);
            }
            options.inputs.push_back(in);
            pendingModifiers = 0;
            modifiersPending = false;
            return true;
        };
        std::string text;
        bool ok = true;
        if (option == "--screenshot") {
            ok = value(options.screenshot);
        } else if (option == "--after" || option == "--settle") {
            ok = value(text);
            char* stop = nullptr;
            const long ms = ok ? std::strtol(text.c_str(), &stop, 10) : 0;
            if (ok && (text.empty() || *stop != 0 || ms < 0 || ms > 3600000)) {
                std::fprintf(stderr, "tavro-view: %s wants milliseconds\n", option.c_str());
                ok = false;
            }
            (option == "--after" ? options.afterMs : options.settleMs) = static_cast<int>(ms);
        } else if (option == "--click") {
            ok = input(Input::Click, 2);
        } else if (option == "--double-click") {
            ok = input(Input::DoubleClick, 2);
        } else if (option == "--drag") {
            ok = input(Input::Drag, 4);
        } else if (option == "--wheel") {
            ok = input(Input::Wheel, 3);
        } else if (option == "--key") {
            ok = input(Input::Key, 0);
        } else if (option == "--press") {
            ok = input(Input::Press, 0);
        } else if (option == "--modifiers") {
            ok = value(text) && parseModifiers(text, pendingModifiers);
            if (!ok) {
                std::fprintf(stderr,
                             "tavro-view: --modifiers wants a list of shift, control, alt\n");
            }
            modifiersPending = true;
        } else if (option == "--set") {
            ok = value(text);
            options.settings.push_back(text);
        } else if (option == "--plugin-frame") {
            options.pluginFrame = true;
        } else if (option == "--verbose") {
            options.verbose = true;
        } else if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (!option.empty() && option[0] == '-') {
            std::fprintf(stderr, "tavro-view: unknown option %s\n%s", option.c_str(), kUsage);
            return false;
        } else if (options.plugin.empty()) {
            options.plugin = option;
        } else {
            std::fprintf(stderr, "tavro-view: one plug-in only (%s)\n", option.c_str());
            return false;
        }
        if (!ok) {
            return false;
        }
    }
    if (options.plugin.empty()) {
        std::fputs(kUsage, stderr);
        return false;
    }
    if (modifiersPending) {
        std::fprintf(stderr, "tavro-view: --modifiers must come before an input option\n");
        return false;
    }
    return true;
}

// NAME=VALUE against any plug-in, as host/ParameterByName.h sets it.
bool applySetting(host::VstHost& plugin, const std::string& setting, std::string& error) {
    std::string name, value;
    if (!host::splitParameterSetting(setting, name, value)) {
        error = "--set wants NAME=VALUE, not '" + setting + "'";
        return false;
    }
    return host::setParameterByName(plugin, name, value, error);
}

class Viewer {
public:
    Viewer(host::VstHost& plugin, platform::ViewerWindow& window)
        : plugin_(plugin), window_(window) {}

    // Runs the window's events and the editor's idle for `milliseconds`;
    // false once the window was closed.
    bool Run(int milliseconds) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
        do {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            const int slice = static_cast<int>(std::clamp<long long>(left.count(), 0, kIdleMs));
            if (!window_.PumpEvents(slice)) {
                return false;
            }
            plugin_.dispatch(effEditIdle);
            ApplySizeRequest();
        } while (Clock::now() < deadline);
        return true;
    }

    // The host callback may come on any thread; the window is resized on
    // this one.
    void RequestSize(int width, int height) {
        requestedSize_.store((static_cast<long long>(width) << 32) | static_cast<unsigned>(height));
    }

    bool Apply(const Input& input) {
        const std::vector<int>& n = input.numbers;
        switch (input.kind) {
            case Input::Click:
            case Input::DoubleClick:
            case Input::Drag:
                SeparateClicks();
                break;
            default:
                break;
        }
        bool done = false;
        switch (input.kind) {
            case Input::Click:
                done = window_.Click(n[0], n[1], 1, input.modifiers);
                break;
            case Input::DoubleClick:
                done = window_.Click(n[0], n[1], 2, input.modifiers);
                break;
            case Input::Drag:
                done = window_.Drag(n[0], n[1], n[2], n[3], input.modifiers);
                break;
            case Input::Wheel:
                done = window_.Wheel(n[0], n[1], n[2]);
                break;
            case Input::Key:
                done = window_.TypeText(input.text);
                break;
            case Input::Press:
                done = window_.PressKey(input.text, input.modifiers);
                break;
        }
        if (input.kind == Input::Click || input.kind == Input::DoubleClick ||
            input.kind == Input::Drag) {
            lastPress_ = Clock::now();
        }
        return done;
    }

private:
    void SeparateClicks() {
        const auto since =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastPress_);
        if (since.count() < kClickSeparationMs) {
            Run(kClickSeparationMs - static_cast<int>(since.count()));
        }
    }

    void ApplySizeRequest() {
        const long long size = requestedSize_.exchange(0);
        if (size != 0) {
            window_.Resize(static_cast<int>(size >> 32), static_cast<int>(size & 0xFFFFFFFF));
        }
    }

    host::VstHost& plugin_;
    platform::ViewerWindow& window_;
    std::atomic<long long> requestedSize_{0};
    Clock::time_point lastPress_ = Clock::now() - std::chrono::seconds(1);
};

void printHostRecords(const host::VstHost& plugin) {
    for (const host::AutomationRecord& record : plugin.automation()) {
        switch (record.kind) {
            case host::AutomationRecord::BeginEdit:
                std::printf("host: begin edit %d\n", static_cast<int>(record.index));
                break;
            case host::AutomationRecord::EndEdit:
                std::printf("host: end edit %d\n", static_cast<int>(record.index));
                break;
            case host::AutomationRecord::Automate:
                std::printf("host: automate %d %.6f\n", static_cast<int>(record.index),
                            static_cast<double>(record.value));
                break;
        }
    }
    for (const host::HostRequest& request : plugin.otherRequests()) {
        if (request.opcode == audioMasterSizeWindow) {
            std::printf("host: size window %d x %lld\n", static_cast<int>(request.index),
                        static_cast<long long>(request.value));
        }
    }
}

// The editor's size from effEditGetRect, false when it gives none.
bool editorSize(host::VstHost& plugin, int& width, int& height) {
    ERect* rect = nullptr;
    plugin.dispatch(effEditGetRect, 0, 0, &rect);
    if (rect == nullptr) {
        return false;
    }
    width = rect->right - rect->left;
    height = rect->bottom - rect->top;
    return width > 0 && height > 0;
}

int run(const Options& options) {
    host::VstHost plugin;
    std::string error;
    if (!plugin.load(options.plugin, error)) {
        std::fprintf(stderr, "tavro-view: %s\n", error.c_str());
        return 1;
    }
    plugin.dispatch(effOpen);
    if ((plugin.effect()->flags & effFlagsHasEditor) == 0) {
        std::fprintf(stderr, "tavro-view: %s has no editor (effFlagsHasEditor is not set)\n",
                     options.plugin.c_str());
        return 1;
    }
    for (const std::string& setting : options.settings) {
        if (!applySetting(plugin, setting, error)) {
            std::fprintf(stderr, "tavro-view: %s\n", error.c_str());
            return 2;
        }
    }

    int width = 0, height = 0;
    const bool sized = editorSize(plugin, width, height);
    if (!sized) {
        // Some editors know their size only once open.
        width = 640;
        height = 480;
    }
    const std::string title = "tavro-view: " + plugin.dispatchText(effGetEffectName);
    std::unique_ptr<platform::ViewerWindow> window =
        platform::ViewerWindow::Create(title, width, height);
    if (window == nullptr) {
        std::fprintf(stderr, "tavro-view: no window for the editor (see above)\n");
        return 1;
    }
    Viewer viewer(plugin, *window);
    plugin.setSizeWindowHandler([&viewer](int w, int h) {
        if (w <= 0 || h <= 0) {
            return false;
        }
        viewer.RequestSize(w, h);
        return true;
    });

    const auto opening = Clock::now();
    const VstIntPtr opened = plugin.dispatch(effEditOpen, 0, 0, window->NativeHandle());
    if (options.verbose) {
        std::printf("effEditOpen answered %lld after %lld ms\n", static_cast<long long>(opened),
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               Clock::now() - opening)
                                               .count()));
    }
    if (!sized) {
        if (editorSize(plugin, width, height)) {
            window->Resize(width, height);
        } else {
            std::fprintf(stderr, "tavro-view: the editor gives no size; showing %d x %d\n", width,
                         height);
        }
    }

    // Editors make their window on a thread of their own, some a while
    // after effEditOpen returned; input sent before would miss it.
    bool open = true;
    const auto shown = Clock::now() + std::chrono::milliseconds(kEditorWindowMs);
    while (open && !window->ChildWindowShown() && Clock::now() < shown) {
        open = viewer.Run(10);
    }
    if (open && !window->ChildWindowShown()) {
        std::fprintf(stderr,
                     "tavro-view: the editor showed no window within %d ms of effEditOpen "
                     "(which answered %lld)\n",
                     kEditorWindowMs, static_cast<long long>(opened));
        plugin.dispatch(effEditClose);
        plugin.close();
        plugin.setSizeWindowHandler(nullptr);
        return 1;
    }

    int status = 0;
    open = open && viewer.Run(options.afterMs);
    for (std::size_t i = 0; open && i < options.inputs.size(); ++i) {
        if (!viewer.Apply(options.inputs[i])) {
            std::fprintf(stderr, "tavro-view: %s could not be synthesised\n",
                         options.inputs[i].option.c_str());
            status = 1;
            break;
        }
        open = viewer.Run(kInputPauseMs);
    }

    if (status == 0 && !options.screenshot.empty()) {
        // The editor answers the last input in its next frames.
        open = open && viewer.Run(options.settleMs);
        platform::Picture picture;
        if (!open) {
            std::fprintf(stderr, "tavro-view: the window was closed before the screenshot\n");
            status = 1;
        } else if (!options.pluginFrame && window->Capture(picture)) {
            if (!view::writePng(options.screenshot, picture, error)) {
                std::fprintf(stderr, "tavro-view: %s\n", error.c_str());
                status = 1;
            }
        } else {
            // Under Wine a GL child window's frames never reach the X
            // screen: the plug-in writes its next frame itself.
            std::string path = options.screenshot;
            const VstIntPtr written =
                plugin.dispatch(effVendorSpecific, kVendorWriteEditorFrame, 5000, &path[0]);
            if (written != 1) {
                std::fprintf(stderr, "tavro-view: %s; the plug-in did not write its frame either\n",
                             options.pluginFrame ? "--plugin-frame was asked for"
                                                 : "the screen cannot be read");
                status = 1;
            }
        }
    } else if (status == 0) {
        while (open) {
            open = viewer.Run(1000);
        }
    }

    plugin.dispatch(effEditClose);
    if (options.verbose) {
        printHostRecords(plugin);
    }
    plugin.close();
    plugin.setSizeWindowHandler(nullptr);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        return 2;
    }
    return run(options);
}
