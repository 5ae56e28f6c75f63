// Host, editor-like and OSC-like threads set and read parameters and
// properties while the audio thread processes blocks. Run under the thread
// sanitizer, any data race is a failure.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "engine/ZephCorvane.h"

namespace {

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

TEST(Concurrency, ParametersAndPropertiesWhileBlocksAreProcessed) {
    QX4Controller::ZephCorvane plugin(hostCallback);
    AEffect* effect = plugin.getAeffect();
    effect->dispatcher(effect, effSetBlockSize, 0, 256, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);

    std::atomic<bool> stop{false};
    std::thread audio([&] {
        float samples[256];
        float* outputs[1] = {samples};
        VstMidiEvent note{};
        note.type = kVstMidiType;
        note.byteSize = sizeof note;
        note.midiData[0] = static_cast<char>(0x90);
        note.midiData[1] = 60;
        note.midiData[2] = 100;
        struct {
            VstInt32 numEvents;
            VstIntPtr reserved;
            VstEvent* events[2];
        } list{1, 0, {reinterpret_cast<VstEvent*>(&note), nullptr}};
        while (!stop) {
            effect->dispatcher(effect, effProcessEvents, 0, 0, &list, 0.0f);
            effect->processReplacing(effect, nullptr, outputs, 256);
        }
    });
    std::thread editor([&] {
        char text[64];
        for (int i = 0; i < 2000; ++i) {
            const int index = i % 28;
            effect->setParameter(effect, index, static_cast<float>(i % 100) / 100.0f);
            effect->dispatcher(effect, effGetParamDisplay, index, 0, text, 0.0f);
            std::uint8_t panic = 1;
            if (i % 50 == 0)
                plugin.setPropertyAndNotify(64094, &panic, 1);
        }
    });
    std::thread osc([&] {
        for (int i = 0; i < 2000; ++i) {
            plugin.setParameterNative(i % 28, static_cast<float>(i % 3), false);
            const char* key = nullptr;
            plugin.GetProperty(64004, 0, 0, &key);
            const std::string* names = nullptr;
            plugin.GetProperty(64005, 0, 0, &names);
            std::int32_t offset = 0;
            plugin.GetProperty(64009, 0, 0, &offset);
            std::uint8_t panic = 1;
            if (i % 50 == 0)
                plugin.setPropertyAndNotify(64094, &panic, 1);
            (void)plugin.oscPort();
        }
    });
    std::thread hostUi([&] {
        for (int i = 0; i < 2000; ++i) {
            effect->getParameter(effect, i % 28);
            char name[32];
            effect->dispatcher(effect, effGetProgramName, 0, 0, name, 0.0f);
            effect->dispatcher(effect, effSetProgram, 0, 0, nullptr, 0.0f);
        }
    });
    editor.join();
    osc.join();
    hostUi.join();
    stop = true;
    audio.join();
    SUCCEED();
}

// The round-trip figures are written once per block and read by the editor
// every frame: a reader never sees half of one publication and half of the
// next (the writer's figures all carry the same number).
TEST(Concurrency, RoundTripFiguresAreReadWhole) {
    RoundTripSummary summary;
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        for (std::uint32_t n = 1; !stop.load(); ++n) {
            const auto v = static_cast<float>(n % 1000);
            summary.publish({n % 1000, n % 1000, v, v, v, n % 1000, n % 1000});
            // Once per block, not back to back: a reader of a writer that
            // never pauses may never find a quiet moment (seen under Wine).
            std::this_thread::yield();
        }
    });
    int whole = 0;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (whole < 2000 && std::chrono::steady_clock::now() < giveUp) {
        RoundTripFigures f;
        if (!summary.read(f))
            continue;
        ++whole;
        const auto v = static_cast<float>(f.kept);
        ASSERT_TRUE(f.measured == f.kept && f.late == f.kept && f.lost == f.kept &&
                    f.minimumMs == v && f.medianMs == v && f.maximumMs == v)
            << f.kept << " " << f.measured << " " << f.minimumMs << " " << f.lost;
    }
    stop.store(true);
    audio.join();
    EXPECT_EQ(whole, 2000);
}

}  // namespace
