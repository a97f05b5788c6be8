"""pic/ taken away, made read-only or replaced by a file (the X11 scenarios'
fault table, tests/e2e/faults.py) and pic/ full (a small file system of its
own) while the program runs on a real headless sway as the session's user:
F8 held makes no file and changes nothing in the program's folder, the
program goes on, and once the fault is cleared the next press makes whole
shots, whose counters show that the refused presses used up theirs.

    program_pic_faults.py
"""

import os
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from program import install, start  # noqa: E402  (first: it puts the shared X checks on the path)
from faults import (PIC_FOLDER_FAULTS, can_mount_tmpfs, describe_changes, fill_disk, mount_tmpfs,  # noqa: E402
                    settled_tree, tree_digests, unmount)
from PIL import Image  # noqa: E402
from shots import shot_counter  # noqa: E402
from sway_session import expect, run  # noqa: E402

FAULT_HOLD_MS = "500"  # ten ticks, each a refused shot
FULL_DISK = 8 * 1024 * 1024


def good_shots(sway, app, what):
    """F8 tapped: new shots, each a whole JPEG of the output that decodes;
    returns their counters."""
    before = app.shots()
    sway.wtype("-P", "F8", "-s", "20", "-p", "F8")
    names = app.wait_shots(1, before=before)
    for name in names:
        with open(app.pic / name, "rb") as f:
            data = f.read()
        expect(data[:2] == b"\xff\xd8" and data[-2:] == b"\xff\xd9", f"{what}: {name} is not a whole JPEG")
        with Image.open(app.pic / name) as shot:
            shot.load()
            expect(shot.size == (1920, 1080), f"{what}: {name} is {shot.size}, not the 1920x1080 output")
    return [shot_counter(n) for n in names]


def refused(sway, app, folder, what):
    """F8 held during a fault: nothing in the folder changes, the program
    goes on."""
    faulty = tree_digests(folder)
    sway.wtype("-P", "F8", "-s", FAULT_HOLD_MS, "-p", "F8")
    after = settled_tree(folder)
    expect(after == faulty, f"{what}: the presses changed the program's folder: {describe_changes(faulty, after)}")
    expect(app.alive(), f"{what}: the program ended (status {app.proc.returncode})")


def body(s):
    sway = s.sway("faults")
    folder = install(sway, "faults")
    app = start(s, sway, folder)
    last = max(good_shots(sway, app, "before any fault"))
    for case, make_fault, clear_fault in PIC_FOLDER_FAULTS:
        healthy = tree_digests(folder)
        make_fault(app.pic)
        refused(sway, app, folder, case)
        clear_fault(app.pic)
        expect(tree_digests(folder) == healthy, f"{case}: the test could not clear its fault")
        counters = good_shots(sway, app, f"{case}, fault cleared")
        s.log(f"{case}: counters {last} before the fault, {counters[0]}..{counters[-1]} after it")
        expect(counters[0] > last + 1, f"{case}: the first shot after the fault is number {counters[0]}, "
                                       f"right after {last}: the presses during the fault were not seen")
        last = counters[-1]
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
        last = max(good_shots(sway, app, "before the disk was full"))
        filler = fill_disk(pic)
        refused(sway, app, full, "pic/ full")
        filler.unlink()
        counters = good_shots(sway, app, "pic/ full, room made")
        s.log(f"pic/ full: counters {last} before, {counters[0]}..{counters[-1]} after")
        expect(counters[0] > last + 1, f"pic/ full: the first shot after the fault is number {counters[0]}, "
                                       f"right after {last}: the presses during the fault were not seen")
        app.signal(15)
        expect(app.wait_exit(10) == 0, "SIGTERM did not end the program with status 0")
    finally:
        unmount(pic)


run("wayland_program_pic_faults", body, deadline=120)
