#include "decode/DecodeTool.h"

#include "decode/MidiMessageAssembler.h"
#include "decode/ScopePlot.h"
#include "decode/SerialMidiDecoder.h"

#include <sndfile.h>

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace serialmidi {

namespace {

const char kUsage[] =
    "usage: tavro-decode FILE.wav [options]\n"
    "Decodes serial MIDI carried in an audio file and prints the bytes and\n"
    "messages with the sample at which each byte's start bit begins.\n"
    "\n"
    "  --threshold X        deviation from the idle level that counts as active,\n"
    "                       at least (default 0.1)\n"
    "  --fixed-threshold    slice at the threshold only; by default bits are read\n"
    "                       halfway between idle and the signal's active level\n"
    "  --polarity P         auto (default): idle is where the signal rests;\n"
    "                       low: idle at 0.0, active either side;\n"
    "                       high: idle at the highest level, active below it\n"
    "  --channel N          channel of the file to read, from 1 (default 1)\n"
    "  --format F           text (default) or tsv: one line per message,\n"
    "                       message<TAB>sample<TAB>hex bytes<TAB>name, and\n"
    "                       framing-error<TAB>sample<TAB>hex byte\n"
    "  --plot FILE.svg      also draw the recording as a scope would: the\n"
    "                       waveform, each byte's frame and value, the messages'\n"
    "                       names, framing errors in red\n"
    "  --from POS, --to POS the part of the recording to draw (default: all of\n"
    "                       it, at most 10 seconds), in samples or, with 'ms',\n"
    "                       in milliseconds: --from 1500ms --to 1520ms\n";

struct Options {
    std::string path;
    DecoderOptions decoder;
    int channel = 1;
    bool tsv = false;
    std::string plotPath, plotFrom, plotTo;
};

// The longest stretch drawn when --to is not given.
constexpr double kDefaultPlotSeconds = 10.0;

bool parseDouble(const std::string& text, double& value) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end == text.c_str() + text.size() && std::isfinite(value);
}

bool parseInt(const std::string& text, long& value) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && end == text.c_str() + text.size();
}

// Returns -1 when parsed, else the exit code.
int parseArguments(const std::vector<std::string>& args, Options& options, std::ostream& out,
                   std::ostream& err) {
    auto usageError = [&](const std::string& message) {
        err << "tavro-decode: " << message << "\n" << kUsage;
        return kDecodeUsage;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& v) {
            if (i + 1 >= args.size())
                return false;
            v = args[++i];
            return true;
        };
        std::string v;
        if (a == "-h" || a == "--help") {
            out << kUsage;
            return kDecodeOk;
        } else if (a == "--threshold") {
            double t = 0;
            if (!value(v))
                return usageError("--threshold needs a value");
            if (!parseDouble(v, t) || t <= 0)
                return usageError("--threshold wants a positive number, not '" + v + "'");
            options.decoder.threshold = t;
        } else if (a == "--fixed-threshold") {
            options.decoder.adaptive = false;
        } else if (a == "--polarity") {
            if (!value(v))
                return usageError("--polarity needs a value");
            if (v == "auto")
                options.decoder.polarity = Polarity::automatic;
            else if (v == "low")
                options.decoder.polarity = Polarity::idleLow;
            else if (v == "high")
                options.decoder.polarity = Polarity::idleHigh;
            else
                return usageError("--polarity is auto, low or high, not '" + v + "'");
        } else if (a == "--channel") {
            long c = 0;
            if (!value(v))
                return usageError("--channel needs a value");
            if (!parseInt(v, c) || c < 1 || c > 1024)
                return usageError("--channel wants a channel number from 1, not '" + v + "'");
            options.channel = static_cast<int>(c);
        } else if (a == "--format") {
            if (!value(v))
                return usageError("--format needs a value");
            if (v == "text")
                options.tsv = false;
            else if (v == "tsv")
                options.tsv = true;
            else
                return usageError("--format is text or tsv, not '" + v + "'");
        } else if (a == "--plot" || a == "--from" || a == "--to") {
            if (!value(v) || v.empty())
                return usageError(a + " needs a value");
            (a == "--plot"   ? options.plotPath
             : a == "--from" ? options.plotFrom
                             : options.plotTo) = v;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return usageError("unknown option '" + a + "'");
        } else if (options.path.empty()) {
            options.path = a;
        } else {
            return usageError("one input file only ('" + a + "' is extra)");
        }
    }
    if (options.path.empty())
        return usageError("no input file");
    if (options.plotPath.empty() && (!options.plotFrom.empty() || !options.plotTo.empty()))
        return usageError("--from and --to go with --plot");
    return -1;
}

