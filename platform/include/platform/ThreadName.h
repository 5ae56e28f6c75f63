#pragma once
// Names the calling thread, so that a host's crash report, a debugger or a
// process monitor shows which of the plug-in's threads is which (Linux keeps
// the first 15 characters).

namespace platform {

void nameThisThread(const char* name);

}  // namespace platform
