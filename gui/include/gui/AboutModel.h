#pragma once
// What the About dialog shows and what its commands do, apart from any
// window: the product and version, the user's preferences (OSC base port,
// the three display flags, the skin) and the two shell actions (the maker's
// web page, the skins folder).
//
// The display flags and the skin take effect at once; the port only with
// OK. The flags, the port and the skin are written to the preferences and,
// for the first four, to the process-wide settings the editor and the OSC
// server read.
//
// [ui-thread: the thread that runs the dialog] Reads and writes the
// preference store and the file system; not for the audio thread.

#include <functional>
#include <string>
#include <vector>

#include "platform/Shell.h"

class ZephAuBase;

namespace QX {

class AboutModel {
public:
    using ShellOpener = std::function<bool(const std::string& target, platform::ShellVerb verb)>;

    // The address the web-page button opens, set by the build
    // (TAVRO_MAKER_WEB_PAGE); empty when the build names none.
    static std::string BuiltInWebPage();

    // Reads what the dialog shows: the process-wide settings, the saved
    // skin and the skins folder of the plug-in's product (property 64002).
    explicit AboutModel(ZephAuBase& plugin, std::string webPage = BuiltInWebPage(),
                        ShellOpener opener = platform::openWithShell);

    // ---- Shown --------------------------------------------------------------
    static std::string ProductName() { return "TAVRO"; }
    static std::string VersionText();
    // The OSC base port as decimal text.
    std::string PortText() const;
    bool EyeCandy() const;
    bool ConstantRedraw() const;
    bool FloatingTooltip() const;
    // "Default" (the built-in skin), then the skins folder's sub-folders.
    const std::vector<std::string>& Skins() const { return skins_; }
    // The entry shown selected when the dialog opens: the first whose name
    // begins with the saved skin's (letter case ignored), "Default" when the
    // saved skin is not listed.
    int SelectedSkin() const { return selectedSkin_; }
    const std::string& WebPage() const { return webPage_; }

    // ---- Commands -------------------------------------------------------------
    // OK: a whole number above 0 (and no larger than a UDP port) becomes the
    // OSC base port: preference, process-wide setting, and the plug-in's
    // server re-bound to base + offset (property 64008). Anything else leaves
    // the port as it was. A base that with the plug-in's OSC Port Offset
    // gives no UDP port is refused too, and `refusal` (when given) says why.
    // True when the port was written.
    bool ApplyPort(const std::string& text, std::string* refusal = nullptr);
    void SetEyeCandy(bool on);
    void SetConstantRedraw(bool on);
    void SetFloatingTooltip(bool on);
    // The list's entry `index` becomes the skin ("Default": the empty text),
    // saved and announced to the plug-in (property 64012); -1 or an index
    // past the list does nothing.
    void ChooseSkin(int index);
    // Creates the maker, product and skins folders and opens the last.
    bool OpenSkinFolder();
    // Opens the web page; false when there is none or it could not be opened.
    bool OpenWebPage();

    // The entry of `entries` shown for the saved skin: "Default" (entry 0)
    // unless an entry equals `saved`; then the first entry that begins with
    // the chosen name, letter case ignored, as the list searches.
    static int PreselectSkin(const std::vector<std::string>& entries, const std::string& saved);

    // The port a text names, or -1: optional blanks around optional sign and
    // decimal digits, the value from 1 to 65535.
    static int ParsePort(const std::string& text);

private:
    std::string ProductTag() const;

    ZephAuBase& plugin_;
    std::string webPage_;
    ShellOpener opener_;
    std::vector<std::string> skins_;
    int selectedSkin_ = 0;
};

}  // namespace QX
