-- The built-in MIDI script. A file named midi.lua in the user's Scripts
-- folder replaces it.

-- Scales offered to the plug-in: degrees in semitones, 1 = root.
addScale("Major", {1, 3, 5, 6, 8, 10, 12})
addScale("Harmonic Minor", {1, 3, 4, 6, 8, 9, 12})
addScale("Melodic Minor ^", {1, 3, 4, 6, 8, 10, 12})
addScale("Melodic Minor v", {1, 3, 4, 6, 8, 9, 11})
addScale("Dorian", {1, 3, 4, 6, 8, 10, 11})
addScale("Phrygian", {1, 2, 4, 6, 8, 9, 11})
addScale("Lydian", {1, 3, 5, 7, 8, 10, 12})
addScale("Mixolydian", {1, 3, 5, 6, 8, 10, 11})
addScale("Locrian", {1, 2, 4, 6, 7, 9, 11})
addScale("Pentatonic Maj", {1, 3, 5, 8, 10})
addScale("Pentatonic Min", {1, 4, 6, 8, 11})
addScale("Octaves", {1})
