#pragma once
// Input on its way to the editor's element tree. The window system's thread
// (Windows: the host's user-interface thread; Linux: the render thread,
// which reads the window's X connection) and the host's own key calls only
// translate what happened into InputEvent values and put them here; the
// render thread, which owns the element tree, takes them and handles them
// in order. No element is touched by the thread that posts.

#include <cstdint>
#include <mutex>
#include <vector>

namespace QX {

struct InputEvent {
    enum class Kind : std::uint8_t {
        kButtonDown,
        kButtonUp,
        kPointerMoved,
        kWheel,
        kKey,
        kFocusLost,
        kExposed,
    };
    explicit InputEvent(Kind kind = Kind::kExposed, int x = 0, int y = 0, int modifiers = 0)
        : kind(kind), x(x), y(y), modifiers(modifiers) {}

    Kind kind;
    // Client pixels of the window, y running downwards (as the window
    // systems give them).
    int x = 0, y = 0;
    int modifiers = 0;
    int clickCount = 0;
    // 120 per wheel notch away from the user.
    int delta = 0;
    // A key: the character an element gets, the character before the last
    // mapping (host keys), the system's key code, and the character a
    // dialog panel gets (Escape, Tab and Space as themselves).
    int character = 0, mappedCharacter = 0, virtualKey = 0, panelCharacter = 0;
};

// Bounded: a render thread that stalls (a skin's script running long) must
// not let a stream of pointer movements grow without end. Movements are
// merged into the one before them; anything else that finds the queue full
// is dropped and counted.
class InputQueue {
public:
    static constexpr std::size_t kCapacity = 256;

    InputQueue() { events_.reserve(kCapacity); }

    // [any thread but audio] False when the event was dropped.
    bool Push(const InputEvent& event);
    // [render-thread] Moves every queued event, oldest first, into `into`
    // (cleared first).
    void TakeAll(std::vector<InputEvent>& into);
    // [any-thread] Events pushed (merged movements count once) and dropped
    // since the queue was made.
    std::uint64_t Accepted() const;
    std::uint64_t Dropped() const;

private:
    mutable std::mutex mutex_;
    std::vector<InputEvent> events_;
    std::uint64_t accepted_ = 0;
    std::uint64_t dropped_ = 0;
};

}  // namespace QX
