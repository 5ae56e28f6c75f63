#!/usr/bin/env python3
"""Draws the adapter schematic into docs/adapter.svg (or the path given).

usage: draw-adapter.py [OUT.svg]

One NPN stage: while tavro's signal is positive (the start bit and every 0
bit) the transistor conducts and the MIDI current loop carries current, as a
MIDI OUT does for those bits; at 0.0 (idle, 1 bits, the stop bit) it is off.
The SVG is written by hand so that the picture needs nothing but python3.
"""
import sys
from pathlib import Path

RAIL, GROUND = 60, 330  # y of the +5 V rail and of ground
BASE_Y = 200            # y of the signal into the base
parts = []


def add(text):
    parts.append(text)


def wire(*points):
    add('<polyline class="wire" points="' + " ".join(f"{x},{y}" for x, y in points) + '"/>')


def dot(x, y):
    add(f'<circle cx="{x}" cy="{y}" r="3.5" fill="#000"/>')


def label(x, y, text, anchor="start", size=13, weight="normal"):
    add(f'<text x="{x}" y="{y}" text-anchor="{anchor}" font-size="{size}" '
        f'font-weight="{weight}">{text}</text>')


def resistor(x1, y1, x2, y2, name, value, label_left=False):
    """A resistor (IEC box) between two points on a horizontal or vertical line."""
    horizontal = y1 == y2
    length = abs(x2 - x1) if horizontal else abs(y2 - y1)
    body, gap = 44, (abs(x2 - x1 if horizontal else y2 - y1) - 44) / 2
    if horizontal:
        left = min(x1, x2)
        wire((left, y1), (left + gap, y1))
        wire((left + gap + body, y1), (left + length, y1))
        add(f'<rect class="part" x="{left + gap}" y="{y1 - 8}" width="{body}" height="16"/>')
        label(left + length / 2, y1 - 14, f"{name} {value}", "middle")
    else:
        top = min(y1, y2)
        wire((x1, top), (x1, top + gap))
        wire((x1, top + gap + body), (x1, top + length))
        add(f'<rect class="part" x="{x1 - 8}" y="{top + gap}" width="16" height="{body}"/>')
        if label_left:
            label(x1 - 14, top + length / 2 + 4, f"{name} {value}", "end")
        else:
            label(x1 + 14, top + length / 2 + 4, f"{name} {value}")


def diode_up(x, y_anode, y_cathode, name, value):
    """A diode from ground (anode, below) up to a node (cathode, above)."""
    mid = (y_anode + y_cathode) / 2
    wire((x, y_anode), (x, mid + 10))
    wire((x, mid - 10), (x, y_cathode))
    add(f'<polygon class="part" points="{x - 10},{mid + 10} {x + 10},{mid + 10} {x},{mid - 8}"/>')
    add(f'<line class="wire" x1="{x - 10}" y1="{mid - 9}" x2="{x + 10}" y2="{mid - 9}"/>')
    label(x + 16, mid + 4, f"{name} {value}")


def ground(x, y):
    for i, half in enumerate((14, 9, 4)):
        add(f'<line class="wire" x1="{x - half}" y1="{y + 5 * i}" x2="{x + half}" y2="{y + 5 * i}"/>')


def npn(x, y, name, value):
    """An NPN transistor whose base enters at (x, y); returns (collector, emitter)."""
    add(f'<circle class="part" cx="{x + 22}" cy="{y}" r="26"/>')
    add(f'<line class="wire" x1="{x + 12}" y1="{y - 16}" x2="{x + 12}" y2="{y + 16}" '
        'stroke-width="3"/>')
    wire((x, y), (x + 12, y))
    collector, emitter = (x + 34, y - 40), (x + 34, y + 40)
    wire((x + 12, y - 7), (x + 34, y - 22), collector)
    wire((x + 12, y + 7), (x + 34, y + 22), emitter)
    add(f'<polygon points="{x + 34},{y + 22} {x + 22},{y + 20} {x + 28},{y + 12}" fill="#000"/>')
    label(x + 52, y - 2, name, weight="bold")
    label(x + 52, y + 14, value)
    return collector, emitter


