// The GUI functions as layout scripts call them: their errors with the
// exact texts, groups, labels, parameters, properties and buttons. Each
// call runs in the editor's Lua state after the built-in layout was built,
// and leaves the stack as it found it.

#include "LayoutFixture.h"
#include "gui/Buttons.h"
#include "gui/Knob.h"
#include "gui/Label.h"
#include "gui/TextField.h"
#include "osc/OSCHelper.h"
#include "osc/OscTransport.h"
#include "platform/MemoryMidiInput.h"
#include "plugin/ParameterTable.h"
#include "plugin/Properties.h"

namespace layouttest {
namespace {

using testing::HasSubstr;

class LuaGuiTest : public LayoutTest {
protected:
    void SetUp() override {
        LayoutTest::SetUp();
        Build();
        ASSERT_NE(gui->state(), nullptr);
    }
    QX::NamedGroup* Only(const std::string& name) {
        const auto groups = GroupsNamed(name);
        EXPECT_EQ(groups.size(), 1u) << name;
        return groups.empty() ? nullptr : groups.front();
    }
    QX::Label* NewestLabel() {
        const auto labels = ElementsOf<QX::Label>();
        return labels.empty() ? nullptr : labels.back();
    }
};

TEST_F(LuaGuiTest, MisusedFunctionsRaiseTheirErrors) {
    EXPECT_THAT(Run("slider('Swing', 0, 0, 100, 10, 'diagonal')"),
                HasSubstr("unknown slider orientation: diagonal"));
    // The named buttons exist only while createUI runs.
    EXPECT_THAT(Run("button('Prefs', 'Prefs', 0, 0, 54, 25)"), HasSubstr("no button lookup table"));
    EXPECT_THAT(Run("midiHistoryDisplay(0, 0, 10, 10, 4, font(getFixedFont))"),
                HasSubstr("bad argument #5 to 'midiHistoryDisplay' (which out of range)"));
    EXPECT_THAT(Run("midiHistoryDisplay(0, 0, 10, 10, -1, font(getFixedFont))"),
                HasSubstr("which out of range"));
    EXPECT_THAT(Run("midiHistoryDisplay(0, 0, 10, 10, 0, 'Courier')"),
                HasSubstr("bad argument #6 to 'midiHistoryDisplay' (font expected)"));
    EXPECT_THAT(Run("theKnobRenderer = nil; knob('Swing', 0, 0, 34)"),
                HasSubstr("couldn't get theKnobRenderer"));
    EXPECT_THAT(Run("theKnobRenderer = texture('buttons.png'); knob('Swing', 0, 0, 34)"),
                HasSubstr("couldn't get theKnobRenderer"));
    EXPECT_THAT(Run("slider('Swing', 0, 0, 100, 10, 'horizontal', 16, 16, 7, 12)"),
                HasSubstr("couldn't get theSliderRenderer"));
    EXPECT_THAT(Run("add(5)"),
                HasSubstr("bad argument #1 to 'add' (element expected, got number)"));
    EXPECT_THAT(
        Run("elementIsVisible()"),
        HasSubstr("bad argument #1 to 'elementIsVisible' (element expected, got no value)"));
    // A group is no element: groups are made in the window's root.
    EXPECT_THAT(Run("add(group('G'))"), HasSubstr("(element expected, got userdata)"));
    EXPECT_THAT(Run("group('Adjust2'):add('x')"), HasSubstr("element expected, got string"));
    EXPECT_THAT(Run("local g = group('G2'); g.add(label('a', 0, 0), label('b', 0, 0))"),
                HasSubstr("group expected"));
    EXPECT_THAT(
        Run("local l = label('a', 0, 0); l.setBackgroundColour(textField('Swing', 0, 0, 9, 9), "
            "1, 1, 1, 1)"),
        HasSubstr("label expected"));
    EXPECT_THAT(Run("local t = textField('Swing', 0, 0, 9, 9); t.setTextColour(label('a', 0, 0), "
                    "1, 1, 1)"),
                HasSubstr("textfield expected"));
    EXPECT_THAT(Run("knob('Nope', 0, 0, 34)"), HasSubstr("parameter not found: 'Nope'"));
    EXPECT_THAT(Run("texture('nothing.png')"),
                HasSubstr("failed to find texture in resouce id lookup"));
    EXPECT_THAT(Run("font(5)"), HasSubstr("first argument to luaButton() is not a function"));
    EXPECT_THAT(Run("luaButton(5, 'a', 'b', 'toggle', 0, 0, 9, 9)"),
                HasSubstr("first argument to luaButton() is not a function"));
    EXPECT_THAT(Run("setBackgroundTexture(5)"),
                HasSubstr("bad argument #1 to 'setBackgroundTexture' (texture expected)"));
    EXPECT_THAT(Run("sliderRenderer(texture('buttons.png'), 5)"), HasSubstr("texture expected"));
}

TEST_F(LuaGuiTest, NamedButtonsComeFromTheTableHandedToCreateUI) {
    ASSERT_EQ(Run("createUI = function() button('Nowhere', 'x', 0, 0, 10, 10) end"), "");
    gui->QX::LuaGui::CreateUI(QX::PluginLuaGui::NamedButtons());
    EXPECT_THAT(gui->output, HasSubstr("button not found: Nowhere"));

    gui->output.clear();
    const std::size_t before = ElementsOf<QX::PlexButton>().size();
    ASSERT_EQ(Run("createUI = function() extra = button('Prefs', 'Again', 1, 2, 30, 40) end"), "");
    gui->QX::LuaGui::CreateUI(QX::PluginLuaGui::NamedButtons());
    EXPECT_EQ(gui->output, "");
    const auto buttons = ElementsOf<QX::PlexButton>();
    ASSERT_EQ(buttons.size(), before + 1);
    EXPECT_EQ(buttons.back()->caption, "Again");
    EXPECT_EQ(buttons.back()->infoId, -2);
    // Made, but not placed until a group takes it.
    EXPECT_EQ(buttons.back()->parent, nullptr);
}

TEST_F(LuaGuiTest, GroupMarginsAreTenFourOrTheTablesNumbers) {
    ASSERT_EQ(Run("group('m10'); group('m4', 4); group('m12', {1, 2})"), "");
    const float ten[4] = {10, 10, 10, 10}, four[4] = {4, 4, 4, 4}, twelve[4] = {1, 2, 0, 0};
    for (const auto& [name, margins] : {std::pair{"m10", ten}, {"m4", four}, {"m12", twelve}}) {
        QX::NamedGroup* group = Only(name);
        ASSERT_NE(group, nullptr);
        for (int i = 0; i < 4; ++i)
            EXPECT_FLOAT_EQ(group->margins[i], margins[i]) << name << " " << i;
        EXPECT_EQ(group->parent, manager->root);
    }
}

TEST_F(LuaGuiTest, GroupPositionWidthHeightAndBounds) {
    ASSERT_EQ(Run("g = group('Box', 5)\n"
                  "g:add(label('a', 10, 10, 'left', 100, 50))\n"
                  "g:setPosition(200, 100, true)\n"
                  "local l, b, r, t = g:bounds()\n"
                  "assert(l == 200 and b == 100, l .. ' ' .. b)\n"
                  "assert(r == 310 and t == 160, r .. ' ' .. t)\n"
                  "assert(g:width() == 110 and g:height() == 60)\n"
                  "g:setPosition(7, 8)\n"
                  "local l2, b2 = g:bounds()\n"
                  "assert(l2 == 12 and b2 == 13, l2 .. ' ' .. b2)\n"
                  "assert(g:isVisible())\n"
                  "g:setVisible(false)\n"
                  "assert(not g:isVisible())"),
              "");
}

TEST_F(LuaGuiTest, ALabelOfTextAndPlaceOnlyIsCentredAndSizedToItsText) {
    ASSERT_EQ(Run("label('Hello', 100, 50)"), "");
    QX::Label* label = NewestLabel();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text, "Hello");
    EXPECT_FLOAT_EQ(label->textX, 3);
    EXPECT_FLOAT_EQ(label->textY, 3);
    EXPECT_FLOAT_EQ(label->box.maxY, 50);
    EXPECT_NEAR(label->box.Centre().x, 100, 1.0f);
    EXPECT_GT(label->box.Width(), 6);
    // The same label with the defaults spelt out.
    ASSERT_EQ(Run("label('Hello', 100, 50, 'centre', 0, 0)"), "");
    QX::Label* explicitOne = NewestLabel();
    EXPECT_FLOAT_EQ(explicitOne->box.minX, label->box.minX);
    EXPECT_FLOAT_EQ(explicitOne->box.minY, label->box.minY);
    EXPECT_FLOAT_EQ(explicitOne->box.maxX, label->box.maxX);

