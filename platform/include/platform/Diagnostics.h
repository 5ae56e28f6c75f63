#pragma once
// Messages for the user and for developers: modal boxes, and one channel
// for every line the plug-in has to say.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

// ---- Reports: the one channel for what the plug-in has to say ------------------------

enum class ReportLevel { kInfo, kWarning, kError };

struct Report {
    std::uint64_t serial = 0;  // 1 for the first report of the process
    ReportLevel level = ReportLevel::kInfo;
    // The instance the line concerns (its plug-in object), or null for the
    // whole plug-in: an editor shows its own instance's and the shared ones.
    const void* source = nullptr;
    std::string line;  // without its newline
    // What the line is about, for a later resolve(); null for nothing
    // in particular. A static text.
    const char* topic = nullptr;
    // Set on the entries resolve() makes: what was said under `topic` for
    // `source` no longer holds.
    bool resolves = false;
};

// How many of the newest reports are kept for the editor to show.
inline constexpr std::size_t kRecentReports = 64;

// Says one line: to the debugger output (Windows) or standard error (Linux),
// or to the installed sink, and into the bounded log of recent reports. A
// trailing newline is taken off; the line is otherwise kept as given.
// [any-thread except audio: it locks and allocates]
void report(ReportLevel level, const std::string& line, const void* source = nullptr,
            const char* topic = nullptr);
// Says that what was reported under `topic` for `source` no longer holds (a
// port that is open now, a device that is there again): an editor stops
// showing it. Goes into the log of recent reports only; no output, no sink.
// [any-thread except audio]
void resolve(const char* topic, const void* source);
// The same, formatted as by printf.
void reportf(ReportLevel level, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// The reports kept whose serial is above `after`, oldest first. [any-thread
// except audio]
std::vector<Report> recentReports(std::uint64_t after = 0);
// The serial of the newest report so far (0 before the first): a reader
// that wants only what is said from now on remembers it. A new instance
// does, since its address may be that of one gone before it. [any-thread
// except audio]
std::uint64_t lastReportSerial();

// Receives every report instead of the system's output while installed (the
// log of recent reports still keeps them), so that tests read what was said
// rather than capture a stream. Null restores the system's output; a sink
// is called with the channel's lock held and must not report itself.
class ReportSink {
public:
    virtual ~ReportSink() = default;
    virtual void reported(const Report& report) = 0;
};
void installReportSink(ReportSink* sink);

}  // namespace platform
