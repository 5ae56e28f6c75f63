// The software loop-back cable: decoding as the output comes, what the far
// end passes on, and the faults it injects.

#include "render/LoopbackCable.h"
#include "render/RenderTool.h"

#include "ReferenceEncoder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

using render::CableFault;
using render::LoopbackCable;
using Bytes = std::vector<std::uint8_t>;

struct FarEnd {
    std::vector<Bytes> received;
    bool listening = true;
    LoopbackCable::Receiver receiver() {
        return [this](const std::uint8_t* bytes, std::size_t n) {
            received.emplace_back(bytes, bytes + n);
            return listening;
        };
    }
};

testenc::Encoded encode(double rate, const std::vector<Bytes>& messages) {
    testenc::Encoder enc(rate);
    enc.gap(20);
    for (const Bytes& m : messages) {
        enc.bytes(m);
        enc.gap(7);
    }
    enc.gap(50);
    return enc.result();
}

TEST(LoopbackCable, EveryMessageComesOutWholeAsSoonAsItsLastByteIsRead) {
    testenc::Encoder enc(48000);
    enc.gap(30);
    enc.bytes({0x90, 0x3C, 0x64});  // 0
    enc.bytes({0x3D, 0x65});        // 3: running status
    enc.bytes({0xB0, 0xF8, 0x07});  // 5: a clock inside a message
    enc.bytes({0x64});              // 8
    enc.bytes({0xC0, 0x05});        // 9
    enc.bytes({0xF2, 0x01, 0x00});  // 11: ends running status
    enc.bytes({0x42});              // 14: so this is stray data
    enc.bytes({0xFA});              // 15
    enc.gap(30);
    const auto& signal = enc.result();
    const std::vector<Bytes> expected = {
        {0x90, 0x3C, 0x64}, {0x90, 0x3D, 0x65}, {0xF8}, {0xB0, 0x07, 0x64},
        {0xC0, 0x05},       {0xF2, 0x01, 0x00}, {0xFA}};
    FarEnd far;
    LoopbackCable cable(48000, {}, far.receiver());
    // Fed up to the first sample of the byte that starts each message, the
    // cable has passed on every message before it.
    const std::vector<std::pair<std::size_t, std::size_t>> checkpoints = {
        {3, 1}, {5, 2}, {9, 4}, {11, 5}, {14, 6}, {15, 6}};
    std::size_t fed = 0;
    for (const auto& [byte, messages] : checkpoints) {
        const auto until = static_cast<std::size_t>(signal.starts[byte]);
        cable.feed(signal.samples.data() + fed, until - fed);
        fed = until;
        EXPECT_EQ(far.received.size(), messages) << "before byte " << byte;
    }
    cable.feed(signal.samples.data() + fed, signal.samples.size() - fed);
    EXPECT_EQ(far.received, expected);
    EXPECT_EQ(cable.messagesDecoded(), 7u);
    EXPECT_EQ(cable.messagesSent(), 7u);
    EXPECT_EQ(cable.messagesHeard(), 7u);
    EXPECT_EQ(cable.bytesDropped(), 1u);  // the stray 0x42
}

TEST(LoopbackCable, LongSystemExclusiveLeavesInDriverSizedPiecesAsOneMessage) {
    Bytes sysex(70000, 0x11);
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    const auto signal = encode(44100, {sysex, {0xF8}});
    FarEnd far;
    far.listening = false;
    LoopbackCable cable(44100, {}, far.receiver());
    for (std::size_t at = 0; at < signal.samples.size(); at += 4096)
        cable.feed(signal.samples.data() + at,
                   std::min<std::size_t>(4096, signal.samples.size() - at));
    ASSERT_EQ(far.received.size(), 3u);
    EXPECT_EQ(far.received[0].size(), 65536u);
    EXPECT_EQ(far.received[1].size(), 70000u - 65536u);
    EXPECT_EQ(far.received[1].back(), 0xF7);
    EXPECT_EQ(far.received[2], Bytes{0xF8});
    EXPECT_EQ(cable.messagesSent(), 2u);
    EXPECT_EQ(cable.messagesHeard(), 0u);  // nobody listened
}

