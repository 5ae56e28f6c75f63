// tavro-render and tavro-decode through their command-line functions: files
// in, files and text out, and the exit code and message of each mistake.

#include "decode/DecodeTool.h"
#include "render/RenderTool.h"

#include "ReferenceEncoder.h"

#include <sndfile.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tavro-tools-" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    int render(std::vector<std::string> args) {
        std::ostringstream err;
        const int code = render::runRenderTool(args, err, false);
        err_ = err.str();
        return code;
    }
    int decode(std::vector<std::string> args) {
        std::ostringstream out, err;
        const int code = serialmidi::runDecodeTool(args, out, err);
        out_ = out.str();
        err_ = err.str();
        return code;
    }

    void writeFile(const std::string& name, const std::string& bytes) {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }

    // 96 ticks a quarter, no tempo (120 BPM): a Note On on each of the
    // quarters 0 to 7, the end of the track at quarter 8.
    void writeEightQuarters() {
        std::string track;
        for (int q = 0; q < 8; ++q) {
            track += q == 0 ? std::string(1, '\0') : std::string("\x60", 1);
            track += std::string("\x90", 1) + static_cast<char>(0x30 + q) + "\x40";
        }
        track += std::string("\x60\xFF\x2F\x00", 4);
        std::string file("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0", 21);
        writeFile("eight.mid", file + static_cast<char>(track.size()) + track);
    }

    // Writes `channels` channels, the signal on channel `signalChannel`.
    void writeWav(const std::string& name, const std::vector<float>& signal, int rate, int format,
                  int channels = 1, int signalChannel = 0) {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = format;
        SNDFILE* f = sf_open(path(name).c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
        std::vector<float> frames(signal.size() * static_cast<std::size_t>(channels), 0.0f);
        for (std::size_t i = 0; i < signal.size(); ++i)
            frames[i * static_cast<std::size_t>(channels) +
                   static_cast<std::size_t>(signalChannel)] = signal[i];
        sf_writef_float(f, frames.data(), static_cast<sf_count_t>(signal.size()));
        sf_close(f);
    }

    std::vector<float> readWav(const std::string& name, SF_INFO& info) {
        info = SF_INFO{};
        SNDFILE* f = sf_open(path(name).c_str(), SFM_READ, &info);
        EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
        if (f == nullptr)
            return {};
        std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
        sf_readf_float(f, samples.data(), info.frames);
        sf_close(f);
        return samples;
    }

    fs::path dir_;
    std::string out_;
    std::string err_;
};

// ---- tavro-render -------------------------------------------------------------

TEST_F(CommandLine, WritesWhatThePlugInPlaysBlockByBlockInTheChosenFormat) {
    ASSERT_EQ(render({TAVRO_FAKE_INSTRUMENT, TAVRO_EXAMPLE_MIDI, path("ramp.wav"), "--rate",
                      "96000", "--random-blocks", "1-700", "--seed", "42", "--tail", "0.5", "--set",
                      "Level=0.25", "--set", "mode=Hard"}),
              0)
        << err_;
    SF_INFO info;
    const auto samples = readWav("ramp.wav", info);
    EXPECT_EQ(info.samplerate, 96000);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    // The file ends at tick 7680: two bars at 120 BPM and two at 90 make
    // 9 1/3 s; one sample past that plus the tail.
    ASSERT_EQ(info.frames, 896000 + 1 + 48000);
    // The fake plays its running sample number: nothing lost, nothing twice.
    for (std::size_t i = 0; i < samples.size(); i += 997)
        ASSERT_EQ(samples[i], static_cast<float>(i));

    ASSERT_EQ(render({TAVRO_FAKE_INSTRUMENT, TAVRO_EXAMPLE_MIDI, path("pcm.wav"), "--format",
                      "pcm24", "--block-sizes", "100,28", "--tail", "0"}),
              0)
        << err_;
    readWav("pcm.wav", info);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    EXPECT_EQ(info.frames, 411601);
}

TEST_F(CommandLine, TheTempoOptionTimesAFileWithoutTempo) {
    // One quarter note to the end of the track, no tempo event.
    writeFile("plain.mid", std::string("MThd\0\0\0\6\0\0\0\1\0\x60"
                                       "MTrk\0\0\0\x08\0\x90\x3C\x64\x60\xFF\x2F\0",
                                       30));
    ASSERT_EQ(render({TAVRO_FAKE_INSTRUMENT, path("plain.mid"), path("a.wav"), "--tail", "0"}), 0)
        << err_;
    SF_INFO info;
    readWav("a.wav", info);
    EXPECT_EQ(info.frames, 22050 + 1);
    ASSERT_EQ(render({TAVRO_FAKE_INSTRUMENT, path("plain.mid"), path("b.wav"), "--tail", "0",
                      "--tempo", "60", "--time-signature", "3/4"}),
              0)
        << err_;
    readWav("b.wav", info);
    EXPECT_EQ(info.frames, 44100 + 1);
}

