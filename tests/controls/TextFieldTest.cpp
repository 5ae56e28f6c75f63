// Text fields: typing, the arrow steps, the rules for '-' and '.', focus,
// and the property field's text following the plug-in.

#include <gmock/gmock.h>

#include <clocale>
#include <string>

#include "ControlsFixture.h"
#include "gui/TextField.h"
#include "platform/ManagerPlatformBridge.h"
#include "plugin/ParameterTable.h"

namespace controlstest {
namespace {

using testing::ElementsAre;

constexpr int kReturn = QX::kKeyReturn;
constexpr int kBackspace = QX::kKeyBackspace;
constexpr int kUp = QX::kKeyUp;
constexpr int kDown = QX::kKeyDown;

class TextFields : public ControlsTest {
protected:
    // At (100, 100), 60 x 12; a click at (130, 106) focuses it.
    QX::TextField* field(int parameter, const std::string& format = "") {
        return add(new QX::TextField(manager.get(), parameter, 100, 100, 60, 12, format));
    }
    void focus() { click(130, 106); }
};

TEST_F(TextFields, TypingDigitsAndReturnSetsTheValueAsOneHostEdit) {
    field(kParamSwing);  // 0..100
    focus();
    EXPECT_EQ(bridge->focusCalls, 1);
    host.log.clear();
    EXPECT_TRUE(type({'1', '2', '.', '5', kReturn}));
    EXPECT_FLOAT_EQ(native(kParamSwing), 12.5f);
    EXPECT_THAT(host.log, ElementsAre("begin 4", "automate 4", "end 4"));
}

TEST_F(TextFields, TypedNumbersReadWithAPointWhateverTheHostsLocale) {
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed (scripts/setup.sh makes it)";
    QX::TextField* level = field(kParamOutputLevel);
    focus();
    type({'0', '.', '2', '5', kReturn});
    EXPECT_FLOAT_EQ(native(kParamOutputLevel), 0.25f);
    // Up and Down step by the last digit shown, point or comma.
    setNative(kParamOutputLevel, 0.5f);
    level->RefreshText();
    EXPECT_FLOAT_EQ(level->Step(), 0.001f) << level->Text();
    std::setlocale(LC_ALL, "C");
}

TEST_F(TextFields, ANegativeNumberBelowTheMinimumSetsTheMinimum) {
    field(kParamSwing);
    setNative(kParamSwing, 40);
    focus();
    type({'-', '5', kReturn});
    EXPECT_FLOAT_EQ(native(kParamSwing), 0);
}

TEST_F(TextFields, ArrowsStepByTheLastShownDecimalAndByOneForWords) {
    QX::TextField* level = field(kParamOutputLevel, "%.2f");
    setNative(kParamOutputLevel, 0.5f);
    level->RefreshText();
    EXPECT_EQ(level->Text(), "0.50");
    focus();
    type({kUp});
    EXPECT_NEAR(native(kParamOutputLevel), 0.51f, 1e-6f);
    level->RefreshText();
    type({kDown, kDown});
    EXPECT_NEAR(native(kParamOutputLevel), 0.49f, 1e-6f);

    manager->root->children.clear();
    // "Space" shows "Off" at 0: a word steps by one.
    QX::TextField* space = field(kParamSpace, "%.2f");
    space->RefreshText();
    EXPECT_EQ(space->Text(), "Off");
    focus();
    type({kUp});
    EXPECT_FLOAT_EQ(native(kParamSpace), 1);
}

TEST_F(TextFields, ASecondPointAndALateMinusAreIgnored) {
    QX::TextField* f = field(kParamSwing);
    focus();
    type({'1', '.', '2', '.', '5', '-', '3'});
    EXPECT_EQ(f->Text(), "1.253");
    type({kReturn});
    EXPECT_FLOAT_EQ(native(kParamSwing), 1.253f);
}

TEST_F(TextFields, BackspaceRemovesTypedCharactersAndTheValueShowsAgainWhenNoneAreLeft) {
    QX::TextField* f = field(kParamSwing);
    setNative(kParamSwing, 50);
    focus();
    type({'7', '3', kBackspace});
    EXPECT_EQ(f->Text(), "7");
    type({kBackspace});
    EXPECT_FALSE(f->Typing());
    f->RefreshText();
    EXPECT_EQ(f->Text(), "50.00");
}

TEST_F(TextFields, ClickingElsewhereDiscardsTypedText) {
    QX::TextField* f = field(kParamSwing);
    setNative(kParamSwing, 50);
    focus();
    type({'7', '7'});
    EXPECT_TRUE(f->Typing());
    click(600, 300);
    EXPECT_EQ(manager->keyFocus, nullptr);
    EXPECT_FALSE(f->Typing());
    EXPECT_FALSE(type({kReturn}));  // nothing has the focus now
    EXPECT_FLOAT_EQ(native(kParamSwing), 50);
    f->RefreshText();
    EXPECT_EQ(f->Text(), "50.00");
}

TEST_F(TextFields, AtMostThirtyOneCharactersAreKeptAndOtherKeysAreNotUsed) {
    QX::TextField* f = field(kParamSwing);
    focus();
    type(std::vector<int>(40, '1'));
    EXPECT_EQ(f->Text(), std::string(31, '1'));
    EXPECT_FALSE(manager->keyFocus->KeyDown('a', 'a', 0));
}

TEST_F(TextFields, AFormatThatIsNotOneNumberIsNotUsed) {
    QX::TextField* f = field(kParamSwing, "%s%s");
    EXPECT_EQ(f->format, "");
    setNative(kParamSwing, 25);
    f->RefreshText();
    EXPECT_EQ(f->Text(), "25.00");
    EXPECT_EQ(field(kParamSwing, "%5.1f %%")->format, "%5.1f %%");
}

// ---- Property text field -----------------------------------------------------------

class PropertyFields : public ControlsTest {
protected:
    static bool opener(QX::Manager&, QX::PropertyTextField& field) {
        opened.push_back(field.prompt);
        return true;
    }
    ~PropertyFields() override { QX::SetPropertyDialogOpener(nullptr); }
    static std::vector<std::string> opened;
};
std::vector<std::string> PropertyFields::opened;

TEST_F(PropertyFields, TextFollowsThePropertyAndAClickOpensTheDialogWhenEditable) {
    opened.clear();
    auto* f = add(new QX::PropertyTextField(manager.get(), RecordingPlugin::kText, "Enter text",
                                            100, 100, 200, 20));
    EXPECT_EQ(f->Value(), "first");
    EXPECT_EQ(f->WriteProperty("second"), 0);
    EXPECT_EQ(f->Value(), "second");
    f->Idle();
    EXPECT_EQ(f->value, "second");

    QX::SetPropertyDialogOpener(opener);
    click(150, 110);
    f->editable = false;
    click(150, 110);
    EXPECT_THAT(opened, ElementsAre("Enter text"));
}

}  // namespace
}  // namespace controlstest
