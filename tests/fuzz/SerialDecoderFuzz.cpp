// Serial MIDI decoder and message assembler on arbitrary samples.
//
// Input: byte 0 chooses the set-up (bits 0-2 the sample rate, bits 3-4 the
// polarity, bit 5 a fixed threshold, bit 6 raw 32-bit floats instead of
// 8-bit samples); byte 1 seeds the block sizes; the rest is the signal. 8-bit
// samples are (b - 128) / 100, so 128 is 0.0 and 228 is 1.0.

#include "FuzzTarget.h"

#include "decode/MidiMessageAssembler.h"
#include "decode/SerialMidiDecoder.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    static const double kRates[8] = {44100, 48000, 88200, 96000, 176400, 192000, 31250, 100000};
    serialmidi::DecoderOptions options;
    const unsigned polarity = (data[0] >> 3) & 3;
    options.polarity = polarity == 1   ? serialmidi::Polarity::idleLow
                       : polarity == 2 ? serialmidi::Polarity::idleHigh
                                       : serialmidi::Polarity::automatic;
    options.adaptive = (data[0] & 0x20) == 0;
    const bool rawFloats = (data[0] & 0x40) != 0;
    std::uint32_t blockState = data[1] * 2654435761u + 1;

    std::vector<float> samples;
    if (rawFloats) {
        samples.resize((size - 2) / sizeof(float));
        if (!samples.empty())
            std::memcpy(samples.data(), data + 2, samples.size() * sizeof(float));
    } else {
        for (std::size_t i = 2; i < size; ++i)
            samples.push_back((static_cast<float>(data[i]) - 128.0f) / 100.0f);
    }

    serialmidi::SerialMidiDecoder decoder(kRates[data[0] & 7], options);
    serialmidi::MidiMessageAssembler assembler;
    std::int64_t lastStart = -1;
    auto check = [&](bool atEnd) {
        const auto bytes = decoder.takeBytes();
        for (const auto& b : bytes) {
            if (b.startSample <= lastStart || b.startSample >= decoder.samplesFed())
                std::abort();
            lastStart = b.startSample;
        }
        assembler.push(bytes);
        if (atEnd)
            assembler.flush();
        for (const auto& m : assembler.takeMessages()) {
            if (m.bytes.empty() || m.bytes.size() != m.byteStarts.size())
                std::abort();
            serialmidi::midiMessageName(m.bytes);
        }
    };
    std::size_t pos = 0;
    while (pos < samples.size()) {
        blockState = blockState * 1103515245u + 12345u;
        const std::size_t n =
            std::min<std::size_t>(1 + (blockState >> 16) % 300, samples.size() - pos);
        decoder.feed(samples.data() + pos, n);
        pos += n;
        check(false);
    }
    decoder.finish();
    check(true);
    return 0;
}
