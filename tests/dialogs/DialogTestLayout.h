#pragma once
// The editor of the dialog tests: the product's size, with a button that
// opens About, a field that shows the MIDI source and opens Enter Property
// when clicked, and a button that opens the MIDI Browser, the three ways
// the product's layout opens them. The plug-in answers two questions of the
// tests through effVendorSpecific: what the open dialog panel shows, and
// what the source field shows.

#include "gui/CarbonVSTEditor.h"
#include "vst/AEffect.h"

namespace dialogtest {

inline constexpr int kEditorWidth = 1000;
inline constexpr int kEditorHeight = 450;

// Boxes in design units (origin bottom left): x, y, width, height.
inline constexpr float kAboutButton[4] = {880, 400, 100, 30};
inline constexpr float kSourceField[4] = {40, 60, 400, 30};
inline constexpr float kBrowseButton[4] = {460, 60, 100, 30};

// ptr: a character buffer of `value` bytes. Writes DialogPanel::Describe()
// of the open panel and answers 1, or answers 0 when none is open.
inline constexpr VstInt32 kVendorDescribePanel = 0x74764450;  // 'tvDP'
// Writes the text the source field shows; answers 1.
inline constexpr VstInt32 kVendorSourceField = 0x74765346;  // 'tvSF'

class DialogTestLayout : public QX::GuiBuilder {
public:
    void GetWindowSize(int& width, int& height) override;
    void CreateUI(QX::Manager& manager) override;
};

}  // namespace dialogtest
