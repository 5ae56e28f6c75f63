#pragma once
// Mesa unloads its GL driver when the last connection that used it closes,
// and what the driver allocated for itself at load time is then reported
// by the leak checker, once per load, from an unknown module. Tests that
// open and close GL windows again and again keep the driver loaded once it
// is in (as a host does while any GL window is open), so that leaks of
// their own code stand out.

namespace testsupport {

// Pins every GL driver loaded so far; call after the first context.
void KeepGlDriverLoaded();

}  // namespace testsupport
