#!/usr/bin/env python3
"""Compares the events a render played with what decoding its audio gave.

usage: roundtrip.py EVENTS.tsv DECODED.tsv

EVENTS.tsv comes from tavro-render --events, DECODED.tsv from tavro-decode
--format tsv. Every event must come back, in order and byte for byte, and
never before its sample; one that had to wait for the line (a message still
being sent) starts later. Prints a summary; exits 1 on any difference.
"""
import sys


def read(path, kind):
    rows = []
    with open(path) as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if fields[0] == kind:
                rows.append((int(fields[1]), fields[2]))
            elif fields[0] == "framing-error":
                rows.append((int(fields[1]), "framing error"))
    return rows


def main(events_path, decoded_path):
    events = read(events_path, "event")
    decoded = read(decoded_path, "message")
    problems = []
    if len(events) != len(decoded):
        problems.append(f"{len(events)} events played, {len(decoded)} messages decoded")
    on_time = 0
    latest = 0
    for i, ((sent_at, sent), (heard_at, heard)) in enumerate(zip(events, decoded)):
        if sent != heard:
            problems.append(f"message {i}: played {sent} at {sent_at}, decoded {heard}")
            continue
        delay = heard_at - sent_at
        if delay < 0:
            problems.append(f"message {i}: {sent} started {-delay} samples early")
        on_time += delay == 0
        latest = max(latest, delay)
    print(f"round trip: {len(events)} events played, {len(decoded)} messages decoded, "
          f"{on_time} started on their exact sample, the others waited at most {latest} samples "
          f"for the line")
    for p in problems[:20]:
        print(f"  {p}")
    print("round trip: " + ("every event came back" if not problems else "MISMATCH"))
    return 1 if problems else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
