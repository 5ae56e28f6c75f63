#pragma once
// The editor's three dialogs as templates: the controls with their ids,
// kinds, texts and rectangles in dialog units (x, y from the top-left corner
// of the dialog's client area; a horizontal unit is a quarter of the dialog
// font's average character width, a vertical one an eighth of its height).
// Windows builds the dialogs from the same templates written as resources
// (resources/dialogs/dialogs.rc; a test compares the two); the editor's own
// panels lay them out from these tables.

#include <string>
#include <vector>

namespace QX {

enum class DialogControlKind {
    kStatic,
    kPushButton,
    kDefaultPushButton,  // pressed by Return
    kGroupBox,
    kEdit,
    kNumberEdit,  // an edit field that takes digits only
    kCheckBox,    // flips itself when clicked
    kDropDownList,
    kListBox,  // with a border, a vertical scroll bar and notifications
};

struct DialogControlTemplate {
    int id;
    DialogControlKind kind;
    std::string text;
    // For a drop-down list the height includes its open list.
    int x, y, width, height;
};

struct DialogTemplate {
    int resourceId;
    std::string caption;
    int width, height;
    std::string fontName;
    int fontPoints;
    std::vector<DialogControlTemplate> controls;

    // Null when the template has no control `id`.
    const DialogControlTemplate* Control(int id) const;
};

// Resource and control ids.
namespace dialogid {
inline constexpr int kAbout = 102;
inline constexpr int kMakerName = 103;
inline constexpr int kWebPage = 104;
inline constexpr int kProductName = 105;
inline constexpr int kVersion = 106;
inline constexpr int kPreferencesGroup = 109;
inline constexpr int kFloatingTooltip = 110;
inline constexpr int kOpenSkinFolder = 138;
inline constexpr int kSkinList = 139;
inline constexpr int kSkinLabel = 140;
inline constexpr int kOscBasePort = 141;
inline constexpr int kOscBasePortLabel = 142;
inline constexpr int kEyeCandy = 143;
inline constexpr int kConstantRedraw = 144;

inline constexpr int kEnterProperty = 200;
inline constexpr int kMessage = 201;
inline constexpr int kPropertyText = 202;

inline constexpr int kMidiBrowser = 300;
inline constexpr int kDeviceList = 301;
}  // namespace dialogid

const DialogTemplate& AboutDialogTemplate();
const DialogTemplate& PropertyDialogTemplate();
const DialogTemplate& MidiBrowserTemplate();

}  // namespace QX
