#!/usr/bin/python3
"""The program's folder on a small disk of its own that runs full: a shot
that no longer fits leaves no truncated file behind, an Apply that cannot be
written leaves set.ini as it was and no set.ini.new, the shots already there
stay whole, and once there is room again shots and Apply work."""
import sys

from faults import (IN_CREATE, FolderWatch, can_mount_tmpfs, describe_changes, fill_disk, free_bytes,
                    mount_tmpfs, settled_tree, sweep_stale_mounts, tree_digests, unmount)
from program import apply_key, press_in, press_until_new_file, run, settings_record
from shots import expect_new_shots
from xdisplay import expect, wait_until

DISK = 4 * 1024 * 1024  # the program (about 1 MB) and a few dozen shots
FAULT_PRESS = 1.0  # twenty ticks of the program's poll, each a refused shot
F6_RECORD = settings_record(30, 0, 0x75, "F6")


def shoot(s, app, window, key):
    """Presses key until a shot begins; returns the settled contents of pic/
    before and after."""
    before = tree_digests(app.pic)
    press_until_new_file(s, window, key, app.pic)
    return before, settled_tree(app.pic)


def refused_shots(s, app, window, key):
    """Presses key on a disk without room; returns pic/ before and after."""
    before = tree_digests(app.pic)
    press_in(s, window, key, FAULT_PRESS)
    return before, settled_tree(app.pic)


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
        created = FolderWatch(app.pic, IN_CREATE)

        before, after = shoot(s, app, window, "F6")
        last = max(expect_new_shots(app.pic, before, after, "with room on the disk"))
        shot_size = max((app.pic / n).stat().st_size for n in after)
        created.take()

        # Room for half a shot: the encoder starts a file that cannot be finished.
        filler = fill_disk(disk, leave=shot_size // 2)
        s.log(f"shots are {shot_size} bytes; {free_bytes(disk)} bytes left free")
        expect(0 < free_bytes(disk) < shot_size, f"{free_bytes(disk)} bytes free, not part of a shot")
        everything = tree_digests(disk)
        before, after = refused_shots(s, app, window, "F6")
        expect(after == before, f"half a shot's room: pic/ changed: {describe_changes(before, after)}")
        started = created.take()
        s.log(f"files begun while the disk was nearly full: {started}")
        expect(started, "no shot was begun while the disk was nearly full, so none had to be cleaned up")
        expect(tree_digests(disk) == everything, "half a shot's room: the program's folder changed: "
                                                 f"{describe_changes(everything, tree_digests(disk))}")

        # No room at all: Apply cannot write its new record.
        fill_disk(disk)
        expect(free_bytes(disk) == 0, f"{free_bytes(disk)} bytes still free")
        everything = tree_digests(disk)
        beside = FolderWatch(disk, IN_CREATE)
        apply_key(s, window, "F7")
        settled = settled_tree(disk)
        expect(settled == everything, "Apply on a full disk changed the program's folder: "
                                      f"{describe_changes(everything, settled)}")
        expect("set.ini.new" in beside.take(), "Apply on a full disk did not even begin set.ini.new")
        expect(ini.read_bytes() == F6_RECORD, "set.ini changed")
        expect(app.alive(), "the program ended")

        # Room again: F7 (applied, though not saved) makes shots, Apply saves.
        filler.unlink()
        before, after = shoot(s, app, window, "F7")
        counters = expect_new_shots(app.pic, before, after, "room again")
        s.log(f"counters: {last} before the full disk, {counters[0]}..{counters[-1]} after it")
        expect(counters[0] > last + 1, f"the first shot after the full disk is number {counters[0]}, "
                                       f"right after {last}: the presses on the full disk were not seen")
        apply_key(s, window, "F9")
        want = settings_record(30, 0, 0x78, "F9")
        settled = settled_tree(disk)
        expect(ini.read_bytes() == want,
               f"set.ini holds {ini.read_bytes().hex(' ')}, not {want.hex(' ')}")
        expect("set.ini.new" not in settled, "set.ini.new was left behind")
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