TEST_F(CommandLine, StartLoopAndStopShapeTheRenderAndTheEventList) {
    writeEightQuarters();
    ASSERT_EQ(render({TAVRO_FAKE_INSTRUMENT, path("eight.mid"), path("out.wav"), "--rate", "48000",
                      "--tail", "0", "--start", "1", "--loop", "2-4", "--passes", "3", "--stop-at",
                      "6", "--random-blocks", "1-5000", "--events", path("events.tsv")}),
              0)
        << err_;
    // Quarters 1 to 4, twice 2 to 4 again, then 4 to 6: 9 quarters.
    SF_INFO info;
    readWav("out.wav", info);
    EXPECT_EQ(info.frames, 9 * 24000);
    std::ifstream in(path("events.tsv"));
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(),
              "event\t0\t90 31 40\n"
              "event\t24000\t90 32 40\n"
              "event\t48000\t90 33 40\n"
              "event\t72000\t90 32 40\n"
              "event\t96000\t90 33 40\n"
              "event\t120000\t90 32 40\n"
              "event\t144000\t90 33 40\n"
              "event\t168000\t90 34 40\n"
              "event\t192000\t90 35 40\n");
}

TEST_F(CommandLine, RenderMistakesGiveTheirMessageAndExitCode) {
    const std::string plugin = TAVRO_FAKE_INSTRUMENT;
    const std::string midi = TAVRO_EXAMPLE_MIDI;
    const std::string out = path("x.wav");
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* message;
    };
    writeFile("bad.mid", std::string("MThd\0\0\0\6\0\2\0\1\0\x60", 14));
    writeFile("truncated.mid", std::string("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0\x02\0\x90", 24));
    writeEightQuarters();
    // Positions in quarter notes of a file eight quarters long.
    auto eight = [&](std::vector<std::string> options) {
        options.insert(options.begin(), {plugin, path("eight.mid"), out});
        return options;
    };
    const std::vector<Case> cases = {
        {{}, 1, "PLUGIN, MIDIFILE and OUT.wav are needed"},
        {{plugin, midi, out, "extra"}, 1, "too many arguments"},
        {{plugin, midi, out, "--frobnicate"}, 1, "unknown option '--frobnicate'"},
        {{plugin, midi, out, "--rate"}, 1, "--rate needs a value"},
        {{plugin, midi, out, "--rate", "fast"}, 1, "--rate wants a whole number"},
        {{plugin, midi, out, "--block-size", "0"}, 1, "--block-size wants a whole number"},
        {{plugin, midi, out, "--block-sizes", "64,,3"}, 1, "--block-sizes wants"},
        {{plugin, midi, out, "--random-blocks", "9-3"}, 1, "MIN must not exceed MAX"},
        {{plugin, midi, out, "--block-size", "5", "--block-sizes", "3"}, 1, "give one of"},
        {{plugin, midi, out, "--seed", "5"}, 1, "--seed goes with --random-blocks"},
        {{plugin, midi, out, "--tail", "-1"}, 1, "--tail wants seconds"},
        {{plugin, midi, out, "--tempo", "0"}, 1, "--tempo wants beats per minute"},
        {{plugin, midi, out, "--time-signature", "4/3"}, 1, "a power of two"},
        {{plugin, midi, out, "--format", "mp3"}, 1, "float, pcm16 or pcm24"},
        {{plugin, midi, out, "--set", "Level"}, 1, "'Level' is not of the form Name=value"},
        {{plugin, midi, out, "--set", "Volume=3"},
         1,
         "--set \"Volume=3\": the plug-in has no parameter 'Volume'; its parameters are: Level, "
         "Mode"},
        {{plugin, midi, out, "--set", "Mode=Loud"}, 1, "does not take 'Loud' for Mode"},
        {{plugin, path("none.mid"), out}, 2, "cannot open"},
        {{plugin, path("bad.mid"), out}, 2, "format 2 (independent sequences) is not supported"},
        {{plugin, path("truncated.mid"), out}, 2, "track ends inside a channel message at byte 24"},
        {{plugin, midi, path("no/such/dir/x.wav")}, 2, "cannot write"},
        {{path("none.so"), midi, out}, 3, "cannot load"},
        {{midi, midi, out}, 3, "cannot load"},
        {eight({"--loop", "4-2"}), 1, "--loop 4-2: the loop must end after it starts"},
        {eight({"--loop", "4"}), 1, "--loop wants FROM-TO"},
        {eight({"--loop", "2-x"}), 1, "--loop wants a number"},
        {eight({"--passes", "3"}), 1, "--passes goes with --loop"},
        {eight({"--loop", "2-4", "--passes", "0"}), 1, "--passes wants a whole number from 1"},
        {eight({"--start", "-1"}), 1, "--start wants quarter notes from 0"},
        {eight({"--start", "9"}), 1, "--start 9 is not before the end of"},
        {eight({"--stop-at", "9"}), 1, "--stop-at 9 lies past the end of"},
        {eight({"--start", "4", "--stop-at", "3"}), 1, "--stop-at must come after --start"},
        {eight({"--loop", "1-3", "--start", "5"}), 1, "ends before playback starts (quarter 5)"},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const auto& a : c.args)
            line += a + " ";
        EXPECT_EQ(render(c.args), c.code) << line << "\n" << err_;
        EXPECT_NE(err_.find(c.message), std::string::npos) << line << "\n" << err_;
    }
    EXPECT_FALSE(fs::exists(out));
}