    ASSERT_EQ(Run("l = label('Right', 100, 50, 'right')\n"
                  "l:setBackgroundColour(0.1, 0.2, 0.3, 0.4)\n"
                  "l:setForegroundColour(0.5, 0.6, 0.7, 0.8)"),
              "");
    QX::Label* right = NewestLabel();
    EXPECT_FLOAT_EQ(right->box.maxX, 100);
    EXPECT_FLOAT_EQ(right->backgroundColour[2], 0.3f);
    EXPECT_FLOAT_EQ(right->foregroundColour[3], 0.8f);
}

TEST_F(LuaGuiTest, GlobalValuesAndTheChannelCount) {
    EXPECT_EQ(Run("assert(getChannelCount() == 2)"), "");
    EXPECT_EQ(Run("assert(isVST and not isAU and not isMac)"), "");
    EXPECT_EQ(Run("assert(version == 10007 and majorVersion == 1 and minorVersion == 0 and "
                  "dotVersion == 7)"),
              "");
#if defined(_WIN32)
    EXPECT_EQ(Run("assert(isWin)"), "");
#else
    EXPECT_EQ(Run("assert(not isWin)"), "");
#endif
    EXPECT_EQ(Run("assert(getBooleanProperty(64140) == false)"), "");
}

TEST_F(LuaGuiTest, ParametersAreReadAndSetByNameOrIndex) {
    EXPECT_EQ(Run("assert(getParameterID('Swing') == 4)"), "");
    EXPECT_EQ(Run("assert(getParameter('Swing') == 50)"), "");
    EXPECT_EQ(Run("assert(getParameter(4) == 50)"), "");
    EXPECT_THAT(Run("getParameterID('Nope')"), HasSubstr("parameter not found: 'Nope'"));
    EXPECT_THAT(Run("getParameter(28)"), HasSubstr("parameter out of range: 28"));
    EXPECT_THAT(Run("setParameter(-1, 3)"), HasSubstr("parameter out of range: -1"));
    // Indices no int holds are named without undefined behaviour.
    EXPECT_THAT(Run("getParameter(0/0)"), HasSubstr("parameter out of range: -2147483648"));
    EXPECT_THAT(Run("setParameter(-3e9, 1)"), HasSubstr("parameter out of range: -2147483648"));
    EXPECT_THAT(Run("getParameter(1e300)"), HasSubstr("parameter out of range: 2147483647"));

    host.calls.clear();
    ASSERT_EQ(Run("setParameter('Swing', 30)"), "");
    EXPECT_FLOAT_EQ(plugin->getParameterNative(kParamSwing), 30);
    // One gesture for the host around the change.
    ASSERT_EQ(host.calls.size(), 3u);
    EXPECT_EQ(host.calls[0].kind, HostCall::kBegin);
    EXPECT_EQ(host.calls[1].kind, HostCall::kAutomate);
    EXPECT_EQ(host.calls[2].kind, HostCall::kEnd);
    EXPECT_EQ(host.calls[2].index, kParamSwing);
    EXPECT_EQ(manager->editId, -1);

    host.calls.clear();
    ASSERT_EQ(Run("setParameter(4, 70, false)"), "");
    EXPECT_FLOAT_EQ(plugin->getParameterNative(kParamSwing), 70);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(LuaGuiTest, ColoursAndTheBanner) {
    ASSERT_EQ(Run("setGroupActiveColour('ignored', 0.1, 0.2, 0.3, 0.4)"), "");
    EXPECT_FLOAT_EQ(manager->groupActiveColour[0], 0.1f);
    EXPECT_FLOAT_EQ(manager->groupActiveColour[3], 0.4f);
    ASSERT_EQ(Run("setBackgroundColour(0.9, 0.25, 0.5, 0.75)"), "");
    EXPECT_FLOAT_EQ(manager->clearColour[0], 0.25f);
    EXPECT_FLOAT_EQ(manager->clearColour[2], 0.75f);
    EXPECT_THAT(Run("setGroupInactiveColour(0.5, 0.5)"), HasSubstr("number expected"));

    ASSERT_EQ(Run("setBannerContent('none', 20, 300)"), "");
    EXPECT_EQ(manager->bannerMode, 2);
    EXPECT_FLOAT_EQ(manager->titleX, 20);
    EXPECT_FLOAT_EQ(manager->infoX, 300);
    ASSERT_EQ(Run("setBannerContent('nameless', 60, -1)"), "");
    EXPECT_EQ(manager->bannerMode, 1);
    ASSERT_EQ(Run("setBannerPosition(400, false)"), "");
    EXPECT_EQ(manager->bannerMode, 2);
    EXPECT_FLOAT_EQ(manager->bannerBox.minY, 400);
    ASSERT_EQ(Run("setBannerPosition(400, nil)"), "");
    EXPECT_EQ(manager->bannerMode, 0);
}

TEST_F(LuaGuiTest, ElementMethodsAndVisibility) {
    ASSERT_EQ(Run("b = luaButton(function() end, 'T', 'tip', 'toggle', 0, 0, 10, 10)\n"
                  "assert(b:getState() == false)\n"
                  "b:setState(true)\n"
                  "assert(b:getState() == true)\n"
                  "assert(b:isVisible())\n"
                  "elementSetVisible(b, false)\n"
                  "assert(not elementIsVisible(b) and not b:isVisible())\n"
                  "k = textField('Swing', 0, 0, 30, 12, '%.1f')\n"
                  "k:setBackgroundColour(0.1, 0.2, 0.3)\n"
                  "k:setActiveColour(0.4, 0.5, 0.6)\n"
                  "k:setChangedColour(0.7, 0.8, 0.9)\n"
                  "k:setTextColour(1, 0.5, 0)\n"
                  "assert(k.getState == nil)\n"
                  "elementSetVisible(k, false)\n"
                  "p = propertyTextField(64100, 'prompt', 0, 0, 100, 20)\n"
                  "p:setEditable(false)\n"
                  "d = knob('Swing', 'a label', 10, 20, 34)\n"
                  "d:setState(true)\n"
                  "assert(d:getState() == false)"),
              "");
    const auto fields = ElementsOf<QX::TextField>();
    QX::TextField* field = fields.back();
    EXPECT_EQ(field->format, "%.1f");
    EXPECT_FLOAT_EQ(field->fieldColour[2], 0.3f);
    EXPECT_FLOAT_EQ(field->focusColour[0], 0.4f);
    EXPECT_FLOAT_EQ(field->editColour[1], 0.8f);
    EXPECT_FLOAT_EQ(field->textColour[2], 0.0f);
    EXPECT_FALSE(field->visible);
    EXPECT_FALSE(ElementsOf<QX::PropertyTextField>().back()->editable);
    // knob(param, extra, x, y, size): the second argument is skipped.
    const auto knobs = ElementsOf<QX::Knob>();
    EXPECT_FLOAT_EQ(knobs.back()->box.minX, 10);
    EXPECT_FLOAT_EQ(knobs.back()->box.minY, 20);
}

TEST_F(LuaGuiTest, ALuaButtonCallsItsFunctionAndSurvivesItsErrors) {
    ASSERT_EQ(Run("presses = 0\n"
                  "counter = luaButton(function() presses = presses + 1 end, 'C', 'count', "
                  "'momentary', 600, 200, 20, 20)\n"
                  "add(counter)\n"
                  "broken = luaButton(function() error('no luck') end, 'B', 'break', 'toggle', "
                  "650, 200, 20, 20)\n"
                  "add(broken)"),
              "");
    auto press = [&](float x, float y) {
        manager->MouseDown({x, y}, 0, 1);
        manager->MouseUp({x, y}, 0);
    };
    press(610, 210);
    press(610, 210);
    EXPECT_EQ(Run("assert(presses == 2, presses)"), "");
    press(660, 210);
    EXPECT_THAT(gui->output, HasSubstr("no luck"));
    EXPECT_EQ(Run("assert(broken:getState())"), "");
}

TEST_F(LuaGuiTest, OnceTheEditorIsOpenAButtonsFunctionChangesButAddsNothing) {
    ASSERT_EQ(Run("g = group('Open')\n"
                  "l = label('kept', 0, 0)\n"
                  "b = luaButton(function() end, 'B', 'tip', 'toggle', 0, 0, 9, 9)\n"
                  "k = texture('buttons.png')"),
              "");
    const std::size_t elements = manager->elements.size(), textures = manager->textures.size(),
                      effects = manager->effects.size(), fonts = manager->fonts.size(),
                      children = manager->root->children.size();
    // What the render thread's flag says while it owns the tree.
    manager->renderThreadRunning = true;
    for (const char* code : {"group('Late')",
                             "label('late', 0, 0)",
                             "g:add(l)",
                             "add(b)",
                             "texture('buttons.png')",
                             "font(getFont)",
                             "knob('Swing', 0, 0, 34)",
                             "dropDown('Swing', 0, 0, 9, 9)",
                             "luaButton(print, 'a', 'b', 't', 0, 0, 9, 9)",
                             "textField('Swing', 0, 0, 9, 9)",
                             "propertyTextField(64100, 'p', 0, 0, 9, 9)",
                             "propertyButton(16, 'a', 'b', 't', 0, 0, 9, 9)",
                             "propertyTriggerButton(64094, 'a', 'b', 0, 0, 9, 9)",
                             "spinKnobRenderer(k, 1, 2, 3)",
                             "arcKnobRenderer(k, 1, 2, 3, 4, 5)",
                             "sliderRenderer(k, k)",
                             "setBackgroundTexture(k)",
                             "paramButton('Swing', 'a', 0, 0, 9, 9)",
                             "midiBrowseButton('a', 'b', 64100, 0, 0, 9, 9)",
                             "infoDisplay(0, 0, 9, 9)",
                             "midiHistoryDisplay(0, 0, 9, 9, 0, font(getFixedFont))"})
        EXPECT_THAT(Run(code), HasSubstr("the editor is open")) << code;
    // Showing, hiding, states and colours stay a button's business.
    EXPECT_EQ(Run("g:setVisible(false); elementSetVisible(l, true); b:setState(true)\n"
                  "l:setForegroundColour(1, 0, 0, 1); setBackgroundColour(0, 0, 0)\n"
                  "redrawLabels(); setParameter('Swing', 20)"),
              "");
    manager->renderThreadRunning = false;
    EXPECT_EQ(manager->elements.size(), elements);
    EXPECT_EQ(manager->textures.size(), textures);
    EXPECT_EQ(manager->effects.size(), effects);
    EXPECT_EQ(manager->fonts.size(), fonts);
    EXPECT_EQ(manager->root->children.size(), children);
}

TEST_F(LuaGuiTest, PropertiesAreWrittenAsStringsAndTriggers) {
    platform::MemoryMidiInputSystem devices;
    devices.addDevice("Loop");
    platform::installMidiInputSystem(&devices);
    ASSERT_EQ(Run("setStringProperty(64100, 'Loop')"), "");
    EXPECT_EQ(plugin->midiSourceName(), "Loop");
    EXPECT_TRUE(devices.isOpen(0));
    // The field showing the source hears of the change.
    EXPECT_EQ(ElementsOf<QX::PropertyTextField>().front()->Value(), "Loop");

    // The layout's Clear button, in the test view.
    ASSERT_EQ(Run("testButton:setState(true); toggleTest()"), "");
    QX::PlexStatefulButton* clear = nullptr;
    for (QX::PlexStatefulButton* button : ElementsOf<QX::PlexStatefulButton>())
        if (button->caption == "Clear")
            clear = button;
    ASSERT_NE(clear, nullptr);
    const QX::Point centre = clear->AbsoluteBox().Centre();
    manager->MouseDown(centre, 0, 1);
    manager->MouseUp(centre, 0);
    EXPECT_EQ(plugin->midiSourceName(), "");
    EXPECT_FALSE(devices.isOpen(0));
    gui.reset();
    manager.reset();
    plugin.reset();
    platform::installMidiInputSystem(nullptr);
}

// An OSC server that keeps what it would send.
class RecordingTransport : public QX::OscTransport {
public:
    std::uint32_t resolveHost(const char* host) override {
        return std::string(host) == "127.0.0.1" ? 0x7F000001 : 0;
    }
    std::uint32_t localAddressFor(const IpEndpointName&) override { return 0x7F000001; }
    void send(const IpEndpointName& to, const std::vector<std::string>& packets) override {
        ports.push_back(to.port);
        for (const std::string& packet : packets)
            sent += packet;
    }
    std::vector<int> ports;
    std::string sent;
};

class RecordingOsc : public QX::PluginHelpers {
public:
    explicit RecordingOsc(RecordingTransport& transport) : transport_(transport) {}
    std::unique_ptr<QX::MidiScripting> createMidiScripting(ZephCorvaneBase&) const override {
        return nullptr;
    }
    std::unique_ptr<QX::OscServerControl> createOscServer(ZephCorvaneBase& plugin,
                                                          QX::MidiScripting*) const override {
        return std::make_unique<QX::OSCHelper>(plugin, nullptr, &transport_);
    }

private:
    RecordingTransport& transport_;
};

TEST_F(LayoutTest, SendOSCGoesOutThroughThePluginsOSCServer) {
    RecordingTransport transport;
    RecordingOsc helpers(transport);
    plugin = std::make_unique<QX4Controller::ZephCorvane>(
        [](AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) -> VstIntPtr {
            return opcode == audioMasterVersion ? 2400 : 0;
        },
        &helpers);
    Build();
    EXPECT_EQ(Run("sendOSC('osc.udp://127.0.0.1:9000', '/fromTheEditor', 'if', {3, 0.5})"), "");
    ASSERT_EQ(transport.ports, std::vector<int>{9000});
    EXPECT_NE(transport.sent.find("/fromTheEditor"), std::string::npos);
    EXPECT_NE(transport.sent.find(",if"), std::string::npos);
    EXPECT_THAT(Run("sendOSC('osc.udp://127.0.0.1:9000', '/x', 'ff', {1})"),
                HasSubstr("format string length mismatch in sendOSC"));
    // The server goes before the transport it sends through.
    gui.reset();
    manager.reset();
    plugin.reset();
}

TEST_F(LuaGuiTest, PrintGoesToTheDebuggerOutput) {
    ASSERT_EQ(Run("print('one', 2, nil)"), "");
    EXPECT_EQ(gui->output, "one\t2\tnil\n");
}

}  // namespace
}  // namespace layouttest

