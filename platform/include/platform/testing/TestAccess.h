#pragma once
// For tests only: a look behind the platform layer's own interfaces, so that
// tests can check what a call left on the system without including an
// operating-system header themselves.

namespace platform::testsupport {

// Whether the product's preference key (Windows: the registry key
// HKCU\Software\Vantrell\com.vantrell.tavro; Linux: the preference file)
// exists.
bool productKeyExists();
// Removes it with all its values; nothing happens when it is absent.
void deleteProductKey();

// Sets an environment variable of this process as the platform layer reads
// it (getenv); null removes it.
void setEnvironmentVariable(const char* name, const char* value);

// What this process holds of the system, for tests that open and close
// things many times: threads; open file descriptors (Windows: kernel
// handles); window-system objects (Windows: USER and GDI objects; Linux:
// connections to the X server among the descriptors, counted separately).
int threadCount();
int openHandleCount();
int windowSystemObjectCount();

// Windows: has this thread's message loop, whichever runs then (a modal
// dialog's too), call `call` once after about `milliseconds`. As a host's
// window does when the user closes it while a dialog of its editor is open.
// False where the system has no such thing (Linux).
bool callFromThisThreadsMessageLoop(int milliseconds, void (*call)(void*), void* context);

}  // namespace platform::testsupport
