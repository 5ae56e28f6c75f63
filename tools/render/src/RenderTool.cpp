#include "render/RenderTool.h"

#include "host/ParameterByName.h"
#include "host/VstHost.h"
#include "platform/MemoryMidiInput.h"
#include "plugin/VendorRequests.h"
#include "render/BlockSizer.h"
#include "render/HostMidiInputExport.h"
#include "render/LoopbackCable.h"
#include "render/MidiFile.h"
#include "render/MidiSource.h"
#include "render/Renderer.h"
#include "render/TempoMap.h"
#include "render/Transport.h"

#include <sndfile.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>

namespace render {

namespace {

const char kUsage[] =
    "usage: tavro-render PLUGIN MIDIFILE OUT.wav [options]\n"
    "Plays a Standard MIDI File into a VST 2.4 plug-in, with the file's tempo map\n"
    "as the host transport, and writes the plug-in's first output to a mono WAV.\n"
    "\n"
    "  --rate HZ                  sample rate (default 44100)\n"
    "  --block-size N             fixed block size (default 512)\n"
    "  --block-sizes A,B,C        block sizes used in turn\n"
    "  --random-blocks MIN-MAX    random block sizes in a range ...\n"
    "  --seed S                   ... from this seed (default 1)\n"
    "  --set \"Name=value\"         set a parameter before rendering, by its name as\n"
    "                             the plug-in gives it; repeatable. The plug-in\n"
    "                             reads the value as it shows its values (\"Omni\",\n"
    "                             \"Off\", \"-10\" in its units). For a plug-in that\n"
    "                             reads no value texts, a number from 0 to 1 is the\n"
    "                             host's normalized value (0 the lowest setting, 1\n"
    "                             the highest); any other value is looked for among\n"
    "                             the texts the parameter shows\n"
    "  --tempo BPM                tempo until the file's first tempo change\n"
    "                             (default 120)\n"
    "  --time-signature N/D       time signature until the file's first one\n"
    "                             (default 4/4)\n"
    "\n"
    "Transport (positions in quarter notes from the start of the file):\n"
    "  --start Q                  start playing at Q; events before it are not\n"
    "                             played (default 0)\n"
    "  --loop FROM-TO             loop from FROM to TO: at TO the song jumps back\n"
    "                             to FROM, and the host reports the loop\n"
    "  --passes N                 play the loop N times (default 2), then go on\n"
    "  --stop-at Q                stop the transport at Q instead of the file's end\n"
    "  --tail SECONDS             render this long after the transport stops, with\n"
    "                             the transport stopped (default 1)\n"
    "\n"
    "Output:\n"
    "  --format F                 float (32-bit, default), pcm16 or pcm24\n"
    "  --events FILE              also write the events played, one line each:\n"
    "                             event<TAB>sample<TAB>hex bytes, at the sample\n"
    "                             they were rendered on\n"
    "\n"
    "Test input:\n"
    "  --midi-source NAME         the MIDI input device the plug-in's test listens\n"
    "                             on (put into its saved state and restored)\n"
    "  --loopback NAME            wire the output back into the plug-in: it sees one\n"
    "                             input device, NAME, which it listens on, and every\n"
    "                             message decoded from a block arrives there before\n"
    "                             the next block (needs a rate of 31250 or more)\n"
    "  --cable-fault F@N          damage the Nth message (from 0) on the way back:\n"
    "                             lose-byte (its last byte is lost), flip-bit (bit 0\n"
    "                             of its last data byte flips) or extra-message (it\n"
    "                             arrives twice); repeatable\n"
    "  --cable-delay MS[,JITTER]  every message arrives MS milliseconds after its\n"
    "                             last stop bit, plus up to JITTER more (the same\n"
    "                             every run), in order; each up to 10000\n"
    "  At the end the tool says how many messages went through the cable, whether\n"
    "  the plug-in listened, which faults it injected, and the round trip the\n"
    "  plug-in measured (a block's length is its resolution).\n";

struct Options {
    std::string plugin;
    std::string midi;
    std::string out;
    double rate = 44100.0;
    std::optional<BlockSizer> blocks;
    bool randomBlocks = false;
    int randomMin = 0;
    int randomMax = 0;
    std::uint32_t seed = 1;
    bool seedGiven = false;
    // "Name=value" as given, and split.
    struct Setting {
        std::string text, name, value;
    };
    std::vector<Setting> parameters;
    double tail = 1.0;
    TempoMap::Defaults meter;
    std::optional<double> start;
    std::optional<double> stopAt;
    bool loop = false;
    double loopFrom = 0.0;
    double loopTo = 0.0;
    std::optional<int> passes;
    int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    std::string events;
    std::string midiSource;
    std::string loopback;
    std::vector<CableFault> faults;
    std::optional<CableDelay> cableDelay;
};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

double parseNumber(const std::string& option, const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v))
        throw UsageError(option + " wants a number, not '" + text + "'");
    return v;
}

