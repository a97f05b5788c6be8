#!/usr/bin/python3
"""Started from a folder so deep that the path of snapwick.exe is longer
than the 260 characters of MAX_PATH: a key pressed in the window shows in
the hotkey box, Apply makes it the hotkey and writes it to set.ini in that
folder, and it is in force: with another program in front the new key makes
shots in that folder's pic/, the old one none. A keyboard hook that needs
the module's file name, or a program that is not long-path aware, loses the
key at the first step."""
from program import capture_key, run, settings_record
from shots import expect_hotkey_switched
from wine import windows_path
from xdisplay import expect, wait_until

EXE_PATH_LENGTH = 300


def deep_folder(s):
    """Folder names below apps/ that give the exe a Windows path of at least
    EXE_PATH_LENGTH characters, each name far below the 255 a file system
    allows."""
    parts = []
    while len(windows_path(s.tmp.joinpath("apps", *parts, "snapwick.exe"))) < EXE_PATH_LENGTH:
        parts.append(f"folder {len(parts) + 1} of a deep tree".ljust(60, "_"))
    return parts


def body(s):
    folder = s.install_app(*deep_folder(s))
    exe = windows_path(folder / "snapwick.exe")
    s.log(f"the program's path is {len(exe)} characters long")
    expect(len(exe) >= 260, f"the program's path is only {len(exe)} characters long")
    app, window = s.start_snapwick(folder)
    wait_until(lambda: window.title() == "Snapwick 1.1 (HotKey:F8)", 5, f"title is {window.title()!r}")

    capture_key(s, window, "F5")
    window.click_control("ApplyButton")
    wait_until(lambda: window.title() == "Snapwick (HotKey:F5)", 10,
               f"after Apply the title is {window.title()!r}, not 'Snapwick (HotKey:F5)'")
    ini, want = folder / "set.ini", settings_record(80, 1, 0x74, "F5")
    wait_until(lambda: ini.is_file() and ini.read_bytes() == want, 5,
               f"set.ini holds {ini.read_bytes().hex(' ') if ini.is_file() else 'nothing'}, "
               f"not {want.hex(' ')}")

    s.start_notepad()
    expect_hotkey_switched(s, app, "F8", "F5", 0.5)
    expect(app.alive(), "the program ended")


run("folder_long_path", body, deadline=150)
