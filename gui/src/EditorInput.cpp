#include "gui/EditorInput.h"

namespace QX {

bool InputQueue::Push(const InputEvent& event) {
    std::lock_guard<std::mutex> guard(mutex_);
    // Only the latest of a run of movements matters; a drag keeps its
    // modifiers, so a change of them starts a new entry.
    if (event.kind == InputEvent::Kind::kPointerMoved && !events_.empty()) {
        InputEvent& last = events_.back();
        if (last.kind == InputEvent::Kind::kPointerMoved && last.modifiers == event.modifiers) {
            last = event;
            return true;
        }
    }
    if (events_.size() >= kCapacity) {
        ++dropped_;
        return false;
    }
    events_.push_back(event);
    ++accepted_;
    return true;
}

void InputQueue::TakeAll(std::vector<InputEvent>& into) {
    into.clear();
    std::lock_guard<std::mutex> guard(mutex_);
    // The two vectors trade their storage: neither allocates once both
    // have held kCapacity events.
    into.swap(events_);
    if (events_.capacity() < kCapacity)
        events_.reserve(kCapacity);
}

std::uint64_t InputQueue::Accepted() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return accepted_;
}

std::uint64_t InputQueue::Dropped() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return dropped_;
}

}  // namespace QX
