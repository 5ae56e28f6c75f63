#!/usr/bin/env python3
"""The Windows plug-in's OSC server, running under Wine, answers "/ping" and
"/get" from liblo's tools on Linux over loopback.

usage: osc_wine_peer.py WINE_RUN HOST_EXE PLUGIN_DLL OSCSEND OSCDUMP
"""
import os
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path

OFFSET = 5


def port_is_free(port):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        try:
            s.bind(("0.0.0.0", port))
            return True
        except OSError:
            return False


def free_base():
    """A base port with base + OFFSET and the peer's port free."""
    start = 21000 + (int(time.time() * 1000) % 200) * 150
    for base in range(start, 64000, 150):
        if port_is_free(base + OFFSET) and port_is_free(base + 101):
            return base
    sys.exit("no free UDP ports")


def wait_until(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return
        time.sleep(0.05)
    sys.exit(f"timed out waiting for {what}")


def wine_path(path):
    # Under Wine a Unix path is read relative to the current drive.
    return "Z:" + str(Path(path).resolve())


def main(wine_run, host_exe, plugin_dll, oscsend, oscdump):
    base = free_base()
    server = base + OFFSET
    peer = base + 101
    url = f"osc.udp://127.0.0.1:{peer}"
    with tempfile.TemporaryDirectory() as folder:
        d = Path(folder)
        stop = d / "stop"
        dump_file = d / "dump.txt"
        with open(dump_file, "w") as out:
            dump = subprocess.Popen([oscdump, "-L", str(peer)], stdout=out,
                                    stderr=subprocess.STDOUT)
        host = subprocess.Popen([wine_run, host_exe, wine_path(plugin_dll), str(base),
                                 str(OFFSET), wine_path(stop), "120"],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        try:
            wait_until(lambda: not port_is_free(peer), 10, "oscdump")
            # The first run of a Wine prefix takes a while to set itself up.
            wait_until(lambda: not port_is_free(server) or host.poll() is not None, 120,
                       "the plug-in's OSC server")
            if host.poll() is not None:
                sys.exit(f"the Windows host ended early:\n{host.stdout.read()}{host.stderr.read()}")
            for args in (["/ping", "ss", url, "/pong"], ["/get", "iss", "4", url, "/v"]):
                subprocess.run([oscsend, "127.0.0.1", str(server)] + args, check=True,
                               timeout=20)

            def messages():
                lines = dump_file.read_text().splitlines()
                return [line[line.index(" /") + 1:] for line in lines if " /" in line]

            wait_until(lambda: len(messages()) >= 2, 20, "the replies")
            version = os.environ["TAVRO_VERSION"]
            expected = [f'/pong ss "osc.udp://127.0.0.1:{server}" "tavro {version}"',
                        "/v if 4 50.000000"]
            got = messages()
            if got != expected:
                sys.exit(f"replies differ:\n  got      {got}\n  expected {expected}")
        finally:
            stop.touch()
            try:
                host.wait(timeout=60)
            except subprocess.TimeoutExpired:
                host.kill()
            dump.terminate()
            dump.wait(timeout=10)
    print("1 passed, 0 failed")


if __name__ == "__main__":
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    main(*sys.argv[1:])
