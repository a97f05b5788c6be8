#!/usr/bin/python3
"""What raw input and GetAsyncKeyState show under Wine while `wine notepad`
has the focus: runs snapwick_raw_input_probe.exe (a message-only window
registered with RIDEV_INPUTSINK, and a 50 ms timer that looks at the key's
state) on a virtual display of its own, presses keys with xdotool and prints
what the probe saw beside what was pressed. Not a test.

    raw_input_under_wine.py [--probe EXE]
"""

import argparse
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))
from wine import WineScenario  # noqa: E402

# (what is pressed, the xdotool arguments) in order, with a second between
# them; the probe watches F8 and then Shift.
F8_ACTIONS = [
    ("F8 held 0.3 s", ["keydown", "F8", "sleep", "0.3", "keyup", "F8"]),
    ("F8 tapped: keydown, 20 ms, keyup", ["keydown", "F8", "sleep", "0.02", "keyup", "F8"]),
    ("F8 tapped: keydown, keyup at once", ["key", "F8"]),
    ("F8 held 1 s (auto-repeat)", ["keydown", "F8", "sleep", "1", "keyup", "F8"]),
]
SHIFT_ACTIONS = [
    ("left Shift tapped", ["keydown", "Shift_L", "sleep", "0.1", "keyup", "Shift_L"]),
    ("right Shift tapped", ["keydown", "Shift_R", "sleep", "0.1", "keyup", "Shift_R"]),
    ("right Ctrl tapped", ["keydown", "Control_R", "sleep", "0.1", "keyup", "Control_R"]),
    ("Insert tapped", ["keydown", "Insert", "sleep", "0.1", "keyup", "Insert"]),
]


def run_probe(s, probe, key, actions):
    if not probe.is_file():
        raise SystemExit(f"no {probe}: build the windows preset's snapwick_raw_input_probe first")
    log = s.out / f"probe-{key}.txt"
    proc = subprocess.Popen(["wine", str(probe), "--seconds", str(len(actions) * 2 + 4), "--key", key],
                            env=s.env, stdout=open(log, "w"), stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 30
    while "ready" not in log.read_text() and time.monotonic() < deadline:
        time.sleep(0.1)
    notepad = s.start_notepad() if not s.windows(r".*Notepad") else None
    if notepad is None:
        s.windows(r".*Notepad")[0].focus()
    time.sleep(1)
    for what, args in actions:
        print(f"-- {what}", flush=True)
        before = log.read_text().count("\n")
        s.x(["xdotool", *args])
        time.sleep(1.5)
        lines = log.read_text().splitlines()[before:]
        for line in lines:
            print(f"   {line}")
        if not lines:
            print("   (nothing)")
    proc.wait(timeout=60)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--probe", default=str(REPO / "build" / "windows" / "bench" /
                                               "snapwick_raw_input_probe.exe"))
    args = parser.parse_args()
    s = WineScenario("raw_input_under_wine")
    try:
        s.setup()
        print(f"wine {subprocess.run(['wine', '--version'], capture_output=True, text=True).stdout.strip()}, "
              f"Xvfb {s.display.name}; notepad in front", flush=True)
        run_probe(s, Path(args.probe).resolve(), "0x77", F8_ACTIONS)
        run_probe(s, Path(args.probe).resolve(), "0x10", SHIFT_ACTIONS)
    finally:
        s.teardown()


if __name__ == "__main__":
    main()
