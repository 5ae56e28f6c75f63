-- Midnight: a dark skin for tavro, and an example of making one.
--
-- A skin's gui.lua runs before the built-in scripts. Whatever it defines
-- here wins; everything it leaves out comes from the built-in gui.lua and
-- gui_qx4controller.lua. Any function of those two can be replaced this way.

-- A little taller than the built-in 1000 x 450: the banner and the Prefs
-- button follow the window's top edge, the groups stay at the bottom.
getWindowSize = function()
    return 1000, 480
end

-- Window, banner and group frames.
setUIColours = function()
    setBackgroundColour(0.08, 0.09, 0.14)
    setBannerColour(0.0, 0.0, 0.0, 0.45)
    setBannerTextColour(0.95, 0.75, 0.35, 1.0)
    setGroupActiveColour(1.0, 0.7, 0.3, 1.0)
    setGroupInactiveColour(0.45, 0.5, 0.65, 1.0)
end

-- The labels under the knobs and drop-downs.
setLabelColour = function(l)
    l:setBackgroundColour(0.0, 0.0, 0.0, 0.35)
    l:setForegroundColour(0.8, 0.85, 1.0, 1.0)
end
