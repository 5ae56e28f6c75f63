#pragma once
// Tests: what the plug-in reports while one of these lives, as text (one
// line each, newline-terminated), instead of on standard error.

#include <mutex>
#include <string>

#include "platform/Diagnostics.h"

namespace platform::testing {

class CapturedReports : public ReportSink {
public:
    CapturedReports() { installReportSink(this); }
    ~CapturedReports() override { installReportSink(nullptr); }
    CapturedReports(const CapturedReports&) = delete;
    CapturedReports& operator=(const CapturedReports&) = delete;

    void reported(const Report& report) override {
        std::lock_guard<std::mutex> hold(mutex_);
        text_ += report.line + "\n";
    }
    // What was said so far; Take() also forgets it.
    std::string Text() const {
        std::lock_guard<std::mutex> hold(mutex_);
        return text_;
    }
    std::string Take() {
        std::lock_guard<std::mutex> hold(mutex_);
        std::string said;
        said.swap(text_);
        return said;
    }

private:
    mutable std::mutex mutex_;
    std::string text_;
};

}  // namespace platform::testing