namespace layouttest {
namespace {

// Two instances' editors built one after the other: what the second's
// script sets stays with the second.
TEST_F(LayoutTest, AnEditorsColoursAreItsOwn) {
    Build();
    std::unique_ptr<ALmanager> firstManager = std::move(manager);
    std::unique_ptr<CapturingGui> firstGui = std::move(gui);
    QX::NamedGroup* firstGroup = nullptr;
    for (QX::UIElement* element : firstManager->elements)
        if (!firstGroup)
            firstGroup = dynamic_cast<QX::NamedGroup*>(element);
    ASSERT_NE(firstGroup, nullptr);

    Build();
    ASSERT_EQ(Run("setGroupActiveColour(1, 0, 0, 1)"), "");
    ASSERT_EQ(Run("setGroupInactiveColour(0, 1, 0, 1)"), "");
    firstGroup->MouseEnter();
    EXPECT_FLOAT_EQ(firstGroup->targetColour[0], 0.7f);
    EXPECT_FLOAT_EQ(firstGroup->targetColour[1], 0.7f);
    firstGroup->MouseLeave();
    EXPECT_FLOAT_EQ(firstGroup->targetColour[0], 0.6f);
    EXPECT_FLOAT_EQ(firstGroup->targetColour[1], 0.6f);
    firstGui.reset();
}

}  // namespace
}  // namespace layouttest
