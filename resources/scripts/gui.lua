-- gui.lua: what every layout of the family shares: fonts, sizes, colours,
-- the helpers that place a knob with its value field and label, the knob
-- renderers, and the banner with the Prefs button.
--
-- Every definition here is made only where nothing defined the name yet
-- (name = name or ...). A skin's gui.lua and layout script run before this
-- file, so whatever a skin defines wins, and this file fills in the rest.

-- 1. Font lists: the first font of a list that is found and loads is used.
-- Each ends with a font the plug-in carries ("builtin:" names), so that a
-- system without any of the others (a fresh Wine prefix, a Linux without
-- fonts) still shows every text; a copy the system has comes first.

if isMac then
    getFont = getFont or function()
        return { { name = "Verdana.ttf", size = 13 }, { name = "Monaco.dfont", size = 13 },
                 { name = "builtin:DejaVuSans.ttf", size = 13 } }
    end
    getLabelFont = getLabelFont or function()
        return { { name = "Verdana.ttf", size = 11 }, { name = "Monaco.dfont", size = 11 },
                 { name = "builtin:DejaVuSans.ttf", size = 11 } }
    end
    getTextFieldFont = getTextFieldFont or function()
        return { { name = "Verdana.ttf", size = 11 }, { name = "Monaco.dfont", size = 11 },
                 { name = "builtin:DejaVuSans.ttf", size = 11 } }
    end
    getFixedFont = getFixedFont or function()
        return { { name = "Courier New.ttf", size = 12 }, { name = "Monaco.dfont", size = 12 },
                 { name = "builtin:DejaVuSansMono.ttf", size = 12 } }
    end
elseif isWin then
    -- Windows' own fonts first; DejaVu for systems that have installed it
    -- instead (a fresh Wine prefix has neither Verdana nor Arial).
    getFont = getFont or function()
        return { { name = "Verdana.ttf", size = 13 }, { name = "arial.ttf", size = 13 },
                 { name = "DejaVuSans.ttf", size = 13 },
                 { name = "builtin:DejaVuSans.ttf", size = 13 } }
    end
    getLabelFont = getLabelFont or function()
        return { { name = "Verdana.ttf", size = 11 }, { name = "arial.ttf", size = 11 },
                 { name = "DejaVuSans.ttf", size = 11 },
                 { name = "builtin:DejaVuSans.ttf", size = 11 } }
    end
    getTextFieldFont = getTextFieldFont or function()
        return { { name = "Verdana.ttf", size = 11 }, { name = "arial.ttf", size = 11 },
                 { name = "DejaVuSans.ttf", size = 11 },
                 { name = "builtin:DejaVuSans.ttf", size = 11 } }
    end
    getFixedFont = getFixedFont or function()
        return { { name = "cour.ttf", size = 12 }, { name = "arial.ttf", size = 12 },
                 { name = "DejaVuSansMono.ttf", size = 12 }, { name = "DejaVuSans.ttf", size = 12 },
                 { name = "builtin:DejaVuSansMono.ttf", size = 12 } }
    end
else
    -- Linux: the fonts every desktop has (fonts-dejavu-core), then the
    -- Liberation fonts, then Microsoft's if they were installed; the carried
    -- copy where the system has none.
    getFont = getFont or function()
        return { { name = "DejaVuSans.ttf", size = 13 },
                 { name = "LiberationSans-Regular.ttf", size = 13 },
                 { name = "Verdana.ttf", size = 13 },
                 { name = "builtin:DejaVuSans.ttf", size = 13 } }
    end
    getLabelFont = getLabelFont or function()
        return { { name = "DejaVuSans.ttf", size = 11 },
                 { name = "LiberationSans-Regular.ttf", size = 11 },
                 { name = "Verdana.ttf", size = 11 },
                 { name = "builtin:DejaVuSans.ttf", size = 11 } }
    end
    getTextFieldFont = getTextFieldFont or function()
        return { { name = "DejaVuSans.ttf", size = 11 },
                 { name = "LiberationSans-Regular.ttf", size = 11 },
                 { name = "Verdana.ttf", size = 11 },
                 { name = "builtin:DejaVuSans.ttf", size = 11 } }
    end
    getFixedFont = getFixedFont or function()
        return { { name = "DejaVuSansMono.ttf", size = 12 },
                 { name = "LiberationMono-Regular.ttf", size = 12 },
                 { name = "cour.ttf", size = 12 },
                 { name = "builtin:DejaVuSansMono.ttf", size = 12 } }
    end
end

-- 2. Sizes: the knob images of the atlas, and the layout's spacing.

kBitmapTinyKnobSize = kBitmapTinyKnobSize or 26
kBitmapKnobSize = kBitmapKnobSize or 34
kBitmapBigKnobSize = kBitmapBigKnobSize or 92

pad = pad or 10.0
windowEdgePad = windowEdgePad or 5.0
kTinyKnobSize = kTinyKnobSize or kBitmapTinyKnobSize
kKnobSize = kKnobSize or kBitmapKnobSize
kBigKnobSize = kBigKnobSize or kBitmapBigKnobSize
kTextFieldH = kTextFieldH or 12
kDropdownW = kDropdownW or 60

showTestSignals = showTestSignals or false
showLogicIndicators = showLogicIndicators or false
isLogicPro = isLogicPro or getBooleanProperty(64140)

-- 3. Labels: light text on a faint dark box.

setLabelColour = setLabelColour or function(l)
    l:setBackgroundColour(0.1, 0.1, 0.15, 0.3)
    l:setForegroundColour(0.9, 0.9, 0.9, 1.0)
