#!/usr/bin/python3
"""The hotkey as the server's key events drive it, with xterm in front: a
20 ms tap of F8 makes exactly one shot, F8 held for 1 s makes 19 to 21 (one
a 50 ms tick), and with the window closed to the tray and no key pressed
the program does not run at all (its CPU time grows by at most one clock
tick over 20 s).

    key_wake.py DIST [POLL_ONLY_PROGRAM]

With the poll-only build of the program (what a server without XInput 2.1
gets) the hold gives the same, and at rest the program polls: a tap
shorter than a tick may fall between two polls, so it is not counted."""
import os
import shutil
import sys
import time
from pathlib import Path

from native import run
from shots import wait_for_shots
from xdisplay import expect, holds_for, wait_until

POLL_ONLY = Path(sys.argv[2]).resolve() if len(sys.argv) > 2 else None
HZ = os.sysconf("SC_CLK_TCK")


def cpu_ticks(pid):
    """utime + stime of the whole process, in clock ticks."""
    fields = Path(f"/proc/{pid}/stat").read_text().rpartition(")")[2].split()
    return int(fields[11]) + int(fields[12])


def wake_ups(pid):
    """Context switches of every thread: each is a wake-up or a preemption."""
    total = 0
    for task in Path(f"/proc/{pid}/task").iterdir():
        for line in (task / "status").read_text().splitlines():
            if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                total += int(line.split()[1])
    return total


def press(s, seconds):
    """F8 down and up from one xdotool, so that the time between is exact."""
    s.x(["xdotool", "keydown", "F8", "sleep", f"{seconds:.3f}", "keyup", "F8"], timeout=10 + seconds)


def new_shots(app, before):
    return [n for n in wait_for_shots(app) if n not in before]


def body(s):
    folder = s.install_app()
    if POLL_ONLY:
        shutil.copy2(POLL_ONLY, folder / "snapwick")
    app, window = s.start_snapwick(folder)
    wait_until(s.tray_icon, 10, "the program's icon did not dock in the tray")
    term, typed = s.start_terminal()

    if not POLL_ONLY:
        press(s, 0.02)
        shots = new_shots(app, [])
        expect(len(shots) == 1, f"a 20 ms tap of F8 made {len(shots)} shots: {shots}")

    before = app.shots()
    press(s, 1.0)
    shots = new_shots(app, before)
    expect(19 <= len(shots) <= 21, f"F8 held for 1 s made {len(shots)} shots, not 19 to 21")
    expect(term.has_focus(), "xterm lost the focus to the program")
    expect(typed.exists() and typed.read_bytes(), "xterm did not receive F8")

    window.close_box()
    wait_until(lambda: not window.viewable(), 10, "the close box did not hide the window")
    # Whatever the hide set going (the tray's repaint, the accessibility
    # bus's news) is over before the measurement.
    time.sleep(2)
    ticks, switches = cpu_ticks(app.proc.pid), wake_ups(app.proc.pid)
    expect(holds_for(app.alive, 20.0, interval=1.0), "the program ended at rest")
    ticks, switches = cpu_ticks(app.proc.pid) - ticks, wake_ups(app.proc.pid) - switches
    s.log(f"at rest for 20 s: {ticks} clock ticks of CPU, {switches} wake-ups")
    if POLL_ONLY:
        # Twenty ticks a second: the poll is what runs.
        expect(switches >= 200, f"the poll-only build woke only {switches} times in 20 s")
    else:
        expect(ticks <= 1, f"at rest the program used {ticks} clock ticks ({1000 * ticks // HZ} ms) in 20 s")
        expect(switches <= 20, f"at rest the program woke {switches} times in 20 s")

    # The hotkey still works from rest, with the window hidden.
    before = app.shots()
    press(s, 0.3)
    expect(new_shots(app, before), "F8 made no shot after the rest")
    expect(app.alive(), "the program ended")


run("key_wake_poll" if POLL_ONLY else "key_wake", body, deadline=120)
