#include "DialogTestLayout.h"

#include <mutex>
#include <string>

#include "GL.h"
#include "gui/Dialogs.h"
#include "gui/Font.h"
#include "gui/Group.h"
#include "gui/Manager.h"
#include "gui/PropertyDialogModel.h"
#include "gui/TextRun.h"
#include "plugin/Properties.h"
#include "plugin/ZephCorvaneBase.h"

namespace dialogtest {

namespace {

std::vector<QX::FontCandidate> fontCandidates(int size) {
    return {{"verdana.ttf", size}, {"DejaVuSans.ttf", size}};
}

QX::Box boxOf(const float b[4]) {
    return QX::Box::Make(b[0], b[1], b[0] + b[2], b[1] + b[3]);
}

void fill(const QX::Box& b) {
    glRectf(b.minX, b.minY, b.maxX, b.maxY);
}

// A caption in a box; what a press does is the subclass's.
class CaptionBox : public QX::ControlBase {
public:
    CaptionBox(QX::Manager* manager, const float b[4], std::string caption)
        : QX::ControlBase(manager), caption_(std::move(caption)) {
        box = boxOf(b);
    }
    void Draw() override {
        const QX::Box b = AbsoluteBox();
        glColor4f(0.25f, 0.35f, 0.5f, 1);
        fill(b);
        glColor4f(0.9f, 0.9f, 0.9f, 1);
        if (QX::Font* font = manager->mainFont) {
            const std::string text = Caption();
            run_.Update(font, text, b.minX + 8, b.Centre().y - 4);
            run_.Draw(font);
        }
    }
    virtual std::string Caption() { return caption_; }

private:
    std::string caption_;
    QX::TextRun run_;
};

// Like the product's buttons: the action on release.
class ActionButton : public CaptionBox {
public:
    ActionButton(QX::Manager* manager, const float b[4], std::string caption,
                 void (*action)(QX::Manager&))
        : CaptionBox(manager, b, std::move(caption)), action_(action) {}
    void MouseUp(QX::Point p, int /*modifiers*/) override {
        if (box.Contains(p))
            action_(*manager);
    }

private:
    void (*action_)(QX::Manager&);
};

}  // namespace

// Shows property 64100 as the plug-in reports it to its listeners; a press
// opens Enter Property, as the product's property field does.
class SourceField : public CaptionBox {
public:
    SourceField(QX::Manager* manager, const float b[4]) : CaptionBox(manager, b, "") {
        if (manager->plugin) {
            manager->plugin->AddPropertyListener(prop::kMidiSourceName, &SourceField::Heard, this);
            Heard(this, manager->plugin, prop::kMidiSourceName, 0, 0);
        }
    }
    ~SourceField() override {
        if (manager->plugin)
            manager->plugin->RemovePropertyListener(prop::kMidiSourceName, &SourceField::Heard);
    }
    void MouseDown(QX::Point /*p*/, int /*modifiers*/, int /*clickCount*/) override {
        QX::ShowPropertyDialog(*manager, prop::kMidiSourceName, "Enter MIDI source");
    }
    std::string Caption() override {
        std::lock_guard<std::mutex> guard(mutex_);
        return "Source: " + shown_;
    }
    std::string Shown() {
        std::lock_guard<std::mutex> guard(mutex_);
        return shown_;
    }

private:
    static void Heard(void* user, ZephAuBase* plugin, std::uint32_t id, std::uint32_t,
                      std::uint32_t) {
        auto* field = static_cast<SourceField*>(user);
        const std::string text = QX::PropertyDialogModel::ReadProperty(*plugin, id);
        std::lock_guard<std::mutex> guard(field->mutex_);
        field->shown_ = text;
    }
    std::mutex mutex_;
    std::string shown_;
};

std::string SourceFieldText(QX::Manager& manager) {
    for (QX::UIElement* element : manager.elements) {
        if (auto* field = dynamic_cast<SourceField*>(element))
            return field->Shown();
    }
    return "(no field)";
}

void DialogTestLayout::GetWindowSize(int& width, int& height) {
    width = kEditorWidth;
    height = kEditorHeight;
}

void DialogTestLayout::CreateUI(QX::Manager& manager) {
    manager.mainFont = QX::CreateFont(fontCandidates(13)).release();
    manager.labelFont = QX::CreateFont(fontCandidates(11)).release();
    manager.textFieldFont = QX::CreateFont(fontCandidates(11)).release();
    manager.clearColour[0] = 0.3f;
    manager.clearColour[1] = 0.32f;
    manager.clearColour[2] = 0.3f;
    manager.drawOverlays = true;
    manager.AddDefaultInfoTexts();
    manager.SetBannerPosition(static_cast<float>(kEditorHeight) - 35);
    manager.root->Add(new ActionButton(&manager, kAboutButton, "Prefs", QX::ShowAboutDialog));
    manager.root->Add(new SourceField(&manager, kSourceField));
    manager.root->Add(new ActionButton(&manager, kBrowseButton, "Browse", QX::ShowMidiBrowser));
}

}  // namespace dialogtest