long parseWhole(const std::string& option, const std::string& text, long minimum, long maximum) {
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || errno != 0 || end != text.c_str() + text.size() || v < minimum ||
        v > maximum)
        throw UsageError(option + " wants a whole number from " + std::to_string(minimum) + " to " +
                         std::to_string(maximum) + ", not '" + text + "'");
    return v;
}

double parsePosition(const std::string& option, const std::string& text) {
    const double q = parseNumber(option, text);
    if (q < 0.0 || q > 1e6)
        throw UsageError(option + " wants quarter notes from 0, not '" + text + "'");
    return q;
}

// Far beyond any host's block, and still a VstInt32 frame count.
constexpr long kMaxBlock = 1 << 20;

Options parseArguments(const std::vector<std::string>& args) {
    Options o;
    std::vector<std::string> positional;
    int blockOptions = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size())
                throw UsageError(a + " needs a value");
            return args[++i];
        };
        if (a == "--rate") {
            o.rate = static_cast<double>(parseWhole(a, value(), 1000, 1000000));
        } else if (a == "--block-size") {
            o.blocks = BlockSizer::fixed(static_cast<int>(parseWhole(a, value(), 1, kMaxBlock)));
            ++blockOptions;
        } else if (a == "--block-sizes") {
            const std::string list = value();
            std::vector<int> sizes;
            std::size_t start = 0;
            for (;;) {
                const auto comma = list.find(',', start);
                sizes.push_back(static_cast<int>(
                    parseWhole(a, list.substr(start, comma - start), 1, kMaxBlock)));
                if (comma == std::string::npos)
                    break;
                start = comma + 1;
            }
            o.blocks = BlockSizer::cycle(sizes);
            ++blockOptions;
        } else if (a == "--random-blocks") {
            const std::string range = value();
            const auto dash = range.find('-');
            if (dash == std::string::npos)
                throw UsageError("--random-blocks wants MIN-MAX, not '" + range + "'");
            o.randomMin = static_cast<int>(parseWhole(a, range.substr(0, dash), 1, kMaxBlock));
            o.randomMax = static_cast<int>(parseWhole(a, range.substr(dash + 1), 1, kMaxBlock));
            if (o.randomMax < o.randomMin)
                throw UsageError("--random-blocks: MIN must not exceed MAX");
            o.randomBlocks = true;
            ++blockOptions;
        } else if (a == "--seed") {
            o.seed = static_cast<std::uint32_t>(parseWhole(a, value(), 0, 0xFFFFFFFFL));
            o.seedGiven = true;
        } else if (a == "--set") {
            Options::Setting setting;
            setting.text = value();
            if (!host::splitParameterSetting(setting.text, setting.name, setting.value))
                throw UsageError("parameter setting '" + setting.text +
                                 "' is not of the form Name=value");
            o.parameters.push_back(setting);
        } else if (a == "--tempo") {
            o.meter.tempoBpm = parseNumber(a, value());
            if (o.meter.tempoBpm < 1.0 || o.meter.tempoBpm > 1000.0)
                throw UsageError("--tempo wants beats per minute from 1 to 1000");
        } else if (a == "--time-signature") {
            const std::string text = value();
            const auto slash = text.find('/');
            if (slash == std::string::npos)
                throw UsageError("--time-signature wants N/D, not '" + text + "'");
            o.meter.numerator = static_cast<int>(parseWhole(a, text.substr(0, slash), 1, 64));
            o.meter.denominator = static_cast<int>(parseWhole(a, text.substr(slash + 1), 1, 64));
            if ((o.meter.denominator & (o.meter.denominator - 1)) != 0)
                throw UsageError("--time-signature: the denominator is a power of two");
        } else if (a == "--events") {
            o.events = value();
        } else if (a == "--start") {
            o.start = parsePosition(a, value());
        } else if (a == "--stop-at") {
            o.stopAt = parsePosition(a, value());
        } else if (a == "--loop") {
            const std::string range = value();
            const auto dash = range.find('-');
            if (dash == std::string::npos)
                throw UsageError("--loop wants FROM-TO in quarter notes, not '" + range + "'");
            o.loopFrom = parsePosition(a, range.substr(0, dash));
            o.loopTo = parsePosition(a, range.substr(dash + 1));
            if (o.loopTo <= o.loopFrom)
                throw UsageError("--loop " + range + ": the loop must end after it starts");
            o.loop = true;
        } else if (a == "--passes") {
            o.passes = static_cast<int>(parseWhole(a, value(), 1, Transport::kMaxPasses));
        } else if (a == "--midi-source") {
            o.midiSource = value();
            if (o.midiSource.empty())
                throw UsageError("--midi-source wants a device name");
        } else if (a == "--loopback") {
            o.loopback = value();
            if (o.loopback.empty())
                throw UsageError("--loopback wants a device name");
        } else if (a == "--cable-fault") {
            try {
                o.faults.push_back(parseCableFault(value()));
            } catch (const std::invalid_argument& e) {
                throw UsageError(e.what());
            }
        } else if (a == "--cable-delay") {
            try {
                o.cableDelay = parseCableDelay(value());
            } catch (const std::invalid_argument& e) {
                throw UsageError(e.what());
            }
        } else if (a == "--tail") {
            o.tail = parseNumber(a, value());
            if (o.tail < 0.0 || o.tail > 3600.0)
                throw UsageError("--tail wants seconds from 0 to 3600");
        } else if (a == "--format") {
            const std::string f = value();
            if (f == "float")
                o.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
            else if (f == "pcm16")
                o.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
            else if (f == "pcm24")
                o.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
            else
                throw UsageError("--format is float, pcm16 or pcm24, not '" + f + "'");
        } else if (a.size() > 1 && a[0] == '-') {
            throw UsageError("unknown option '" + a + "'");
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 3)
        throw UsageError(positional.size() < 3 ? "PLUGIN, MIDIFILE and OUT.wav are needed"
                                               : "too many arguments ('" + positional[3] + "')");
    if (blockOptions > 1)
        throw UsageError("give one of --block-size, --block-sizes and --random-blocks");
    if (o.seedGiven && !o.randomBlocks)
        throw UsageError("--seed goes with --random-blocks");
    if (o.passes && !o.loop)
        throw UsageError("--passes goes with --loop");
    if (o.start && o.stopAt && *o.stopAt <= *o.start)
        throw UsageError("--stop-at must come after --start");
    if (!o.faults.empty() && o.loopback.empty())
        throw UsageError("--cable-fault goes with --loopback");
    if (o.cableDelay && o.loopback.empty())
        throw UsageError("--cable-delay goes with --loopback");
    if (!o.loopback.empty() && !o.midiSource.empty() && o.midiSource != o.loopback)
        throw UsageError(
            "--midi-source and --loopback name different devices; with --loopback the "
            "plug-in sees the cable's device only");
    if (!o.loopback.empty() && o.rate < serialmidi::kMinimumSampleRate)
        throw UsageError("--loopback needs --rate 31250 or more, to read the output back");
    if (o.randomBlocks)
        o.blocks = BlockSizer::random(o.randomMin, o.randomMax, o.seed);
    if (!o.blocks)
        o.blocks = BlockSizer::fixed(512);
    o.plugin = positional[0];
    o.midi = positional[1];
    o.out = positional[2];
    return o;
}

