#include "platform/Diagnostics.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>

#include "common/SystemServices.h"

namespace platform {
namespace {

// Read by whichever thread shows a message; the sink itself must outlive its
// installation (tests uninstall it before destroying it).
std::atomic<MessageBoxSink*> installedSink{nullptr};

// The channel's state: process-wide by nature, as the debugger output and
// standard error it stands for are.
struct ReportChannel {
    std::mutex mutex;
    std::deque<Report> recent;
    std::uint64_t serial = 0;
    ReportSink* sink = nullptr;
};

ReportChannel& channel() {
    // Destroyed when the library unloads, when no thread of ours is left to
    // report (a leaked one would be lost memory at every unload).
    static ReportChannel instance;
    return instance;
}

}  // namespace

void report(ReportLevel level, const std::string& line, const void* source, const char* topic) {
    Report r;
    r.level = level;
    r.source = source;
    r.topic = topic;
    r.line = line;
    while (!r.line.empty() && (r.line.back() == '\n' || r.line.back() == '\r'))
        r.line.pop_back();
    ReportChannel& c = channel();
    std::lock_guard<std::mutex> hold(c.mutex);
    r.serial = ++c.serial;
    if (c.sink != nullptr)
        c.sink->reported(r);
    else
        debugOutput((r.line + "\n").c_str());
    c.recent.push_back(std::move(r));
    if (c.recent.size() > kRecentReports)
        c.recent.pop_front();
}

void resolve(const char* topic, const void* source) {
    Report r;
    r.source = source;
    r.topic = topic;
    r.resolves = true;
    ReportChannel& c = channel();
    std::lock_guard<std::mutex> hold(c.mutex);
    r.serial = ++c.serial;
    c.recent.push_back(std::move(r));
    if (c.recent.size() > kRecentReports)
        c.recent.pop_front();
}

void reportf(ReportLevel level, const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    report(level, text);
}

std::vector<Report> recentReports(std::uint64_t after) {
    ReportChannel& c = channel();
    std::lock_guard<std::mutex> hold(c.mutex);
    std::vector<Report> newer;
    for (const Report& r : c.recent)
        if (r.serial > after)
            newer.push_back(r);
    return newer;
}

std::uint64_t lastReportSerial() {
    ReportChannel& c = channel();
    std::lock_guard<std::mutex> hold(c.mutex);
    return c.serial;
}

void installReportSink(ReportSink* sink) {
    ReportChannel& c = channel();
    std::lock_guard<std::mutex> hold(c.mutex);
    c.sink = sink;
}

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