end

-- 4. Graph colours, for the displays of the family's other products (this
-- layout has none of them).

graphBackgroundColour = graphBackgroundColour or { 0.1, 0.1, 0.1, 1 }
graphFillColour = graphFillColour or { 0.15, 0.25, 0.5, 1 }
graphLineColour = graphLineColour or { 0.3, 0.5, 1, 1 }
peakLineColour = peakLineColour or { 0.3, 0.8, 0.6, 1.0 }
brightFillColour = brightFillColour or { 0.2, 0.4, 0.8, 1 }

setGraphColours = setGraphColours or function(display, fill)
    local b, f, l = graphBackgroundColour, fill or graphFillColour, graphLineColour
    display:setBackgroundColour(b[1], b[2], b[3], b[4])
    display:setFillColour(f[1], f[2], f[3], f[4])
    display:setLineColour(l[1], l[2], l[3], l[4])
end

setEnvelopeColours = setEnvelopeColours or function(d) setGraphColours(d) end
setCalibrationColours = setCalibrationColours or function(d) setGraphColours(d) end
setWaveformColours = setWaveformColours or function(d) setGraphColours(d) end
setFollowerEnvelopeColours = setFollowerEnvelopeColours or function(d)
    setGraphColours(d)
    local p = peakLineColour
    d:setPeakLineColour(p[1], p[2], p[3], p[4])
end
setFollowerPitchColours = setFollowerPitchColours or function(d)
    setGraphColours(d)
    local p = peakLineColour
    d:setPeakLineColour(p[1], p[2], p[3], p[4])
end
setStepEditorColours = setStepEditorColours or function(d) setGraphColours(d, brightFillColour) end
setFunctionColours = setFunctionColours or function(d) setGraphColours(d) end
setRandomRegisterColours = setRandomRegisterColours or function(d)
    setGraphColours(d, brightFillColour)
end
setConverterEditorColours = setConverterEditorColours or function(d) setGraphColours(d) end

-- 5. The window's colours.

setUIColours = setUIColours or function()
    setBackgroundColour(0.4, 0.4, 0.4)
    setBannerColour(0.1, 0.1, 0.15, 0.3)
    setBannerTextColour(0.9, 0.9, 0.9, 1.0)
    setGroupActiveColour(0.7, 0.7, 0.7, 1.0)
    setGroupInactiveColour(0.6, 0.6, 0.6, 1.0)
end

-- 6. A knob with its value field below it and an optional label under
-- both. The wider of knob and field starts at x; the narrower is centred
-- over it.

knobAndTextField = knobAndTextField or function(g, param, labelText, x, y, size, textH, textW, format)
    textW = textW or size
    format = format or ""
    local knobX, fieldX = x, x
    if textW > size then
        knobX = x + (textW - size) / 2
    else
        fieldX = x - (textW - size) / 2
    end
    g:add(knob(param, knobX, y + textH + 1, size))
    g:add(textField(param, fieldX, y, textW, textH, format))
    if labelText then
        local l = label(labelText, fieldX + textW / 2, y - 3)
        setLabelColour(l)
        g:add(l)
    end
end

-- 7. The two knob sizes of the layouts.

smallKnobAndTextField = smallKnobAndTextField or function(g, param, labelText, x, y, textW, format)
    knobAndTextField(g, param, labelText, x, y, kKnobSize, kTextFieldH, textW, format)
end

bigKnobAndTextField = bigKnobAndTextField or function(g, param, labelText, x, y)
    knobAndTextField(g, param, labelText, x, y, kBigKnobSize, kTextFieldH, kKnobSize, "")
end

-- 8. Drop-downs with a label under them, or to their left.

labelledDropDown = labelledDropDown or function(g, param, labelText, x, y, w)
    w = w or kDropdownW
    g:add(dropDown(param, x, y, w, kTextFieldH))
    local l = label(labelText, x + w / 2, y - 3)
    setLabelColour(l)
    g:add(l)
end

leftLabelledDropDown = leftLabelledDropDown or function(g, param, labelText, x, y, lw, w)
    w = w or kDropdownW
    g:add(dropDown(param, x + lw, y, w, kTextFieldH))
    local l = label(labelText, x, y, "right", lw, kTextFieldH)
    setLabelColour(l)
    g:add(l)
end

-- 9. The knob renderers, cut out of the atlas. The atlas is 128 pixels
-- high; the positions are written as 128 minus the distance of the image's
-- far edge from the atlas's bottom.

createKnobRenderers = createKnobRenderers or function()
    local atlas = texture("buttons.png")
    tinyKnobRenderer = arcKnobRenderer(atlas, 2, 128 - 100 - 26, 26, 32, 128 - 100 - 26)
    smallKnobRenderer = arcKnobRenderer(atlas, 2, 128 - 2 - 34, 34, 2, 128 - 42 - 34)
    bigKnobRenderer = arcKnobRenderer(atlas, 52, 128 - 2 - 92, 92, 162, 128 - 2 - 92)
end

-- 10. What every layout starts with: renderers, colours, the banner along
-- the top and the Prefs button in the top right corner.

createUICommon = createUICommon or function()
    createKnobRenderers()
    setUIColours()
    local ww, wh = getWindowSize()
    local prefsW = kKnobSize + 20
    local prefsH = 25
    local prefsX = ww - prefsW - windowEdgePad
    setBannerBounds(pad, wh - 25, prefsX - pad, wh - 10)
    setBannerContent("full", 60, -1)
    add(button("Prefs", "Prefs", prefsX, wh - 25 - windowEdgePad, prefsW, prefsH))
end
