#include "platform/Diagnostics.h"

#include <atomic>

#include "common/SystemServices.h"

namespace platform {
namespace {

// Read by whichever thread shows a message; the sink itself must outlive its
// installation (tests uninstall it before destroying it).
std::atomic<MessageBoxSink*> installedSink{nullptr};

}  // namespace

void installMessageBoxSink(MessageBoxSink* sink) {
    installedSink.store(sink, std::memory_order_release);
}

void showMessageBox(const std::string& caption, const std::string& text, MessageIcon icon) {
    if (MessageBoxSink* sink = installedSink.load(std::memory_order_acquire)) {
        sink->messageBox(caption, text);
        return;
    }
    detail::systemMessageBox(caption, text, icon);
}

}  // namespace platform