struct SndfileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

// A progress line every two seconds of wall time once a render takes that
// long: in place on a terminal, one line each otherwise (logs, CI).
class Progress {
public:
    Progress(std::ostream& err, bool terminal)
        : err_(err), terminal_(terminal), last_(std::chrono::steady_clock::now()) {}
    ~Progress() {
        if (shown_ && terminal_)
            err_ << "\n";
    }
    void update(std::int64_t done, std::int64_t total, double rate) {
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < std::chrono::seconds(2) && done < total)
            return;
        if (done >= total && !shown_)
            return;
        last_ = now;
        shown_ = true;
        char line[128];
        std::snprintf(
            line, sizeof line, "tavro-render: %5.1f%%  %.1f of %.1f s",
            total > 0 ? 100.0 * static_cast<double>(done) / static_cast<double>(total) : 100.0,
            static_cast<double>(done) / rate, static_cast<double>(total) / rate);
        if (terminal_)
            err_ << "\r" << line << std::flush;
        else
            err_ << line << "\n";
    }

private:
    std::ostream& err_;
    bool terminal_;
    std::chrono::steady_clock::time_point last_;
    bool shown_ = false;
};

// What went through the loop-back cable and what was done to it.
void reportCable(std::ostream& err, const std::string& name, const LoopbackCable& cable,
                 const std::string& roundTrip) {
    const std::string prefix = "tavro-render: loop-back '" + name + "': ";
    err << prefix << cable.messagesSent() << " message(s) went through the cable; ";
    if (cable.messagesSent() == 0)
        err << "the plug-in sent nothing (is Test Enable on?)\n";
    else if (cable.messagesHeard() == cable.messagesSent())
        err << "the plug-in listened to all of them\n";
    else if (cable.messagesHeard() == 0)
        err << "none reached the plug-in, which did not listen\n";
    else
        err << "the plug-in listened to " << cable.messagesHeard() << " of them\n";
    if (cable.messagesInFlight() > 0)
        err << prefix << cable.messagesInFlight()
            << " message(s) were still on their way when the render ended\n";
    if (!roundTrip.empty())
        err << prefix << roundTrip << "\n";
    for (const std::string& fault : cable.injected())
        err << prefix << "injected " << fault << "\n";
    for (const CableFault& fault : cable.pending())
        err << prefix << "not injected (only " << cable.messagesDecoded()
            << " message(s) were decoded): " << cableFaultText(fault) << "\n";
    if (cable.bytesDropped() > 0)
        err << prefix << "the far end dropped " << cable.bytesDropped()
            << " byte(s) of cut-short messages\n";
    if (cable.framingErrors() > 0)
        err << prefix << cable.framingErrors() << " byte(s) of the output were badly framed\n";
}

}  // namespace

