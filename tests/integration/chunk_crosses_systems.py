#!/usr/bin/env python3
"""A state saved by the Windows plug-in restores in the Linux one and back,
byte for byte.

usage: chunk_crosses_systems.py LINUX_TOOL LINUX_PLUGIN WINE_RUN WINDOWS_TOOL WINDOWS_PLUGIN
"""
import os
import struct
import subprocess
import sys
import tempfile
from pathlib import Path


def entry(tag, data):
    data = data + b"\0" * (-len(data) % 4)
    return tag[::-1].encode() + struct.pack("<I", len(data)) + data


def vendor_version():
    """The build's version as the state carries it (see Version.h.in)."""
    major, minor, patch = (int(x) for x in os.environ["TAVRO_VERSION"].split("."))
    return major << 16 | minor << 8 | patch


def chunk():
    values = [0.5, 1.0, 3.7, 1.0, 66.0, 1.0, 0.0, 0.0, 50.0, 0.0, -12.5, 0.0, 10.0, 1.0,
              1.0, 0.0, 0.0, 0.0, 125.0, 4.0, 192.0, 5.0, 64.0, 2.0, 0.5, 2.0, 0.77097505, 1.0]
    body = (entry("puid", b"vtXQ") + entry("vers", struct.pack("<I", vendor_version()))
            + entry("parm", struct.pack("<28f", *values)) + entry("teep", b"Loop In\0"))
    return struct.pack("<III", 0x5A657068, 1, len(body)) + body


def run(command):
    result = subprocess.run(command, capture_output=True, text=True, timeout=120)
    if result.returncode != 0:
        sys.exit(f"failed: {' '.join(command)}\n{result.stdout}{result.stderr}")


def main(linux_tool, linux_plugin, wine_run, windows_tool, windows_plugin):
    with tempfile.TemporaryDirectory() as folder:
        d = Path(folder)
        (d / "start.chunk").write_bytes(chunk())
        windows = [wine_run, windows_tool, windows_plugin]
        run(windows + ["--load", str(d / "start.chunk"), "--save", str(d / "windows.chunk")])
        run([linux_tool, linux_plugin, "--load", str(d / "windows.chunk"),
             "--save", str(d / "linux.chunk")])
        run(windows + ["--load", str(d / "linux.chunk"), "--save", str(d / "back.chunk")])
        saved = (d / "windows.chunk").read_bytes()
        if len(saved) != 172:
            sys.exit(f"the Windows plug-in saved {len(saved)} bytes, expected 172")
        for name in ("linux.chunk", "back.chunk"):
            if (d / name).read_bytes() != saved:
                sys.exit(f"{name} differs from the state the Windows plug-in saved")
        print("1 passed, 0 failed")


if __name__ == "__main__":
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    main(*sys.argv[1:])
