// Blocks of host MIDI for a listening script, processed at the pace of a
// real audio thread, while a peer keeps calling a script function through
// "/exec" that sends OSC to host names nobody can resolve. The name server
// here answers nothing for 20 ms per lookup (real ones wait seconds). The
// figures that matter:
//   slowest_block_us      the longest block of all: well under 1000, since
//                         no lookup may happen while a script holds the Lua
//                         lock that the blocks' MIDI callbacks take;
//   slowest_running_us    the longest block during which the system did not
//                         take the processor away (on a loaded machine the
//                         first figure may also hold a scheduler tick);
//   blocks_that_waited    blocks in which the audio thread waited for the
//                         Lua lock while the peer's call held it: such a
//                         wait lasts as long as that call, microseconds.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <lua.hpp>

#if defined(__linux__)
#include <sys/resource.h>
#endif

#include "engine/ZephCorvane.h"
#include "osc/OSCHelper.h"
#include "osc/OscTransport.h"
#include "osc/ProductHelpers.h"
#include "plugin/Properties.h"
#include "script/LuaMIDIHelper.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr float kRate = 48000.0f;
constexpr VstInt32 kBlock = 64;
constexpr auto kLookup = 20ms;

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// UDP, behind a name server that never answers in time.
class SilentNameServer final : public QX::OscTransport {
public:
    std::uint32_t resolveHost(const char*) override {
        std::this_thread::sleep_for(kLookup);
        return 0;
    }
    std::uint32_t localAddressFor(const IpEndpointName& remote) override {
        return QX::udpOscTransport().localAddressFor(remote);
    }
    void send(const IpEndpointName&, const std::vector<std::string>&) override {
        sent.fetch_add(1, std::memory_order_relaxed);
    }
    std::atomic<long> sent{0};
};

// Context switches of the calling thread so far: voluntary ones (it waited
// for something) and involuntary ones (the system preempted it).
struct Switches {
    long voluntary = 0;
    long involuntary = 0;
};
Switches switches() {
    Switches result;
#if defined(__linux__)
    rusage usage{};
    if (getrusage(RUSAGE_THREAD, &usage) == 0) {
        result.voluntary = usage.ru_nvcsw;
        result.involuntary = usage.ru_nivcsw;
    }
#endif
    return result;
}

std::string padded(std::string text) {
    text.push_back('\0');
    while (text.size() % 4 != 0)
        text.push_back('\0');
    return text;
}

std::string bigEndian(std::uint32_t value) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
    return out;
}

void ExecSendingToUnresolvableHostsWhileBlocksRun(benchmark::State& state) {
    // No user script of the machine's may join in.
    ::setenv("XDG_DATA_HOME", "/nonexistent/tavro-bench", 1);
    SilentNameServer nameServer;
    QX::ProductHelpers helpers(&nameServer);
    QX4Controller::ZephCorvane plugin(hostCallback, &helpers);
    AEffect* effect = plugin.getAeffect();
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, kRate);
    effect->dispatcher(effect, effSetBlockSize, 0, kBlock, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);

    auto& scripts = dynamic_cast<QX::LuaMIDIHelper&>(*plugin.midiScripting());
    {
        std::lock_guard<std::recursive_mutex> guard(scripts.luaLock());
        lua_State* L = scripts.GetLuaState();
        luaL_dostring(L, R"(
            programs = 0
            requestAllProgramChange(function(c, p) programs = programs + 1 end)
            function report(n)
              sendOSC('osc.udp://unresolvable-' .. n .. '.invalid:9000', '/n', {n})
            end
        )");
    }
    void* server = nullptr;
    plugin.GetProperty(prop::kOscHelper, kAudioUnitScope_Global, 0, &server);
    auto& osc = dynamic_cast<QX::OSCHelper&>(*static_cast<QX::OscServerControl*>(server));

    // The peer: "/exec report n" about every millisecond, on the thread the
    // receive thread would use.
    std::atomic<bool> stop{false};
    std::atomic<long> execs{0};
    std::thread peer([&] {
        const IpEndpointName from(0x7F000001, 50000);
        for (std::int32_t n = 0; !stop.load(); ++n) {
            const std::string packet = padded("/exec") + padded(",si") + padded("report") +
                                       bigEndian(static_cast<std::uint32_t>(n));
            osc.handlePacket(packet.data(), packet.size(), from);
            execs.fetch_add(1);
            std::this_thread::sleep_for(1ms);
        }
    });

    VstMidiEvent events[2] = {};
    std::vector<unsigned char> storage(sizeof(VstEvents) + 2 * sizeof(VstEvent*));
    auto* list = reinterpret_cast<VstEvents*>(storage.data());
    list->numEvents = 2;
    for (int i = 0; i < 2; ++i) {
        events[i].type = kVstMidiType;
        events[i].byteSize = sizeof(VstMidiEvent);
        events[i].deltaFrames = i * 20;
        list->events[i] = reinterpret_cast<VstEvent*>(&events[i]);
    }
    events[0].midiData[0] = static_cast<char>(0xC0);
    events[1].midiData[0] = static_cast<char>(0x90);
    events[1].midiData[1] = 60;
    events[1].midiData[2] = 100;
    std::vector<float> out(kBlock);
    float* outputs[1] = {out.data()};

    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(kBlock / static_cast<double>(kRate)));
    auto due = Clock::now();
    // One block at the pace of the sound card: how long it took, whether
    // the thread waited (gave the processor up) or was preempted meanwhile.
    struct Block {
        Clock::duration took;
        bool waited = false;
        bool preempted = false;
    };
    auto block = [&](int n) {
        events[0].midiData[1] = static_cast<char>(n & 0x7F);
        const Switches before = switches();
        const auto start = Clock::now();
        effect->dispatcher(effect, effProcessEvents, 0, 0, list, 0.0f);
        effect->processReplacing(effect, nullptr, outputs, kBlock);
        Block result{Clock::now() - start};
        const Switches after = switches();
        result.waited = after.voluntary != before.voluntary;
        result.preempted = after.involuntary != before.involuntary;
        benchmark::DoNotOptimize(out.data());
        due += period;
        std::this_thread::sleep_until(due);
        return result;
    };
    // A host's audio thread has long been running when the peer calls: the
    // first blocks (first callbacks, first pages touched) are not measured.
    for (int n = 0; n < 150; ++n)
        block(n);
    Clock::duration slowest{0}, slowestRunning{0};
    int n = 0, waited = 0, preempted = 0;
    for (auto _ : state) {
        const Block b = block(n++);
        state.SetIterationTime(std::chrono::duration<double>(b.took).count());
        slowest = std::max(slowest, b.took);
        if (!b.preempted)
            slowestRunning = std::max(slowestRunning, b.took);
        waited += b.waited ? 1 : 0;
        preempted += b.preempted ? 1 : 0;
    }
    stop = true;
    peer.join();
    state.counters["slowest_block_us"] = std::chrono::duration<double, std::micro>(slowest).count();
    state.counters["slowest_running_us"] =
        std::chrono::duration<double, std::micro>(slowestRunning).count();
    state.counters["blocks_that_waited"] = waited;
    state.counters["blocks_preempted"] = preempted;
    state.counters["execs"] = static_cast<double>(execs.load());
    state.counters["datagrams_sent"] = static_cast<double>(nameServer.sent.load());
}
// 2 s of audio in blocks of 64 samples at 48 kHz.
BENCHMARK(ExecSendingToUnresolvableHostsWhileBlocksRun)
    ->UseManualTime()
    ->Iterations(1500)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
