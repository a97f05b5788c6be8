#!/usr/bin/python3
"""One copy runs per user and display: a second start, from the same folder
or from another copy, ends within 5 s with status 0 and shows nothing, while
the first keeps its window and tray icon and goes on shooting. A copy killed
outright leaves no lock behind, and SIGTERM, SIGINT and SIGHUP end a copy
with status 0 and its tray icon gone."""
import re
import signal

from native import run
from snapwick import TITLE_F8, press_until_new_file
from xdisplay import expect, holds_for, wait_until


def body(s):
    folder = s.install_app()
    other = s.install_app("Another copy")
    first, window = s.start_snapwick(folder)
    wait_until(s.tray_icon, 10, "the first copy's icon did not dock in the tray")
    icon = s.tray_icon()

    for case, where in (("same folder", folder), ("another copy", other)):
        second = s.start_app(where, tag=f"second_{case.replace(' ', '_')}")
        code = second.wait_exit(5)
        expect(code is not None, f"{case}: the second start was still running 5 s later")
        expect(code == 0, f"{case}: the second start ended with status {code}")
        expect(not s.program_windows(second.proc.pid, visible_only=False),
               f"{case}: the second start left a window")
        titled = s.windows(re.escape(TITLE_F8), visible_only=True)
        expect([w.id for w in titled] == [window.id], f"{case}: windows titled {TITLE_F8!r}: {titled}")
        expect([w.id for w in s.tray_icons()] == [icon.id], f"{case}: the tray holds {s.tray_icons()}")
        expect(holds_for(first.alive, 1.0), f"{case}: the first copy ended")
        expect(not (other / "pic").exists(), f"{case}: the second start made {other / 'pic'}")

    before = len(first.shots())
    press_until_new_file(s, window, "F8", first.pic)
    expect(len(first.shots()) > before, "the first copy made no shot after the second starts")

    # Killed outright, the first copy cannot clean up; its lock goes with it.
    first.proc.kill()
    first.wait_exit(10)
    wait_until(lambda: s.tray_icon() is None, 10, "the killed copy's icon stayed in the tray")
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        app, _ = s.start_snapwick(other, tag=f"after_{sig.name}")
        wait_until(s.tray_icon, 10, f"no tray icon for the copy started before {sig.name}")
        app.proc.send_signal(sig)
        code = app.wait_exit(10)
        expect(code == 0, f"{sig.name} ended the program with status {code}")
        wait_until(lambda: s.tray_icon() is None, 10, f"the tray icon outlived the program after {sig.name}")
        said = app.log_path.read_text(errors="replace").strip()
        expect(not said, f"the program wrote {said!r} before it ended on {sig.name}")


run("second_instance", body, deadline=90)
