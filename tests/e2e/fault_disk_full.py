#!/usr/bin/python3
"""The program's folder on a small disk of its own that runs full (the
shared cases of fault_cases.py): a shot that no longer fits leaves no
truncated file behind, an Apply that cannot be written leaves set.ini as it
was and no set.ini.new, the shots already there stay whole, and once there
is room again shots and Apply work."""
import sys

from fault_cases import XDriver, expect_disk_full_faults
from faults import can_mount_tmpfs, mount_tmpfs, sweep_stale_mounts, unmount
from program import run, settings_record
from xdisplay import expect, wait_until

DISK = 4 * 1024 * 1024  # the program (about 1 MB) and a few dozen shots
F6_RECORD = settings_record(30, 0, 0x75, "F6")


def body(s):
    disk = s.tmp / "apps" / "Full"
    mount_tmpfs(disk, DISK)
    try:
        s.copy_program(disk)
        ini = disk / "set.ini"
        ini.write_bytes(F6_RECORD)
        app, window = s.start_snapwick(disk)
        wait_until(lambda: window.title() == "Snapwick 1.1 (HotKey:F6)", 5,
                   f"title is {window.title()!r}")
        wait_until(lambda: app.pic.is_dir(), 5, "pic/ was not created")
        # A shot is written under a visible temporary name first.
        driver = XDriver(s, app, window, names_partial_files=True)
        expect_disk_full_faults(driver, app, disk, ini, F6_RECORD)
        expect(app.alive(), "the program ended")
    finally:
        s.end_wine()
        unmount(disk)


if __name__ == "__main__":
    sweep_stale_mounts()
    why = can_mount_tmpfs()
    if why:
        print(f"SKIP: fault_disk_full: cannot mount a tmpfs here ({' '.join(why.split())})", flush=True)
        sys.exit(77)
    run("fault_disk_full", body, deadline=150)