struct SndfileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

std::string hexByte(std::uint8_t b) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", b);
    return text;
}

std::string hexBytes(const std::vector<std::uint8_t>& bytes) {
    std::string s;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        s += i == 0 ? "" : " ";
        s += hexByte(bytes[i]);
    }
    return s;
}

std::string describe(const DecodedMessage& m) {
    if (m.framingError)
        return "Framing error";
    std::string name = midiMessageName(m.bytes);
    if (m.bytes[0] >= 0x80 && m.bytes[0] < 0xF0)
        name += ", channel " + std::to_string((m.bytes[0] & 0x0F) + 1);
    if (m.stray && m.bytes[0] < 0x80)
        name += " without status";
    if (m.incomplete)
        name += " (incomplete)";
    return name;
}

void printText(const DecodedMessage& m, double rate, std::ostream& out) {
    char head[96];
    std::snprintf(head, sizeof head, "%12" PRId64 " %12.6f s  %-34s", m.startSample,
                  static_cast<double>(m.startSample) / rate, describe(m).c_str());
    out << head;
    // Every byte with its own start sample; long system exclusive goes on
    // over several lines.
    const std::size_t perLine = 6;
    for (std::size_t i = 0; i < m.bytes.size(); ++i) {
        if (i > 0 && i % perLine == 0)
            out << "\n" << std::string(63, ' ');
        if (m.byteStarts[i] < 0)
            out << " (" << hexByte(m.bytes[i]) << ")";
        else
            out << " " << hexByte(m.bytes[i]) << "@" << m.byteStarts[i];
    }
    out << "\n";
}

void printTsv(const DecodedMessage& m, std::ostream& out) {
    if (m.framingError) {
        out << "framing-error\t" << m.startSample << "\t" << hexByte(m.bytes[0]) << "\n";
        return;
    }
    std::string name = midiMessageName(m.bytes);
    if (m.incomplete)
        name += " (incomplete)";
    out << "message\t" << m.startSample << "\t" << hexBytes(m.bytes) << "\t" << name << "\n";
}

}  // namespace

int runDecodeTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options options;
    const int parsed = parseArguments(args, options, out, err);
    if (parsed >= 0)
        return parsed;

    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(options.path.c_str(), SFM_READ, &info));
    if (!file) {
        err << "tavro-decode: cannot read '" << options.path << "': " << sf_strerror(nullptr)
            << "\n";
        return kDecodeInputError;
    }
    if (info.channels < 1 || info.samplerate < 1) {
        err << "tavro-decode: '" << options.path << "' holds no audio channels\n";
        return kDecodeInputError;
    }
    if (options.channel > info.channels) {
        err << "tavro-decode: '" << options.path << "' has " << info.channels
            << " channel(s); there is no channel " << options.channel << "\n";
        return kDecodeInputError;
    }
    if (info.samplerate < kMinimumSampleRate) {
        err << "tavro-decode: '" << options.path << "' is sampled at " << info.samplerate
            << " Hz; serial MIDI needs at least " << static_cast<int>(kMinimumSampleRate)
            << " Hz (a sample a bit)\n";
        return kDecodeInputError;
    }

    const double rate = info.samplerate;
    std::unique_ptr<ScopePlot> plot;
    if (!options.plotPath.empty()) {
        std::int64_t from = 0;
        std::int64_t to = std::min<std::int64_t>(
            info.frames, from + static_cast<std::int64_t>(kDefaultPlotSeconds * rate));
        if (!options.plotFrom.empty() && !parsePlotPosition(options.plotFrom, rate, from)) {
            err << "tavro-decode: --from wants samples or milliseconds ('12.5ms'), not '"
                << options.plotFrom << "'\n";
            return kDecodeUsage;
        }
        if (options.plotTo.empty())
            to = std::min<std::int64_t>(
                info.frames, from + static_cast<std::int64_t>(kDefaultPlotSeconds * rate));
        else if (!parsePlotPosition(options.plotTo, rate, to)) {
            err << "tavro-decode: --to wants samples or milliseconds ('12.5ms'), not '"
                << options.plotTo << "'\n";
            return kDecodeUsage;
        }
        to = std::min<std::int64_t>(to, info.frames);
        if (from >= to) {
            err << "tavro-decode: nothing to draw: the recording has " << info.frames
                << " samples, and --from must come before --to\n";
            return kDecodeUsage;
        }
        plot = std::make_unique<ScopePlot>(rate, from, to);
    }
    SerialMidiDecoder decoder(rate, options.decoder);
    MidiMessageAssembler assembler;
    std::size_t byteCount = 0;
    std::size_t messageCount = 0;

    if (!options.tsv) {
        out << options.path << ": " << info.samplerate << " Hz, " << info.channels
            << " channel(s), " << info.frames << " frames, reading channel " << options.channel
            << "\n";
    }
    auto report = [&](bool atEnd) {
        auto bytes = decoder.takeBytes();
        byteCount += bytes.size();
        assembler.push(bytes);
        if (atEnd)
            assembler.flush();
        const std::vector<DecodedMessage> messages = assembler.takeMessages();
        if (plot) {
            plot->addBytes(bytes);
            plot->addMessages(messages);
        }
        for (const DecodedMessage& m : messages) {
            if (!m.framingError)
                ++messageCount;
            if (options.tsv)
                printTsv(m, out);
            else
                printText(m, rate, out);
        }
    };

    const std::size_t chunkFrames = 65536;
    const std::size_t channels = static_cast<std::size_t>(info.channels);
    std::vector<float> interleaved(chunkFrames * channels);
    std::vector<float> mono(chunkFrames);
    for (;;) {
        const sf_count_t got =
            sf_readf_float(file.get(), interleaved.data(), static_cast<sf_count_t>(chunkFrames));
        if (got <= 0)
            break;
        const std::size_t n = static_cast<std::size_t>(got);
        for (std::size_t i = 0; i < n; ++i)
            mono[i] = interleaved[i * channels + static_cast<std::size_t>(options.channel - 1)];
        if (plot)
            plot->addSamples(mono.data(), n);
        decoder.feed(mono.data(), n);
        report(false);
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR) {
        err << "tavro-decode: error reading '" << options.path << "': " << sf_strerror(file.get())
            << "\n";
        return kDecodeInputError;
    }
    decoder.finish();
    report(true);

    if (plot) {
        std::ofstream svg(options.plotPath);
        plot->write(svg);
        svg.close();
        if (!svg) {
            err << "tavro-decode: cannot write '" << options.plotPath << "'\n";
            return kDecodeInputError;
        }
    }

    const std::size_t errors = decoder.framingErrors();
    if (decoder.byteInProgress())
        err << "tavro-decode: the data ends inside a byte; it is not reported\n";
    if (options.tsv) {
        if (errors > 0)
            err << "tavro-decode: " << errors << " framing error(s)\n";
    } else {
        out << byteCount << " byte(s), " << messageCount << " message(s), " << errors
            << " framing error(s)\n";
    }
    return kDecodeOk;
}

}  // namespace serialmidi