def draw():
    add('<rect width="100%" height="100%" fill="#fff"/>')
    label(20, 28, "tavro adapter: sound-card output to a MIDI input (one NPN stage, 5 V current loop)",
          size=16, weight="bold")

    # Audio input: a jack's tip and sleeve.
    label(20, BASE_Y - 46, "Audio output of the")
    label(20, BASE_Y - 30, "sound card (tip)")
    add(f'<circle class="part" cx="40" cy="{BASE_Y}" r="5"/>')
    add(f'<circle class="part" cx="40" cy="{GROUND}" r="5"/>')
    label(20, GROUND + 24, "sleeve (ground)")
    wire((45, GROUND), (590, GROUND))

    # Base network: series resistor, pull-down, clamp against negative swings.
    resistor(45, BASE_Y, 185, BASE_Y, "R1", "1 k\u03a9")  # label above the line
    wire((185, BASE_Y), (300, BASE_Y))
    dot(215, BASE_Y)
    dot(260, BASE_Y)
    resistor(215, BASE_Y, 215, GROUND, "R2", "10 k\u03a9", label_left=True)
    diode_up(260, GROUND, BASE_Y, "D1", "1N4148")
    dot(215, GROUND)
    dot(260, GROUND)

    collector, emitter = npn(300, BASE_Y, "Q1", "BC547 / 2N3904")
    wire(emitter, (emitter[0], GROUND))
    dot(emitter[0], GROUND)
    ground(emitter[0], GROUND + 12)
    add(f'<line class="wire" x1="{emitter[0]}" y1="{GROUND}" x2="{emitter[0]}" y2="{GROUND + 12}"/>')

    # The current loop: +5 V through R4 to pin 4, back from pin 5 through R3
    # to the collector.
    socket_x, pin4_y, pin5_y, pin2_y = 600, 110, 150, 190
    wire((collector[0], collector[1]), (collector[0], pin5_y - 50), (420, pin5_y - 50))
    resistor(420, pin5_y - 50, 540, pin5_y - 50, "R3", "220 \u03a9")
    wire((540, pin5_y - 50), (560, pin5_y - 50), (560, pin5_y), (socket_x, pin5_y))
    label(20, RAIL + 4, "+5 V (a USB port, or a 9 V battery through a 78L05)")
    add(f'<circle class="part" cx="400" cy="{RAIL}" r="5"/>')
    wire((405, RAIL), (420, RAIL))
    resistor(420, RAIL, 540, RAIL, "R4", "220 \u03a9")
    wire((540, RAIL), (580, RAIL), (580, pin4_y), (socket_x, pin4_y))
    wire((socket_x, pin2_y), (590, pin2_y), (590, GROUND))
    dot(590, GROUND)

    add(f'<rect class="part" x="{socket_x}" y="{pin4_y - 30}" width="150" height="140" rx="10"/>')
    label(socket_x + 75, pin4_y - 40, "5-pin DIN socket", "middle", weight="bold")
    for y, pin, role in ((pin4_y, 4, "current out"), (pin5_y, 5, "current back"), (pin2_y, 2, "shield")):
        add(f'<circle cx="{socket_x}" cy="{y}" r="4" fill="#000"/>')
        label(socket_x + 12, y + 5, f"pin {pin}: {role}")
    label(socket_x + 75, pin2_y + 60, "MIDI cable to the", "middle")
    label(socket_x + 75, pin2_y + 76, "instrument's MIDI IN", "middle")

    notes = [
        "Q1 conducts while the signal is above about 0.75 V: tavro's start bit and 0 bits (+Level)",
        "switch about 5 mA through the instrument's opto-coupler; 0.0 (idle, 1 bits, stop bit) leaves it off.",
        "Give it at least 1.2 V peak, better 2 V: Output Level 1.0 (0 dBFS) on a line or headphone output.",
        "D1 keeps the sound card's AC coupling from driving the base below ground during dense traffic.",
        "R3 and R4 are the 220 \u03a9 of a 5 V MIDI output; pin 2 is the cable's shield, grounded here only.",
    ]
    for i, note in enumerate(notes):
        label(20, GROUND + 60 + 18 * i, note, size=12)


def main(out):
    draw()
    svg = ('<?xml version="1.0" encoding="UTF-8"?>\n'
           '<svg xmlns="http://www.w3.org/2000/svg" width="800" height="490" viewBox="0 0 800 490" '
           'font-family="sans-serif">\n'
           '<style>.wire{fill:none;stroke:#000;stroke-width:2}'
           '.part{fill:#fff;stroke:#000;stroke-width:2}</style>\n'
           + "\n".join(parts) + "\n</svg>\n")
    Path(out).write_text(svg, encoding="utf-8")


if __name__ == "__main__":
    default = Path(__file__).resolve().parent.parent / "docs" / "adapter.svg"
    main(sys.argv[1] if len(sys.argv) > 1 else default)
