#!/usr/bin/env python3
"""Writes example.mid: a short format-1 Standard MIDI File for tavro-render.

Track 1 is the tempo map: 120 BPM in 4/4, slowing to 90 BPM at bar 3.
Track 2 plays four bars on MIDI channel 1: a General MIDI System On message
(system exclusive), a program change, volume and pan, a C major phrase whose
Note Offs are written as Note On with velocity 0 under running status, a
pitch bend down and back, and a sustain pedal press and release.

Plain python3, no modules beyond the standard library:
    python3 make-example-midi.py [OUTPUT]     (default: example.mid beside this script)
"""

import os
import struct
import sys

TICKS_PER_QUARTER = 480
BAR = 4 * TICKS_PER_QUARTER


def vlq(value):
    """A variable-length quantity: seven bits a byte, most significant first."""
    if not 0 <= value <= 0x0FFFFFFF:
        raise ValueError("delta time out of range: %d" % value)
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def chunk(tag, data):
    return tag + struct.pack(">I", len(data)) + data


def track(events):
    """events: (absolute tick, raw event bytes) in time order; bytes as they
    go into the file, so running status is up to the caller."""
    data = b""
    now = 0
    for tick, raw in events:
        if tick < now:
            raise ValueError("events out of order at tick %d" % tick)
        data += vlq(tick - now) + raw
        now = tick
    return chunk(b"MTrk", data)


def meta(kind, payload):
    return bytes([0xFF, kind]) + vlq(len(payload)) + payload


def tempo(bpm):
    return meta(0x51, (round(60_000_000 / bpm)).to_bytes(3, "big"))


def sysex(payload):
    """payload: the bytes after 0xF0, ending with 0xF7."""
    return bytes([0xF0]) + vlq(len(payload)) + payload


END_OF_TRACK = meta(0x2F, b"")


def tempo_track():
    return track([
        (0, meta(0x03, b"tavro example")),
        (0, meta(0x58, bytes([4, 2, 24, 8]))),  # 4/4, 24 clocks a click, 8 32nds a quarter
        (0, tempo(120)),
        (2 * BAR, tempo(90)),
        (4 * BAR, END_OF_TRACK),
    ])


def music_track():
    q = TICKS_PER_QUARTER
    events = [
        (0, meta(0x03, b"melody")),
        (0, sysex(bytes([0x7E, 0x7F, 0x09, 0x01, 0xF7]))),  # General MIDI System On
        (0, bytes([0xC0, 0])),          # program change: piano
        (0, bytes([0xB0, 7, 100])),     # volume
        (0, bytes([0xB0, 10, 64])),     # pan centre
    ]
    # From beat 2 of bar 1: eight quarter notes. Status 0x90 is written once;
    # every note on and note off (velocity 0) after it uses running status.
    melody = [60, 62, 64, 65, 67, 65, 64, 62]
    for i, note in enumerate(melody):
        start = q + i * q
        on = bytes([0x90, note, 96]) if i == 0 else bytes([note, 96])
        events.append((start, on))
        events.append((start + q - q // 8, bytes([note, 0])))
    # Beat 2 of bar 3 (at 90 BPM): a held chord with the sustain pedal and a pitch bend
    # down a whole tone and back.
    bar3 = q + 2 * BAR
    events += [
        (bar3, bytes([0xB0, 64, 127])),  # sustain pedal down
        (bar3, bytes([0x90, 60, 80])),
        (bar3, bytes([64, 80])),
        (bar3, bytes([67, 80])),
        (bar3 + q, bytes([0xE0, 0x00, 0x20])),       # bend down
        (bar3 + 2 * q, bytes([0x00, 0x30])),         # running status: partly back
        (bar3 + 3 * q, bytes([0x00, 0x40])),         # centre
        (bar3 + BAR - q // 2, bytes([0x80, 60, 64])),
        (bar3 + BAR - q // 2, bytes([64, 64])),
        (bar3 + BAR - q // 2, bytes([67, 64])),
        (bar3 + BAR - q // 4, bytes([0xB0, 64, 0])),  # pedal up
        (bar3 + BAR, END_OF_TRACK),
    ]
    events.sort(key=lambda e: e[0])  # stable: same-tick events keep their order
    return track(events)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "example.mid")
    header = chunk(b"MThd", struct.pack(">HHH", 1, 2, TICKS_PER_QUARTER))
    with open(path, "wb") as f:
        f.write(header + tempo_track() + music_track())


if __name__ == "__main__":
    main()
