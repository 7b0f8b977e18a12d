#!/usr/bin/env python3
"""Time from closing the main window to the end of the process, while connected to the built-in
virtual processor (the program writes "(01B)" on its way out).

Usage: bench/close_time.py build/src/quellmarin [runs]   (needs a display: run it under xvfb-run)
"""
import os
import subprocess
import sys
import time


def one_run(program):
    env = dict(os.environ, QUELLMARIN_TIMING="1", QUELLMARIN_NO_MESSAGE_BOX="1")
    proc = subprocess.Popen([program, "--virtual", "--connect", "--quit-after", "4000"],
                            stderr=subprocess.PIPE, stdout=subprocess.DEVNULL, env=env, text=True)
    closing = None
    connected = False
    for line in proc.stderr:
        if line.startswith("state: has been connected"):
            connected = True
        if line.startswith("closing"):
            closing = time.monotonic()
    proc.wait()
    end = time.monotonic()
    if closing is None:
        return None, connected
    return (end - closing) * 1000, connected


def main():
    program = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    times = []
    for _ in range(runs):
        ms, connected = one_run(program)
        if ms is None or not connected:
            print("a run did not connect or did not close")
            return 1
        times.append(ms)
    times.sort()
    print("close to end of process, connected, %d runs: median %.0f ms, worst %.0f ms"
          % (runs, times[len(times) // 2], times[-1]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
