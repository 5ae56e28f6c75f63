#pragma once
// Errors raised by script callbacks on the audio thread, handed to a thread
// that may say them: the audio thread counts every one and keeps the text of
// the first while none is waiting, in a fixed buffer behind an atomic flag.
// Nothing on the audio thread's side allocates, locks or calls the system.

#include <atomic>
#include <cstddef>
#include <string>

namespace QX {

class CallbackErrorMailbox {
public:
    // A longer error text is cut short; the script's name and line come first.
    static constexpr std::size_t kTextBytes = 256;

    // [audio-thread, lock-free; allocates nothing] One more error, with its
    // text (Lua's message, null for none).
    void record(const char* text) noexcept;

    // [any-thread except audio; one taker at a time] The errors recorded
    // since the last take: false when there were none, else their number and
    // the text of the first one whose text was kept (empty when the only
    // ones counted arrived while an earlier text was still waiting).
    bool take(std::string& firstText, long& count);

private:
    enum : int { kEmpty, kWriting, kFull };

    std::atomic<long> recorded_{0};
    std::atomic<int> slot_{kEmpty};
    char text_[kTextBytes] = {};
    // The taker's own.
    long taken_ = 0;
    std::string pending_;
};

// Lua's "…/Scripts/echo.lua:12: attempt to call a nil value" as the user
// knows the script: `where` "echo.lua, line 12" and `what` "attempt to call
// a nil value". A text that names no line is all `what`, `where` empty.
void splitScriptError(const std::string& luaMessage, std::string& where, std::string& what);

}  // namespace QX
