#include "script/CallbackErrorMailbox.h"

#include <cctype>

namespace QX {

void CallbackErrorMailbox::record(const char* text) noexcept {
    int expected = kEmpty;
    if (text && slot_.compare_exchange_strong(expected, kWriting, std::memory_order_acquire)) {
        std::size_t n = 0;
        while (n + 1 < kTextBytes && text[n] != '\0') {
            text_[n] = text[n];
            ++n;
        }
        text_[n] = '\0';
        slot_.store(kFull, std::memory_order_release);
    }
    // Counted after the text is in place: a taker that sees the count finds
    // the text of the first error it covers.
    recorded_.fetch_add(1, std::memory_order_release);
}

bool CallbackErrorMailbox::take(std::string& firstText, long& count) {
    // The count first: every text kept for an error it covers is then in the
    // slot, so a text never waits behind a count already handed out (it
    // would then never be said).
    const long recorded = recorded_.load(std::memory_order_acquire);
    if (slot_.load(std::memory_order_acquire) == kFull) {
        // Held here until its count arrives; the slot is free for the next.
        if (pending_.empty())
            pending_ = text_;
        slot_.store(kEmpty, std::memory_order_release);
    }
    if (recorded == taken_)
        return false;
    count = recorded - taken_;
    taken_ = recorded;
    firstText.swap(pending_);
    pending_.clear();
    return true;
}

void splitScriptError(const std::string& luaMessage, std::string& where, std::string& what) {
    // The chunk name ends at the first ":<digits>:".
    for (std::size_t colon = luaMessage.find(':'); colon != std::string::npos;
         colon = luaMessage.find(':', colon + 1)) {
        std::size_t end = colon + 1;
        while (end < luaMessage.size() && std::isdigit(static_cast<unsigned char>(luaMessage[end])))
            ++end;
        if (end == colon + 1 || end >= luaMessage.size() || luaMessage[end] != ':')
            continue;
        const std::string chunk = luaMessage.substr(0, colon);
        const std::size_t slash = chunk.find_last_of("/\\");
        std::string name = slash == std::string::npos ? chunk : chunk.substr(slash + 1);
        // Lua shortens a long path from the front with "..."; a chunk loaded
        // from memory is named [string "name"].
        if (name.compare(0, 3, "...") == 0)
            name.erase(0, 3);
        if (name.compare(0, 9, "[string \"") == 0 && name.size() > 11 &&
            name.compare(name.size() - 2, 2, "\"]") == 0)
            name = name.substr(9, name.size() - 11);
        where = name + ", line " + luaMessage.substr(colon + 1, end - colon - 1);
        what = luaMessage.substr(end + 1);
        if (!what.empty() && what.front() == ' ')
            what.erase(0, 1);
        return;
    }
    where.clear();
    what = luaMessage;
}

}  // namespace QX
