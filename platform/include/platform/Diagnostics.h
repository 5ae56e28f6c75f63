#pragma once
// Messages for the user and for developers.

#include <string>

namespace platform {

enum class MessageIcon { kNone, kExclamation };

// A modal message box with an OK button and no owner (MessageBoxA on
// Windows; standard error on Linux). [any-thread except audio]
void showMessageBox(const std::string& caption, const std::string& text,
                    MessageIcon icon = MessageIcon::kNone);

// Receives message boxes instead of the system while installed, so that
// tests neither block nor miss one. Null restores the system's.
class MessageBoxSink {
public:
    virtual ~MessageBoxSink() = default;
    virtual void messageBox(const std::string& caption, const std::string& text) = 0;
};
void installMessageBoxSink(MessageBoxSink* sink);

// Debugger output (OutputDebugStringA on Windows; standard error on Linux).
// The text is written as given, no newline added. [any-thread]
void debugOutput(const char* text);

}  // namespace platform
