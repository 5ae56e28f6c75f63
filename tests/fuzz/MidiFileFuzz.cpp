// MIDI file reader: any bytes either parse or give a MidiFileError; what
// parses goes on through the tempo map and the event schedule.

#include "FuzzTarget.h"

#include "render/MidiFile.h"
#include "render/Renderer.h"
#include "render/TempoMap.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const render::MidiFile file = render::MidiFile::parse(data, size);
        const render::TempoMap map(file);
        const render::Schedule schedule = render::scheduleEvents(file, map, 44100.0);
        std::int64_t previous = 0;
        for (const render::ScheduledEvent& e : schedule.events) {
            if (e.sample < previous || e.bytes.empty())
                std::abort();
            previous = e.sample;
        }
        map.positionAtSample(schedule.endSample, 44100.0);
    } catch (const render::MidiFileError& e) {
        if (e.offset() > size)
            std::abort();
    }
    return 0;
}