int runRenderTool(const std::vector<std::string>& args, std::ostream& err, bool errIsTerminal) {
    for (const std::string& a : args) {
        if (a == "-h" || a == "--help") {
            err << kUsage;
            return kRenderOk;
        }
    }
    Options o;
    try {
        o = parseArguments(args);
    } catch (const UsageError& e) {
        err << "tavro-render: " << e.what() << "\n" << kUsage;
        return kRenderUsage;
    }

    std::optional<MidiFile> midi;
    try {
        midi = MidiFile::load(o.midi);
    } catch (const MidiFileError& e) {
        err << "tavro-render: " << o.midi << ": " << e.what() << "\n";
        return kRenderInputError;
    }
    for (const std::string& w : midi->warnings())
        err << "tavro-render: " << o.midi << ": warning: " << w << "\n";

    const TempoMap map(*midi, o.meter);
    const Schedule schedule = scheduleEvents(*midi, map, o.rate);
    if (schedule.droppedBytes > 0)
        err << "tavro-render: " << o.midi << ": warning: " << schedule.droppedBytes
            << " escaped byte(s) formed no MIDI message and were left out\n";

    // The transport plays to one sample past the file's last event unless
    // told to stop earlier.
    Transport transport(map, o.rate);
    const std::int64_t fileEnd = schedule.endSample + 1;
    const double fileEndPpq =
        static_cast<double>(midi->endTick()) / static_cast<double>(midi->ticksPerQuarter());
    const std::int64_t start = o.start ? transport.sampleAtPpq(*o.start) : 0;
    std::int64_t stop = fileEnd;
    if (start >= fileEnd) {
        err << "tavro-render: --start " << *o.start << " is not before the end of " << o.midi
            << " (quarter " << fileEndPpq << ")\n";
        return kRenderUsage;
    }
    if (o.stopAt) {
        stop = transport.sampleAtPpq(*o.stopAt);
        if (stop > fileEnd) {
            err << "tavro-render: --stop-at " << *o.stopAt << " lies past the end of " << o.midi
                << " (quarter " << fileEndPpq << ")\n";
            return kRenderUsage;
        }
        if (stop <= start) {
            err << "tavro-render: --stop-at " << *o.stopAt << " must come after the start\n";
            return kRenderUsage;
        }
    }
    try {
        transport.setPlayRange(start, stop);
        if (o.loop)
            transport.setLoop(o.loopFrom, o.loopTo, o.passes.value_or(2));
    } catch (const std::invalid_argument& e) {
        err << "tavro-render: " << e.what() << "\n";
        return kRenderUsage;
    }
    const auto tailSamples = static_cast<std::int64_t>(std::llround(o.tail * o.rate));
    const std::int64_t total = transport.playLength() + tailSamples;

    // The cable's far end, offered to the plug-in before it is loaded and
    // withdrawn only after it is closed (the host below goes first).
    platform::MemoryMidiInputSystem cableEnd;
    std::optional<HostMidiInputExport> offered;
    if (!o.loopback.empty()) {
        cableEnd.addDevice(o.loopback);
        offered.emplace(cableEnd);
    }

    host::VstHost plugin;
    std::string error;
    if (!plugin.load(o.plugin, error)) {
        err << "tavro-render: " << error << "\n";
        return kRenderPluginError;
    }
    plugin.dispatch(effOpen);
    if (plugin.effect()->numOutputs < 1) {
        err << "tavro-render: " << o.plugin << " has no audio output\n";
        return kRenderPluginError;
    }
    // Known only now that the plug-in tells its parameters; a setting it
    // does not take is the user's to correct, as any other usage mistake.
    for (const Options::Setting& p : o.parameters) {
        if (!host::setParameterByName(plugin, p.name, p.value, error)) {
            err << "tavro-render: --set \"" << p.text << "\": " << error << "\n";
            return kRenderUsage;
        }
    }
    const std::string source = o.midiSource.empty() ? o.loopback : o.midiSource;
    if (!source.empty() && !setMidiSource(plugin, source)) {
        err << "tavro-render: " << o.plugin
            << " keeps no state chunk: its MIDI source cannot be set\n";
        return kRenderPluginError;
    }
    if (!o.loopback.empty() && !cableEnd.isOpen(0))
        err << "tavro-render: warning: the plug-in did not open '" << o.loopback
            << "': what comes back through the cable reaches nobody\n";

    SF_INFO info{};
    info.samplerate = static_cast<int>(o.rate);
    info.channels = 1;
    info.format = o.format;
    std::unique_ptr<SNDFILE, SndfileCloser> wav(sf_open(o.out.c_str(), SFM_WRITE, &info));
    if (!wav) {
        err << "tavro-render: cannot write '" << o.out << "': " << sf_strerror(nullptr) << "\n";
        return kRenderInputError;
    }
    // Integer formats: clip rather than wrap what lies outside -1..1.
    sf_command(wav.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);

    std::ofstream eventList;
    if (!o.events.empty()) {
        eventList.open(o.events);
        if (!eventList) {
            err << "tavro-render: cannot write '" << o.events << "'\n";
            return kRenderInputError;
        }
    }

    std::optional<LoopbackCable> cable;
    if (!o.loopback.empty()) {
        cable.emplace(
            o.rate, o.faults,
            [&cableEnd](const std::uint8_t* bytes, std::size_t n) {
                return cableEnd.send(0, bytes, n);
            },
            o.cableDelay.value_or(CableDelay{}));
    }

    bool writeFailed = false;
    Progress progress(err, errIsTerminal);
    Renderer renderer(plugin, o.rate, *o.blocks);
    if (eventList.is_open()) {
        // The events as played, at their rendered sample: after a start or
        // a loop that is not their place in the file.
        renderer.setEventCallback([&eventList](std::int64_t sample, const ScheduledEvent& e) {
            static const char kHex[] = "0123456789ABCDEF";
            eventList << "event\t" << sample << "\t";
            for (std::size_t i = 0; i < e.bytes.size(); ++i)
                eventList << (i ? " " : "") << kHex[e.bytes[i] >> 4] << kHex[e.bytes[i] & 15];
            eventList << "\n";
        });
    }
    renderer.render(
        schedule, transport, total,
        [&](const float* samples, std::size_t frames, std::int64_t) {
            if (!writeFailed &&
                sf_writef_float(wav.get(), samples, static_cast<sf_count_t>(frames)) !=
                    static_cast<sf_count_t>(frames))
                writeFailed = true;
            if (cable)
                cable->feed(samples, frames);
        },
        [&](std::int64_t done, std::int64_t all) { progress.update(done, all, o.rate); });
    // The plug-in's own measurement, in the words its test view uses; a
    // plug-in that does not know the request leaves the line out.
    std::string roundTrip;
    if (cable && !plugin.vendorText(kVendorRoundTripText, roundTrip))
        roundTrip.clear();
    plugin.close();

    if (cable)
        reportCable(err, o.loopback, *cable, roundTrip);
    if (writeFailed || sf_close(wav.release()) != 0) {
        err << "tavro-render: writing '" << o.out << "' failed (disk full?)\n";
        return kRenderInputError;
    }
    if (eventList.is_open() && !eventList.flush()) {
        err << "tavro-render: writing '" << o.events << "' failed (disk full?)\n";
        return kRenderInputError;
    }
    return kRenderOk;
}

}  // namespace render