// ---- tavro-decode -------------------------------------------------------------

TEST_F(CommandLine, DecodesAChannelOfAPcmFileAsTsv) {
    testenc::Encoder enc(48000, 0.5f);
    enc.gap(100);
    enc.bytes({0x90, 0x3C, 0x64, 0x3C, 0x00});
    enc.gap(10);
    enc.bytes({0xF0, 0x7E, 0xF8, 0x7F, 0xF7});
    enc.brokenByte(0x11);
    enc.gap(10);
    enc.bytes({0xFC});
    enc.gap(50);
    writeWav("midi.wav", enc.result().samples, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 1);
    ASSERT_EQ(decode({path("midi.wav"), "--channel", "2", "--format", "tsv"}), 0) << err_;
    const auto& s = enc.result().starts;
    std::ostringstream expected;
    expected << "message\t" << s[0] << "\t90 3C 64\tNote On\n"
             << "message\t" << s[3] << "\t90 3C 00\tNote On\n"
             << "message\t" << s[7] << "\tF8\tTiming Clock\n"
             << "message\t" << s[5] << "\tF0 7E 7F F7\tSystem Exclusive\n"
             << "framing-error\t" << s[10] << "\t11\n"
             << "message\t" << s[11] << "\tFC\tStop\n";
    EXPECT_EQ(out_, expected.str());
    EXPECT_NE(err_.find("1 framing error"), std::string::npos) << err_;

    // Channel 1 holds silence.
    ASSERT_EQ(decode({path("midi.wav"), "--format", "tsv"}), 0);
    EXPECT_EQ(out_, "");
}

TEST_F(CommandLine, DecodeMistakesGiveTheirMessageAndExitCode) {
    writeWav("slow.wav", std::vector<float>(100, 0.0f), 22050, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    writeWav("mono.wav", std::vector<float>(100, 0.0f), 96000, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    writeFile("text.wav", "this is not a sound file at all\n");
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{}, 1, "no input file"},
        {{"a.wav", "b.wav"}, 1, "one input file only"},
        {{"a.wav", "--threshold", "-1"}, 1, "--threshold wants a positive number"},
        {{"a.wav", "--polarity", "up"}, 1, "--polarity is auto, low or high"},
        {{"a.wav", "--channel", "0"}, 1, "--channel wants a channel number"},
        {{"a.wav", "--format", "xml"}, 1, "--format is text or tsv"},
        {{"a.wav", "--verbose"}, 1, "unknown option"},
        {{path("missing.wav")}, 2, "cannot read"},
        {{path("text.wav")}, 2, "cannot read"},
        {{path("slow.wav")}, 2, "at least 31250 Hz"},
        {{path("mono.wav"), "--channel", "2"}, 2, "there is no channel 2"},
        {{"a.wav", "--from", "10"}, 1, "--from and --to go with --plot"},
        {{path("mono.wav"), "--plot", path("p.svg"), "--from", "1,5ms"}, 1, "--from wants"},
        {{path("mono.wav"), "--plot", path("p.svg"), "--to", "-3"}, 1, "--to wants"},
        {{path("mono.wav"), "--plot", path("p.svg"), "--from", "100"}, 1, "nothing to draw"},
        {{path("mono.wav"), "--plot", path("no/such/dir/p.svg")}, 2, "cannot write"},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const auto& a : c.args)
            line += a + " ";
        EXPECT_EQ(decode(c.args), c.code) << line << "\n" << err_;
        EXPECT_NE(err_.find(c.message), std::string::npos) << line << "\n" << err_;
    }
}

}  // namespace
