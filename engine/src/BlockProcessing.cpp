// What runs in the host's processing call: the transport, the schedule of
// clocks and host events within the block, and the host MIDI filters.

#include <algorithm>

#include "engine/ZephCorvane.h"

namespace QX4Controller {

void ZephCorvane::beginBlock(VstInt32 /*frames*/) {
    HostTime time;
    if (const VstTimeInfo* info =
            getTimeInfo(kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstBarsValid |
                        kVstCyclePosValid | kVstTimeSigValid)) {
        time.answered = true;
        time.playing = (info->flags & kVstTransportPlaying) != 0;
        time.tempoValid = (info->flags & kVstTempoValid) != 0;
        time.ppqValid = (info->flags & kVstPpqPosValid) != 0;
        time.barsValid = (info->flags & kVstBarsValid) != 0;
        time.cycleValid = (info->flags & kVstCyclePosValid) != 0;
        time.timeSigValid = (info->flags & kVstTimeSigValid) != 0;
        time.tempo = info->tempo;
        time.ppqPosition = info->ppqPos;
        time.barStartPosition = info->barStartPos;
        time.cycleStart = info->cycleStartPos;
        time.cycleEnd = info->cycleEndPos;
        time.cycleActive = (info->flags & kVstTransportCycleActive) != 0;
        time.timeSigNumerator = info->timeSigNumerator;
        time.timeSigDenominator = info->timeSigDenominator;
    }
    // The transport start must see the clock parameters as they are now,
    // not as the last stretch of the previous block left them: otherwise a
    // song played from the first block after loading (or with Clock switched
    // on a moment before Play) starts its clock one tick late.
    clock_.updateParameters(clockParameters());
    clock_.beginBlock(time);
}

void ZephCorvane::updateEngineParameters() {
    EncoderParameters encoder;
    encoder.sampleRate = sampleRate;
    encoder.outputLevel = getParameterNative(kParamOutputLevel);
    encoder.space = getParameterNative(kParamSpace);
    encoder.balance = getParameterNative(kParamBalance);
    encoder.softly = getParameterNative(kParamSoftly);
    encoder.softness = getParameterNative(kParamSoftness);
    encoder_.update(encoder);

    clock_.updateParameters(clockParameters());

    TestParameters test;
    test.sampleRate = sampleRate;
    test.enable = getParameterNative(kParamTestEnable);
    test.intervalMs = getParameterNative(kParamTestInterval);
    test.type = getParameterNative(kParamTestType);
    test.messageByte1 = getParameterNative(kParamMessageByte1);
    test.messageByte2 = getParameterNative(kParamMessageByte2);
    test.messageByte3 = getParameterNative(kParamMessageByte3);
    test_.refresh(test);
}

ClockParameters ZephCorvane::clockParameters() const {
    ClockParameters clock;
    clock.clock = getParameterNative(kParamClock);
    clock.useSpp = getParameterNative(kParamUseMidiSpp);
    clock.sendSppZero = getParameterNative(kParamSendSppZero);
    clock.clockOffsetMs = getParameterNative(kParamClockOffset);
    clock.swing = getParameterNative(kParamSwing);
    clock.swingType = getParameterNative(kParamSwingType);
    return clock;
}

void ZephCorvane::readChannelParameters() {
    // Truncated like every indexed value; a restored state may hold values
    // outside the table's range, which then match no channel.
    const float channel = getParameterNative(kParamMidiChannel);
    const float channelise = getParameterNative(kParamChannelise);
    midiChannel_ = channel >= 0.0f && channel < 18.0f ? static_cast<int>(channel) : -1;
    channelise_ = channelise >= 0.0f && channelise < 17.0f ? static_cast<int>(channelise) : 0;
}

void ZephCorvane::renderBlock(float** /*inputs*/, float** outputs, VstInt32 frames) {
    readChannelParameters();
    drainTestInput();
    clock_.prepareBlock(sampleRate);

    float* output = outputs[0];
    const std::uint32_t length = static_cast<std::uint32_t>(frames);
    std::uint32_t pos = 0;
    while (pos < length) {
        if (pos == clock_.dueOffset())
            clock_.tick();
        // Items are taken in queue order: one whose offset is smaller than
        // that of an item ahead of it goes out together with that item.
        while (const QX::MessageQueueItem* item = hostEventQueue_.peek()) {
            if (item->frameOffset > pos)
                break;
            const QX::MessageQueueItem& taken = *hostEventQueue_.pop();
            // Scripts see host MIDI even while a test holds it back.
            if (scripting_)
                scripting_->HandleMIDIMessage(taken);
            encodeHostMessage(taken);
            // The encoder has copied a dump: its room in the queue is free
            // for the next one even if nothing follows for a while.
            hostEventQueue_.releasePopped();
        }
        std::uint32_t end = std::min(length, clock_.dueOffset());
        if (const QX::MessageQueueItem* next = hostEventQueue_.peek()) {
            if (next->frameOffset >= pos && next->frameOffset < end)
                end = next->frameOffset;
        }
        if (end <= pos)
            end = pos + 1;
        updateEngineParameters();
        encoder_.renderSamples(output + pos, static_cast<int>(end - pos),
                               test_.on() ? &test_ : nullptr);
        pos = end;
    }
    clock_.endBlock(length);
    roundTrip_.endBlock(encoder_.samplePosition());
    // Hosts must place events inside their block; one that did not would
    // otherwise wait for an offset that equal-sized blocks never reach, and
    // everything queued behind it with it.
    hostEventQueue_.rebaseUnread(length);
}

void ZephCorvane::drainTestInput() {
    std::size_t length = 0;
    while (inputPort_.takeMessage(received_.get(), length)) {
        const std::uint8_t* bytes = received_.get();
        const std::uint8_t b0 = length > 0 ? bytes[0] : 0;
        const std::uint8_t b1 = length > 1 ? bytes[1] : 0;
        const std::uint8_t b2 = length > 2 ? bytes[2] : 0;
        historyWriter_.add(kHistoryReceivedTestInput, static_cast<std::uint32_t>(length), b0, b1,
                           b2, bytes);
        // Taken at the block's start: the round trip ends here, to within
        // the block in which it arrived.
        roundTrip_.received(static_cast<std::uint32_t>(length), b0, b1, b2,
                            encoder_.samplePosition());
    }
}

void ZephCorvane::encodeHostMessage(const QX::MessageQueueItem& item) {
    readChannelParameters();
    if (test_.on())
        return;

    if (item.kind == QX::MessageQueueItem::kSysEx) {
        encoder_.sendSysex(item.sysex.first, item.sysex.firstLength, item.sysex.second,
                           item.sysex.secondLength);
        return;
    }
    if (item.kind != QX::MessageQueueItem::kMidi)
        return;

    const std::uint8_t nibble = item.status & 0xF0;
    const std::uint8_t low = item.channel & 0x0F;
    const std::uint8_t incoming = static_cast<std::uint8_t>(nibble | low);
    std::uint32_t length = 0;
    if (nibble == 0xF0) {
        switch (low) {
            case 1:
            case 3:
                length = 2;
                encoder_.sendMidi2(incoming, item.data1);
                break;
            case 2:
                length = 3;
                encoder_.sendMidi3(incoming, item.data1, item.data2);
                break;
            case 6:
            case 8:
            case 10:
            case 11:
            case 12:
            case 14:
            case 15:
                length = 1;
                encoder_.sendMidi1(incoming);
                break;
            default:  // a sysex start or end alone, undefined statuses: dropped
                return;
        }
    } else if (nibble >= 0x80) {
        if (midiChannel_ <= 0)
            return;
        if (midiChannel_ != 17 && midiChannel_ != low + 1)
            return;
        const std::uint8_t status =
            channelise_ >= 1 ? static_cast<std::uint8_t>(nibble | (channelise_ - 1)) : incoming;
        if (nibble == 0xC0 || nibble == 0xD0) {
            length = 2;
            encoder_.sendMidi2(status, item.data1);
        } else {
            length = 3;
            encoder_.sendMidi3(status, item.data1, item.data2);
        }
    } else {
        return;
    }
    // Logged as received even when the encoder had no room for it.
    historyWriter_.add(kHistoryReceivedPluginInput, length, incoming, length >= 2 ? item.data1 : 0,
                       length == 3 ? item.data2 : 0);
}

void ZephCorvane::handleControlMessage(QX::MessageQueueItem& item) {
    if (item.kind != QX::MessageQueueItem::kPropertyTrigger ||
        item.propertyId() != prop::kDontPanic)
        return;
    // All Sound Off on every channel, through the host path: filtered,
    // re-channelled and logged like host MIDI.
    QX::MessageQueueItem allSoundOff;
    allSoundOff.kind = QX::MessageQueueItem::kMidi;
    allSoundOff.status = 0xB0;
    allSoundOff.data1 = 120;
    allSoundOff.data2 = 0;
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        allSoundOff.channel = channel;
        encodeHostMessage(allSoundOff);
    }
}

}  // namespace QX4Controller
