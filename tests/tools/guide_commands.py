#!/usr/bin/env python3
"""Runs every command the musician's guide shows, so that it cannot go stale.

usage: guide_commands.py GUIDE.md DRAW-ADAPTER.py TAVRO-RENDER TAVRO-DECODE PLUGIN FILE.mid WORKDIR

Each line of the guide's sh blocks runs in WORKDIR with the tools and the
plug-in in place of their names, FILE.mid as song.mid and a render of it as
recording.wav (what a recording of a clean chain holds). Every command must
succeed; the pictures the guide shows must exist, and docs/adapter.svg must
be what the drawing script makes today.
"""
import re
import shlex
import shutil
import subprocess
import sys
from pathlib import Path


def main(guide, draw, render, decode, plugin, midi, workdir):
    render, decode, plugin, draw = (str(Path(p).resolve()) for p in (render, decode, plugin, draw))
    guide, work = Path(guide), Path(workdir)
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    shutil.copy(midi, work / "song.mid")
    names = {"tavro-render": render, "tavro-decode": decode, "tavro.so": plugin}
    text = guide.read_text(encoding="utf-8")
    problems = []

    subprocess.run([render, plugin, "song.mid", "recording.wav"], cwd=work, check=True,
                   capture_output=True)
    commands = [line for block in re.findall(r"```sh\n(.*?)```", text, re.S)
                for line in block.splitlines() if line.strip() and not line.startswith("#")]
    if not commands:
        problems.append("the guide shows no commands")
    for line in commands:
        words = [names.get(w, w) for w in shlex.split(line)]
        result = subprocess.run(words, cwd=work, capture_output=True, text=True)
        if result.returncode != 0:
            problems.append(f"'{line}' exited {result.returncode}: {result.stderr.strip()[-300:]}")

    for picture in re.findall(r"!\[[^]]*\]\(([^)]+)\)", text):
        if not (guide.parent / picture).is_file():
            problems.append(f"the guide shows {picture}, which does not exist")
    drawn = work / "adapter.svg"
    subprocess.run([sys.executable, draw, str(drawn)], check=True)
    if drawn.read_bytes() != (guide.parent / "adapter.svg").read_bytes():
        problems.append("docs/adapter.svg differs from what scripts/draw-adapter.py draws")

    for p in problems:
        print(p)
    print(f"guide: {len(commands)} commands run, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    if len(sys.argv) != 8:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
