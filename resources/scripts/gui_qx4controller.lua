-- gui_qx4controller.lua: tavro's editor. Runs after a skin's scripts and
-- before gui.lua; like gui.lua it defines only what nobody defined yet, so a
-- skin may replace getWindowSize, createUI, toggleTest or any helper.

getWindowSize = getWindowSize or function()
    return 1000, 450
end

-- The "Test" button swaps the output controls and the plug-in's own MIDI
-- history for the loop-back test's controls and its history.
toggleTest = toggleTest or function()
    local v = testButton:getState()
    testHistoryGroup:setVisible(v)
    testGroup:setVisible(v)
    historyGroup:setVisible(not v)
    midiOutGroup:setVisible(not v)
    redrawLabels()
end

createUI = createUI or function()
    createUICommon()

    local kKnobSpacing = 47
    local kBigKnobSpacing = 101
    local kVerticalKnobSpacing = 70
    local kLabelSpacing = 30
    local kWideTextW = 107
    local kEnvelopeW, kEnvelopeH = 120, 70
    local kPropertyFieldH = 20
    local kHistoryW, kHistoryH = 480, 285
    local kButtonW = 78
    local kSmallButtonW = 53
    local kLabelW = 51
    local kPortFieldW = 200

    theKnobRenderer = smallKnobRenderer

    -- The loop-back test: what to send, how often, and where it comes back.
    testGroup = group("Test")
    testGroup:add(paramButton("Test Enable", "Enable", 0, 20, kWideTextW, 20))
    labelledDropDown(testGroup, "Test Type", "Type", 0, 0, kWideTextW)
    local x = 117
    smallKnobAndTextField(testGroup, "Test Interval", "Interval", x, 0)
    x = x + kKnobSpacing
    smallKnobAndTextField(testGroup, "Message Byte 1", "Byte 1", x, 0)
    x = x + kKnobSpacing
    smallKnobAndTextField(testGroup, "Message Byte 2", "Byte 2", x, 0)
    x = x + kKnobSpacing
    smallKnobAndTextField(testGroup, "Message Byte 3", "Byte 3", x, 0)
    x = x + kKnobSpacing
    local x1 = x
    testGroup:add(label("Source:", x1, 24, "centre", kLabelW, 12))
    testGroup:add(propertyTextField(64100, "Enter MIDI source", x1 + 56, 20, kPortFieldW,
                                    kPropertyFieldH))
    testGroup:add(midiBrowseButton("Browse", "Browse for MIDI source", 64100, x1 + 261, 20,
                                   kSmallButtonW, 20))
    testGroup:add(propertyTriggerButton(64101, "Clear", "Clear MIDI source", x1 + 261, -10,
                                        kSmallButtonW, 20))
    testGroup:add(label("Test Failures:", x1, -16, "centre", kWideTextW, 12))
    testGroup:add(infoDisplay(x1 + 117, -16, kLabelW, 12))
    testGroup:setVisible(false)

    -- The OSC port offset; no control of the layout shows it.
    oscGroup = group("OSC")
    smallKnobAndTextField(oscGroup, "OSC Port Offset", "Port", 0, 0)
    oscGroup:setVisible(false)

    -- What goes out: channel handling, clock, song position and panic.
    midiOutGroup = group("MIDI Out")
    labelledDropDown(midiOutGroup, "MIDI Channel", "Channel", 0, 30)
    labelledDropDown(midiOutGroup, "Channelise", "Channelise", 0, 0)
    midiOutGroup:add(paramButton("Clock", "Clock", 70, 36, 150, 12))
    midiOutGroup:add(paramButton("Use MIDI SPP", "Song Position Pointer", 70, 18, 150, 12))
    midiOutGroup:add(paramButton("Send SPP Zero", "Send SPP 0", 70, 0, 150, 12))
    labelledDropDown(midiOutGroup, "Swing Type", "Swing", 230, 0)
    smallKnobAndTextField(midiOutGroup, "Swing", "Swing", 300, 0)
    smallKnobAndTextField(midiOutGroup, "Clock Offset", "Offset", 347, 0)
    midiOutGroup:add(propertyTriggerButton(64094, "Don't Panic", "Send All Sound Off", 394, 0,
                                           kButtonW, 30))

    -- The signal itself.
    adjustGroup = group("Adjust")
    smallKnobAndTextField(adjustGroup, "Output Level", "Level", 0, 0)
    smallKnobAndTextField(adjustGroup, "Space", "Space", 47, 0)
    smallKnobAndTextField(adjustGroup, "Balance", "Balance", 94, 0)

    -- The MIDI history: what came in and went out, and in the test view
    -- what the test sent and what came back.
    local fixed = font(getFixedFont)
    historyGroup = group("History")
    historyGroup:add(midiHistoryDisplay(0, 0, kHistoryW, kHistoryH, 0, fixed))
    historyGroup:add(midiHistoryDisplay(490, 0, kHistoryW, kHistoryH, 3, fixed))
    testHistoryGroup = group("History")
    testHistoryGroup:add(midiHistoryDisplay(0, 0, kHistoryW, kHistoryH, 1, fixed))
    testHistoryGroup:add(midiHistoryDisplay(490, 0, kHistoryW, kHistoryH, 2, fixed))
    -- How long the test messages take to come back, across the top of what
    -- came back: drawn after the display, over its empty upper band.
    testHistoryGroup:add(roundTripDisplay(500, kHistoryH - 24, kHistoryW - 20, 12))
    testHistoryGroup:setVisible(false)

    -- Placement, from the window's lower left corner.
    local y = windowEdgePad
    x = windowEdgePad
    adjustGroup:setPosition(x, y, true)
    x = x + adjustGroup:width() + 10
    testButton = luaButton(toggleTest, "Test", "Show/Hide Test Controls", "toggle", x, 20,
                           kButtonW, 30)
    add(testButton)
    x = x + kButtonW + 10
    midiOutGroup:setPosition(x, y, true)
    testGroup:setPosition(x, y, true)
    x = x + testGroup:width() + 10
    x = windowEdgePad
    y = windowEdgePad + midiOutGroup:height() + 10
    historyGroup:setPosition(x, y, true)
    testHistoryGroup:setPosition(x, y, true)
    x = x + testHistoryGroup:width() + 10
    oscGroup:setPosition(x, y, true)
end
