#!/usr/bin/python3
"""Apply while set.ini cannot be replaced (the program's folder read-only,
set.ini held open by another program): the caption takes the new key, set.ini
keeps its old bytes, no set.ini.new is left and nothing else in the folder
changes; once the fault is cleared the next Apply writes the whole record,
and the key applied last makes shots.
A set.ini.new left over from an interrupted save does not stop Apply, not
even one that cannot be overwritten."""
import os

from faults import (IN_CREATE, FileHolder, FolderWatch, describe_changes, honour_file_permissions, settled_tree,
                    tree_digests)
from program import KEY_CODES, apply_key, press_until_new_file, run, settings_record
from shots import open_jpeg
from xdisplay import expect, wait_until

QUALITY, SOUND = 30, 0  # what the first record holds, so what the panel shows


def read_only_folder(s, ini):
    os.chmod(ini.parent, 0o555)
    return lambda: os.chmod(ini.parent, 0o755)


def held_open(s, ini):
    return FileHolder(s, ini).release


CASES = [
    # (case, make the fault and return how to clear it, Apply begins set.ini.new)
    ("SettingsSave_FolderReadOnly_OldFileKept", read_only_folder, False),
    ("SettingsSave_FileHeldOpen_OldFileKeptTemporaryRemoved", held_open, True),
]


def record(key):
    return settings_record(QUALITY, SOUND, KEY_CODES[key], key)


def expect_saved(app_folder, ini, key, what):
    want = record(key)
    wait_until(lambda: ini.read_bytes() == want, 5,
               f"{what}: set.ini holds {ini.read_bytes().hex(' ')}, not {want.hex(' ')}")
    expect("set.ini.new" not in settled_tree(app_folder), f"{what}: set.ini.new was left behind")


def body(s):
    honour_file_permissions(s)
    app_folder = s.install_app()
    ini = app_folder / "set.ini"
    ini.write_bytes(record("F6"))
    app, window = s.start_snapwick(app_folder)
    expect(window.title() == "Snapwick 1.1 (HotKey:F6)", f"title is {window.title()!r}")
    press_until_new_file(s, window, "F6", app.pic)
    expect(settled_tree(app.pic), "the first shot went again")

    keys = iter(["F2", "F3", "F4", "F5", "F7", "F9", "F11"])
    for case, make_fault, begins_temporary in CASES:
        s.log(f"case: {case}")
        healthy = tree_digests(app_folder)
        begun = FolderWatch(app_folder, IN_CREATE)
        clear_fault = make_fault(s, ini)
        try:
            apply_key(s, window, next(keys))
            after = settled_tree(app_folder)
        finally:
            clear_fault()
        expect(after == healthy, f"{case}: Apply changed the folder: {describe_changes(healthy, after)}")
        if begins_temporary:
            expect("set.ini.new" in begun.take(), f"{case}: Apply did not even begin set.ini.new")
        expect(app.alive(), f"{case}: the program ended")

        key = next(keys)
        apply_key(s, window, key)
        expect_saved(app_folder, ini, key, f"{case}, fault cleared")
        changed = describe_changes(healthy, tree_digests(app_folder))
        expect(changed == "changed: set.ini", f"{case}, fault cleared: Apply changed more: {changed}")

    case = "SettingsSave_StaleTemporary_Replaced"
    s.log(f"case: {case}")
    (app_folder / "set.ini.new").write_bytes(b"left by a save that never finished" * 100)
    key = next(keys)
    apply_key(s, window, key)
    expect_saved(app_folder, ini, key, case)

    case = "SettingsSave_StaleReadOnlyTemporary_SavedUnderAnotherName"
    s.log(f"case: {case}")
    stale = app_folder / "set.ini.new"
    stale.write_bytes(b"left read-only by somebody else")
    os.chmod(stale, 0o444)
    key = next(keys)
    apply_key(s, window, key)
    want = record(key)
    wait_until(lambda: ini.read_bytes() == want, 5,
               f"{case}: set.ini holds {ini.read_bytes().hex(' ')}, not {want.hex(' ')}")
    left = set(settled_tree(app_folder)) - {"set.ini.new"}
    expect(not any(n.startswith("set.ini.") for n in left), f"{case}: temporaries left: {left}")
    os.chmod(stale, 0o644)
    stale.unlink()

    # The key applied last is the hotkey now; the timer still runs.
    before = tree_digests(app.pic)
    press_until_new_file(s, window, key, app.pic)  # applied last, so the hotkey
    after = settled_tree(app.pic)
    new = set(after) - set(before)
    expect(new, f"the shot of {key} went again")
    expect(all(after[n] == d for n, d in before.items()), "older shots changed")
    for name in new:
        open_jpeg(app.pic / name)
    expect(app.alive(), "the program ended")


run("fault_settings_save", body, deadline=150)