TEST(LoopbackCable, FaultsDamageTheMessageTheyNameAndTheFarEndCopesAsAReceiver) {
    const std::vector<Bytes> sent = {
        {0x90, 0x01, 0x02}, {0x80, 0x01, 0x02}, {0xF8}, {0xC0, 0x05}, {0xFA}, {0xF0, 0x01, 0xF7},
        {0x90, 0x03, 0x04}, {0xF0, 0x02, 0xF7}, {0xFC}};
    const auto signal = encode(44100, sent);
    FarEnd far;
    using K = CableFault::Kind;
    LoopbackCable cable(44100,
                        {{K::flipBit, 0},
                         {K::loseByte, 1},
                         {K::loseByte, 2},
                         {K::extraMessage, 3},
                         {K::flipBit, 4},
                         {K::loseByte, 5},
                         {K::flipBit, 7},
                         {K::extraMessage, 7},
                         {K::loseByte, 99}},
                        far.receiver());
    cable.feed(signal.samples.data(), signal.samples.size());
    const std::vector<Bytes> expected = {
        {0x90, 0x01, 0x03},  // bit 0 of the last data byte
        // 80 01 cut short by the next status: dropped; F8 lost entirely
        {0xC0, 0x05},
        {0xC0, 0x05},
        {0xFB},        // a status byte without data flips itself
        {0xF0, 0x01},  // system exclusive cut short is passed on as it came
        {0x90, 0x03, 0x04},
        {0xF0, 0x03, 0xF7},
        {0xF0, 0x03, 0xF7},
        {0xFC},
    };
    EXPECT_EQ(far.received, expected);
    EXPECT_EQ(cable.messagesDecoded(), sent.size());
    EXPECT_EQ(cable.bytesDropped(), 2u);
    EXPECT_EQ(cable.injected(), (std::vector<std::string>{
                                    "flip-bit@0: 90 01 02 arrived as 90 01 03",
                                    "lose-byte@1: 80 01 02 arrived as 80 01",
                                    "lose-byte@2: F8 was lost",
                                    "extra-message@3: C0 05 arrived twice",
                                    "flip-bit@4: FA arrived as FB",
                                    "lose-byte@5: F0 01 F7 arrived as F0 01",
                                    "flip-bit@7: F0 02 F7 arrived as F0 03 F7",
                                    "extra-message@7: F0 03 F7 arrived twice",
                                }));
    ASSERT_EQ(cable.pending().size(), 1u);
    EXPECT_EQ(render::cableFaultText(cable.pending()[0]), "lose-byte@99");
}

// ---- The options of tavro-render -----------------------------------------------

int renderTool(const std::vector<std::string>& options, std::string& err) {
    const std::string out =
        (std::filesystem::temp_directory_path() / "tavro-loopback-option.wav").string();
    std::vector<std::string> args = {TAVRO_PLUGIN_PATH, TAVRO_EXAMPLE_MIDI, out, "--tail", "0"};
    args.insert(args.end(), options.begin(), options.end());
    std::ostringstream stream;
    const int code = render::runRenderTool(args, stream, false);
    err = stream.str();
    std::filesystem::remove(out);
    return code;
}

TEST(LoopbackOption, ReportsWhatWentThroughAndWhatWasInjected) {
    // This test program does not export the far end, so the plug-in, looking
    // for it among the program's exports, finds no such device: the cable
    // carries what the plug-in sends, to nobody. (tavro-render exports it:
    // the ctest tavro_render_loopback checks the messages arrive.)
    std::string err;
    ASSERT_EQ(
        renderTool({"--loopback", "tavro test cable", "--stop-at", "1", "--set", "Test Enable=On",
                    "--cable-fault", "flip-bit@2", "--cable-fault", "lose-byte@100000"},
                   err),
        0)
        << err;
    EXPECT_NE(err.find("warning: the plug-in did not open 'tavro test cable'"), std::string::npos)
        << err;
    EXPECT_NE(err.find("loop-back 'tavro test cable': "), std::string::npos) << err;
    EXPECT_NE(err.find("went through the cable; none reached the plug-in"), std::string::npos)
        << err;
    EXPECT_NE(err.find("injected flip-bit@2: "), std::string::npos) << err;
    EXPECT_NE(err.find("not injected (only "), std::string::npos) << err;
    EXPECT_NE(err.find("lose-byte@100000"), std::string::npos) << err;
}

TEST(LoopbackOption, MistakesAreUsageErrors) {
    struct Case {
        std::vector<std::string> options;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{"--loopback", ""}, "--loopback wants a device name"},
        {{"--midi-source", ""}, "--midi-source wants a device name"},
        {{"--cable-fault", "flip-bit@1"}, "--cable-fault goes with --loopback"},
        {{"--loopback", "L", "--cable-fault", "smash@1"},
         "--cable-fault is lose-byte@N, flip-bit@N or extra-message@N, not 'smash@1'"},
        {{"--loopback", "L", "--cable-fault", "flip-bit@x"}, "wants the index of a message"},
        {{"--loopback", "L", "--midi-source", "M"}, "name different devices"},
        {{"--loopback", "L", "--rate", "22050"}, "--loopback needs --rate 31250 or more"},
        {{"--cable-delay", "5"}, "--cable-delay goes with --loopback"},
        {{"--loopback", "L", "--cable-delay", "5,-1"}, "--cable-delay is MS or MS,JITTER_MS"},
        {{"--loopback", "L", "--cable-delay", "20000"}, "each from 0 to 10000"},
    };
    for (const Case& c : cases) {
        std::string err;
        EXPECT_EQ(renderTool(c.options, err), 1) << c.message << "\n" << err;
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
    }
}

}  // namespace
