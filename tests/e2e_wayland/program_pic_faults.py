"""pic/ taken away, made read-only or replaced by a file (the shared cases
of tests/e2e/fault_cases.py) and pic/ full (a small file system of its own)
while the program runs on a real headless sway as the session's user: F8
held makes no file and changes nothing in the program's folder, the program
goes on, and once the fault is cleared the next press makes whole shots,
whose counters show that the refused presses used up theirs.

    program_pic_faults.py
"""

import os
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from program import install, start  # noqa: E402  (first: it puts the shared X checks on the path)
from fault_cases import expect_fault_refused, expect_pic_folder_faults  # noqa: E402
from faults import can_mount_tmpfs, fill_disk, mount_tmpfs, unmount  # noqa: E402
from PIL import Image  # noqa: E402
from shots import shot_counter  # noqa: E402
from sway_session import expect, run  # noqa: E402

FAULT_HOLD_MS = "500"  # ten ticks, each a refused shot
FULL_DISK = 8 * 1024 * 1024


class SwayDriver:
    """The program on sway, its key typed by wtype; the sound is not
    checked here."""

    def __init__(self, s, sway, app):
        self.s, self.sway, self.app = s, sway, app

    def log(self, text):
        self.s.log(text)

    def shoot(self, key, what):
        """key tapped: new shots, each a whole JPEG of the output that
        decodes; returns their counters."""
        before = self.app.shots()
        self.sway.wtype("-P", key, "-s", "20", "-p", key)
        names = self.app.wait_shots(1, before=before)
        for name in names:
            with open(self.app.pic / name, "rb") as f:
                data = f.read()
            expect(data[:2] == b"\xff\xd8" and data[-2:] == b"\xff\xd9", f"{what}: {name} is not a whole JPEG")
            with Image.open(self.app.pic / name) as shot:
                shot.load()
                expect(shot.size == (1920, 1080), f"{what}: {name} is {shot.size}, not the 1920x1080 output")
        return [shot_counter(n) for n in names]

    def refuse(self, key):
        self.sway.wtype("-P", key, "-s", FAULT_HOLD_MS, "-p", key)

    def expect_silent(self, case):
        pass


def body(s):
    sway = s.sway("faults")
    folder = install(sway, "faults")
    app = start(s, sway, folder)
    expect_pic_folder_faults(SwayDriver(s, sway, app), app, folder)
    app.signal(15)
    expect(app.wait_exit(10) == 0, "SIGTERM did not end the program with status 0")

    why = can_mount_tmpfs()
    if why:
        s.log(f"SKIP pic/ full: cannot mount a tmpfs here ({' '.join(why.split())})")
        return
    full = install(sway, "full")
    pic = full / "pic"
    mount_tmpfs(pic, FULL_DISK)
    try:
        os.chown(pic, sway.user.pw_uid, sway.user.pw_gid)
        app = start(s, sway, full, tag="full")
        driver = SwayDriver(s, sway, app)
        last = max(driver.shoot("F8", "before the disk was full"))
        fillers = []
        expect_fault_refused(driver, app, full, last, "pic/ full", lambda pic: fillers.append(fill_disk(pic)),
                             lambda pic: fillers.pop().unlink())
        app.signal(15)
        expect(app.wait_exit(10) == 0, "SIGTERM did not end the program with status 0")
    finally:
        unmount(pic)


run("wayland_program_pic_faults", body, deadline=120)
