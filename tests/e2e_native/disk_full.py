#!/usr/bin/python3
"""The program's folder on a small disk of its own that runs full: a shot
that no longer fits leaves no partial file behind, an Apply that cannot be
written leaves set.ini as it was and no set.ini.new, the shots already there
stay whole, the program goes on, and once there is room again shots and
Apply work."""
import sys

from native import run  # first: it puts the shared harness on the path
from faults import (IN_CREATE, FolderWatch, can_mount_tmpfs, describe_changes, fill_disk, free_bytes,
                    mount_tmpfs, settled_tree, sweep_stale_mounts, tree_digests, unmount)
from shots import expect_new_shots
from snapwick import apply_key, press_in, press_until_new_file, settings_record
from xdisplay import expect, wait_until

ROOM = 4 * 1024 * 1024  # beside the program: a few dozen shots
FAULT_PRESS = 1.0  # twenty ticks of the program's poll, each a refused shot
F6_RECORD = settings_record(30, 0, 0x75, "F6")


def shoot(s, app, term, key, what):
    before = tree_digests(app.pic)
    press_until_new_file(s, term, key, app.pic)
    return expect_new_shots(app.pic, before, settled_tree(app.pic), what)


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

        last = max(shoot(s, app, term, "F6", "with room on the disk"))
        shot_size = max(p.stat().st_size for p in app.pic.iterdir())

        # Room for half a shot: the encoder's output does not fit.
        filler = fill_disk(disk, leave=shot_size // 2)
        s.log(f"shots are {shot_size} bytes; {free_bytes(disk)} bytes left free")
        expect(0 < free_bytes(disk) < shot_size, f"{free_bytes(disk)} bytes free, not part of a shot")
        everything = tree_digests(disk)
        press_in(s, term, "F6", FAULT_PRESS)
        after = settled_tree(disk)
        expect(after == everything,
               f"half a shot's room: the program's folder changed: {describe_changes(everything, after)}")
        # That the presses were seen, and their shots refused, shows in the
        # counters once there is room again.
        expect(app.alive(), f"the program ended (status {app.proc.returncode})")

        # No room at all: Apply cannot write its new record.
        fill_disk(disk)
        expect(free_bytes(disk) == 0, f"{free_bytes(disk)} bytes still free")
        everything = tree_digests(disk)
        beside = FolderWatch(disk, IN_CREATE)
        apply_key(s, window, "F7")
        settled = settled_tree(disk)
        expect(settled == everything,
               f"Apply on a full disk changed the program's folder: {describe_changes(everything, settled)}")
        expect("set.ini.new" in beside.take(), "Apply on a full disk did not even begin set.ini.new")
        expect(ini.read_bytes() == F6_RECORD, "set.ini changed")
        expect(app.alive(), f"the program ended (status {app.proc.returncode})")

        # Room again: F7 (applied, though not saved) makes shots, Apply saves.
        filler.unlink()
        term.focus()
        counters = shoot(s, app, term, "F7", "room again")
        s.log(f"counters: {last} before the full disk, {counters[0]}..{counters[-1]} after it")
        expect(counters[0] > last + 1, f"the first shot after the full disk is number {counters[0]}, "
                                       f"right after {last}: the presses on the full disk were not seen")
        apply_key(s, window, "F9")
        want = settings_record(30, 0, 0x78, "F9")
        settled = settled_tree(disk)
        expect(ini.read_bytes() == want, f"set.ini holds {ini.read_bytes().hex(' ')}, not {want.hex(' ')}")
        expect("set.ini.new" not in settled, "set.ini.new was left behind")
        expect(app.alive(), "the program ended")
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
