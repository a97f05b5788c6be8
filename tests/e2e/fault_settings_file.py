#!/usr/bin/python3
"""A set.ini that cannot be read, is a folder, is 40,000 bytes long or is
empty: the program starts on the defaults and leaves the file alone, F8
makes shots, Apply writes a whole new record where it can (and leaves a
folder standing where it cannot), never leaves set.ini.new behind, and the
next start reads what Apply wrote."""
import os

from faults import IN_CREATE, FolderWatch, describe_changes, honour_file_permissions, settled_tree, tree_digests
from program import KEY_CODES, TITLE_F8, apply_key, press_until_new_file, run, settings_record
from shots import open_jpeg
from xdisplay import expect, wait_until

F6_RECORD = settings_record(30, 0, 0x75, "F6")


def unreadable(ini):
    ini.write_bytes(F6_RECORD)
    os.chmod(ini, 0)


def folder(ini):
    ini.mkdir()
    (ini / "kept.txt").write_bytes(b"a folder named set.ini, with a file in it\r\n")


def long_file(ini):
    ini.write_bytes(F6_RECORD + b" " * (40000 - len(F6_RECORD)))


def empty_file(ini):
    ini.write_bytes(b"")


def remove_folder(ini):
    (ini / "kept.txt").unlink()
    ini.rmdir()


CASES = [
    # (case, make set.ini, how to clear a fault that stops Apply, or None).
    # Wine, like a Unix rename, lets Apply replace a file whatever its mode.
    ("SettingsFile_Unreadable_DefaultsThenReplacedWhole", unreadable, None),
    ("SettingsFile_Folder_DefaultsAndFolderKept", folder, remove_folder),
    ("SettingsFile_40000Bytes_DefaultsThenReplacedBy31Bytes", long_file, None),
    ("SettingsFile_Empty_DefaultsThenRecordWritten", empty_file, None),
]


def start(s, app_folder):
    honour_file_permissions(s)
    return s.start_snapwick(app_folder)


def body(s):
    for case, make_ini, clear_fault in CASES:
        s.log(f"case: {case}")
        app_folder = s.install_app(case)
        ini = app_folder / "set.ini"
        make_ini(ini)
        made = tree_digests(app_folder)
        app, window = start(s, app_folder)
        wait_until(lambda: window.title() == TITLE_F8, 5,
                   f"{case}: title is {window.title()!r}, not the defaults' {TITLE_F8!r}")
        wait_until(lambda: app.pic.is_dir(), 5, f"{case}: pic/ was not created")
        started = tree_digests(app_folder)
        expect(started == dict(made, pic="<dir>"),
               f"{case}: start-up changed the folder: {describe_changes(made, started)}")

        press_until_new_file(s, window, "F8", app.pic)  # the defaults' hotkey
        shots = settled_tree(app.pic)
        expect(shots, f"{case}: the new shot went again")
        for name in shots:
            open_jpeg(app.pic / name)

        key = "F5"
        if clear_fault:
            before = tree_digests(app_folder)
            begun = FolderWatch(app_folder, IN_CREATE)
            apply_key(s, window, "F5")
            after = settled_tree(app_folder)
            expect(after == before,
                   f"{case}: Apply changed the folder: {describe_changes(before, after)}")
            expect("set.ini.new" in begun.take(), f"{case}: Apply did not even begin set.ini.new")
            clear_fault(ini)
            key = "F7"
            apply_key(s, window, key)
        else:
            apply_key(s, window, key)
        want = settings_record(80, 1, KEY_CODES[key], key)
        wait_until(lambda: ini.is_file() and ini.read_bytes() == want, 5,
                   f"{case}: after Apply set.ini holds "
                   f"{ini.read_bytes().hex(' ') if ini.is_file() else 'no file'}, not {want.hex(' ')}")
        saved = settled_tree(app_folder)
        expect("set.ini.new" not in saved, f"{case}: set.ini.new was left behind")
        expect(app.alive(), f"{case}: the program ended")
        s.end_wine()

        app, window = start(s, app_folder)
        title = f"Snapwick 1.1 (HotKey:{key})"
        wait_until(lambda: window.title() == title, 5,
                   f"{case}: at the next start the title is {window.title()!r}, not {title!r}")
        expect(ini.read_bytes() == want, f"{case}: the next start changed set.ini")
        s.end_wine()


run("fault_settings_file", body, deadline=150)
