#!/usr/bin/env python3
"""Decodes renders of the example by the README's description of the signal.

usage: readme_adapter_decode.py README.md TAVRO-RENDER PLUGIN FILE.mid WORKDIR

Someone building an adapter or a decoder of their own reads the README, not
the encoder. For every rate in the README's table this renders FILE.mid
through PLUGIN with the Softly filter off, then reads the audio by the
README's rules alone (idle 0.0, the start bit and 0 bits at +Level, the
listed samples per bit, one idle sample after the stop bit), requiring every
sample of every bit to be at its bit's level. The bytes must be those the
render played, in order, none starting before its event. Exits 1 on any
difference.
"""
import re
import struct
import subprocess
import sys
from pathlib import Path

LEVEL = 1.0


def adapter_table(readme):
    """{rate in Hz: (bit lengths, samples per byte)} from the README."""
    text = Path(readme).read_text(encoding="utf-8")
    section = text.split("## The adapter, in principle", 1)[1].split("\n## ", 1)[0]
    rows = {}
    for m in re.finditer(r"^\s*\|\s*([\d.]+)\s*\|\s*([\d ]+?)\s*\|\s*(\d+)\s*\|\s*$", section, re.M):
        bits = [int(x) for x in m.group(2).split()]
        rows[round(float(m.group(1)) * 1000)] = (bits, int(m.group(3)))
    if not rows:
        sys.exit("no rate table in the README's adapter section")
    return rows


def read_float_wav(path):
    data = Path(path).read_bytes()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        sys.exit(f"{path}: not a WAV file")
    pos, fmt = 12, None
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], struct.unpack_from("<I", data, pos + 4)[0]
        body = data[pos + 8:pos + 8 + size]
        if tag == b"fmt ":
            fmt = struct.unpack_from("<HHIIHH", body)
        elif tag == b"data":
            if fmt is None or fmt[0] != 3 or fmt[1] != 1 or fmt[5] != 32:
                sys.exit(f"{path}: expected mono 32-bit float, got {fmt}")
            return struct.unpack(f"<{size // 4}f", body[:size // 4 * 4])
        pos += 8 + size + (size & 1)
    sys.exit(f"{path}: no data chunk")


def decode(samples, bits, per_byte):
    """Bytes and the samples where their start bits begin, by the README."""
    out, problems, i = [], [], 0
    while i < len(samples):
        if samples[i] == 0.0:
            i += 1
            continue
        start, value, at = i, 0, i
        for k, length in enumerate(bits):
            levels = set(samples[at:at + length])
            if len(levels) != 1 or levels - {0.0, LEVEL}:
                problems.append(f"byte at {start}: bit {k} is not one level over its {length} samples")
            on = samples[at] == LEVEL
            if k == 0 and not on or k == 9 and on:
                problems.append(f"byte at {start}: {'start' if k == 0 else 'stop'} bit at the wrong level")
            if 1 <= k <= 8 and not on:
                value |= 1 << (k - 1)
            at += length
        if at - start + 1 != per_byte:
            problems.append(f"the table's bits add up to {at - start}, not {per_byte} - 1")
        out.append((start, value))
        i = start + per_byte
    return out, problems


def played(events_path):
    stream = []
    for line in Path(events_path).read_text().splitlines():
        fields = line.split("\t")
        if fields[0] == "event":
            stream += [(int(fields[1]), int(b, 16)) for b in fields[2].split()]
    return stream


def main(readme, render, plugin, midi, workdir):
    workdir = Path(workdir)
    workdir.mkdir(parents=True, exist_ok=True)
    failed = False
    for rate, (bits, per_byte) in sorted(adapter_table(readme).items()):
        wav, events = workdir / f"readme-{rate}.wav", workdir / f"readme-{rate}.tsv"
        subprocess.run([render, plugin, midi, str(wav), "--rate", str(rate), "--format", "float",
                        "--set", "Softly=Off", "--events", str(events)],
                       check=True, stdout=subprocess.DEVNULL)
        heard, problems = decode(read_float_wav(wav), bits, per_byte)
        sent = played(events)
        if [b for _, b in heard] != [b for _, b in sent]:
            problems.append(f"decoded {len(heard)} bytes, played {len(sent)}; first difference at "
                            + str(next((k for k, (h, s) in enumerate(zip(heard, sent)) if h[1] != s[1]),
                                       min(len(heard), len(sent)))))
        early = [(h, s) for (h, _), (s, _) in zip(heard, sent) if h < s]
        if early:
            problems.append(f"{len(early)} bytes start before their event, first at {early[0][0]}")
        print(f"{rate} Hz: {len(heard)} bytes decoded by the README, {len(problems)} problems")
        for p in problems[:10]:
            print(f"  {p}")
        failed |= bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
