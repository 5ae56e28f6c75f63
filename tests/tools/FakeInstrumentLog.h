#pragma once
// What the fake instrument (FakeInstrument.cpp) recorded, parsed: every block
// with the transport it read, every event with its absolute sample.

#include "host/VstHost.h"
#include "render/Renderer.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace fake {

using render::ScheduledEvent;

constexpr VstInt32 kLogRequest = vstFourCC('l', 'o', 'g', ' ');

struct Block {
    long long start;
    int frames;
    double samplePos, ppq, tempo, barStart;
    int numerator, denominator, flags;
    double cycleStart, cycleEnd;
};

struct Log {
    std::vector<std::string> lines;
    std::vector<Block> blocks;
    std::vector<ScheduledEvent> events;
};

// The fake instrument's record, parsed.
inline Log readLog(host::VstHost& plugin) {
    std::string text;
    plugin.dispatch(effVendorSpecific, kLogRequest, 0, &text);
    Log log;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        log.lines.push_back(line);
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "block") {
            Block b{};
            words >> b.start >> b.frames >> b.samplePos >> b.ppq >> b.tempo >> b.barStart >>
                b.numerator >> b.denominator >> b.flags >> b.cycleStart >> b.cycleEnd;
            log.blocks.push_back(b);
        } else if (kind == "event") {
            ScheduledEvent e{};
            words >> e.sample;
            std::string hex;
            while (words >> hex)
                e.bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex, nullptr, 16)));
            log.events.push_back(e);
        }
    }
    return log;
}

inline std::unique_ptr<host::VstHost> loadFake() {
    auto plugin = std::make_unique<host::VstHost>();
    std::string error;
    EXPECT_TRUE(plugin->load(TAVRO_FAKE_INSTRUMENT, error)) << error;
    return plugin;
}

}  // namespace fake
