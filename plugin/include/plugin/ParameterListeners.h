#pragma once
// Process-wide parameter listeners, called with (plug-in, index, native
// value) whenever any instance's parameter is set. Guarded by the registry
// lock. No part of this plug-in registers one; the list exists for the
// shared registry of the product family.

class ZephAuBase;

using ParameterListenerProc = void (*)(ZephAuBase* plugin, int index, float native);

void addParameterListener(ParameterListenerProc listener);
void removeParameterListener(ParameterListenerProc listener);
// Calls every listener under the registry lock. Takes no lock when there
// is no listener, so a host that automates from its audio thread never
// waits here.
void callParameterListeners(ZephAuBase* plugin, int index, float native);
