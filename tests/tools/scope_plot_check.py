#!/usr/bin/env python3
"""tavro-decode --plot, read back as a program reads an SVG file.

usage: scope_plot_check.py TAVRO-RENDER TAVRO-DECODE PLUGIN FILE.mid WORKDIR

Renders FILE.mid, then checks the pictures tavro-decode draws of it: well-
formed XML; one frame per byte played, each at the x of its start sample and
none marked as an error; the messages named at their first byte. Then it
damages one byte's stop bit in the recording: that byte, and only it, is
drawn in red.
"""
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

SVG = "{http://www.w3.org/2000/svg}"
LEFT, PLOT_WIDTH = 70, 1600 - 70 - 20


def run(*command):
    return subprocess.run([str(c) for c in command], check=True, capture_output=True,
                          text=True).stdout


def plot(decode, wav, svg, *window):
    run(decode, wav, "--plot", svg, *window)
    root = ET.parse(svg).getroot()
    frames = [g for g in root.iter(SVG + "g") if "byte" in g.get("class", "").split()]
    names = [t for t in root.iter(SVG + "text") if "message" in t.get("class", "").split()]
    return frames, names


def check_frames(frames, first, last, problems):
    for g in frames:
        sample = int(g.get("data-sample"))
        x = float(g.find(SVG + "rect").get("x"))
        expected = LEFT + (sample - first) * PLOT_WIDTH / (last - first)
        if abs(x - expected) > 0.01:
            problems.append(f"the byte at {sample} is drawn at x {x}, not {expected:.2f}")


def main(render, decode, plugin, midi, workdir):
    work = Path(workdir)
    work.mkdir(parents=True, exist_ok=True)
    wav, events = work / "plot.wav", work / "plot-events.tsv"
    run(render, plugin, midi, wav, "--events", events)
    played = [line.split("\t") for line in events.read_text().splitlines()
              if line.startswith("event\t")]
    byte_count = sum(len(fields[2].split()) for fields in played)
    problems = []

    frames, _ = plot(decode, wav, work / "whole.svg")
    title = ET.parse(work / "whole.svg").getroot().find(SVG + "text").text
    total = int(title.split(" to ")[1].split(",")[0])
    if len(frames) != byte_count:
        problems.append(f"{len(frames)} frames drawn for {byte_count} bytes played")
    check_frames(frames, 0, total, problems)
    if any("error" in g.get("class") for g in frames):
        problems.append("a clean render has frames marked as errors")

    # Zoomed in on the first messages: every name is shown, at its first byte.
    frames, names = plot(decode, wav, work / "start.svg", "--from", "0", "--to", "300")
    check_frames(frames, 0, 300, problems)
    decoded = {int(f[1]): f[3] for f in (line.split("\t") for line in
               run(decode, wav, "--format", "tsv").splitlines()) if f[0] == "message"}
    shown = {int(t.get("data-sample")): t.text for t in names}
    wanted = {s: n for s, n in decoded.items() if s < 300}
    if sorted(shown) != sorted(wanted) or any(not shown[s].startswith(wanted[s]) for s in wanted):
        problems.append(f"names shown {shown}, messages decoded {wanted}")

    # The stop bit of the fifth byte held active: that byte turns red.
    damaged = sorted(int(g.get("data-sample")) for g in frames)[4]
    data = bytearray(wav.read_bytes())
    offset = data.index(b"data") + 8
    stop = damaged + 13  # at 44100 Hz the stop bit is the byte's 14th sample
    struct.pack_into("<f", data, offset + 4 * stop, 1.0)
    bad = work / "damaged.wav"
    bad.write_bytes(data)
    frames, names = plot(decode, bad, work / "damaged.svg", "--from", "0", "--to", "300")
    red = [int(g.get("data-sample")) for g in frames if "error" in g.get("class")]
    if red != [damaged]:
        problems.append(f"frames in red at {red}, expected only the damaged byte at {damaged}")
    if not any("error" in t.get("class") for t in names):
        problems.append("no framing error named above the damaged byte")

    for p in problems:
        print(p)
    print(f"plot: {byte_count} bytes, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
