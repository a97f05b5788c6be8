#!/usr/bin/python3
"""The program's folder on a small disk of its own that runs full (the
shared cases of tests/e2e/fault_cases.py): a shot that no longer fits
leaves no partial file behind, an Apply that cannot be written leaves
set.ini as it was and no set.ini.new, the shots already there stay whole,
the program goes on, and once there is room again shots and Apply work."""
import sys

from native import run  # first: it puts the shared harness on the path
from fault_cases import XDriver, expect_disk_full_faults
from faults import can_mount_tmpfs, mount_tmpfs, sweep_stale_mounts, unmount
from snapwick import settings_record
from xdisplay import wait_until

ROOM = 4 * 1024 * 1024  # beside the program: a few dozen shots
F6_RECORD = settings_record(30, 0, 0x75, "F6")


def body(s):
    disk = s.tmp / "apps" / "Full"
    size = sum(p.stat().st_size for p in s.dist.rglob("*") if p.is_file())
    mount_tmpfs(disk, size + ROOM)
    try:
        s.copy_program(disk)
        ini = disk / "set.ini"
        ini.write_bytes(F6_RECORD)
        app, window = s.start_snapwick(disk)
        wait_until(lambda: window.title() == "Snapwick 1.1 (HotKey:F6)", 5, f"title is {window.title()!r}")
        wait_until(lambda: app.pic.is_dir(), 5, "pic/ was not created")
        term, _ = s.start_terminal()
        # A shot is written to an unnamed file that only a whole shot names.
        expect_disk_full_faults(XDriver(s, app, window, front=term), app, disk, ini, F6_RECORD)
        s.end_app(app)
    finally:
        # The program runs from the disk: it must be gone before the unmount.
        for app in s.apps:
            if app.alive():
                app.proc.kill()
                app.proc.wait()
        unmount(disk)


if __name__ == "__main__":
    sweep_stale_mounts()
    why = can_mount_tmpfs()
    if why:
        print(f"SKIP: disk_full: cannot mount a tmpfs here ({' '.join(why.split())})", flush=True)
        sys.exit(77)
    run("disk_full", body, deadline=120)
