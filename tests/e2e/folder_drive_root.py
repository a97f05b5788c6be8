#!/usr/bin/python3
"""Started as E:\\snapwick.exe, at the root of a drive: pic/ is made at E:\\pic,
shots land there, Apply writes E:\\set.ini, the next start reads it, and
nothing is written anywhere else (a doubled or missing backslash after "E:"
would put the files into the current folder of drive E: or of the start)."""
import os
from pathlib import Path

from faults import settled_tree, tree_digests
from pictures import dark_ink, font_file, glyph_shapes, ink_points, rendered_points, window_image
from program import TITLE_F8, apply_key, control_rect, press_until_new_file, run, settings_record
from shots import open_jpeg, shot_counter
from wine import map_drive
from xdisplay import expect, wait_until

EXE = "E:\\snapwick.exe"
# The folder label's font, Arial 8.25 pt, in pixels at 96 DPI.
FOLDER_LABEL_PX = 11
F5_RECORD = settings_record(80, 1, 0x74, "F5")


def expect_new_shots(s, app, window, key, what):
    before = tree_digests(app.pic)
    press_until_new_file(s, window, key, app.pic)
    after = settled_tree(app.pic)
    expect(all(after.get(n) == d for n, d in before.items()), f"{what}: older shots changed")
    new = sorted(set(after) - set(before), key=lambda n: shot_counter(n) or 0)
    expect(new, f"{what}: the new shot in {app.pic} went again")
    for name in new:
        open_jpeg(app.pic / name)
    return new


def expect_label_reads(window, text):
    """The shot folder's label shows text: its glyphs are those of text
    drawn in the face that stands in for Arial here, one by one (a doubled
    or missing backslash changes their number)."""
    img = window_image(window, "window.png")
    shown = glyph_shapes(ink_points(img, control_rect("ShotFolderLabel"), dark_ink()))
    want = glyph_shapes(rendered_points(text, font_file("Arial"), FOLDER_LABEL_PX))
    same = sum(a == b for a, b in zip(shown, want))
    expect(len(shown) == len(want) and same == len(want),
           f"the shot folder's label does not show {text}: {len(shown)} glyphs drawn, {len(want)} "
           f"expected, {same} alike (see window.png)")


def strays(s, drive):
    """Shots, pic folders and set.ini files outside the drive's folder."""
    found = []
    for root, dirs, files in os.walk(s.tmp):  # not into the prefix's drive links
        if Path(root) == s.tmp:
            dirs.remove(drive.name)
        for name in dirs + files:
            if name.lower() in ("pic", "set.ini", "set.ini.new") or name.lower().endswith(".jpg"):
                found.append(str((Path(root) / name).relative_to(s.tmp)))
    return found


def body(s):
    drive = s.tmp / "drive_e"
    drive.mkdir()
    s.copy_program(drive)
    map_drive(s, "e", drive)
    expect(not strays(s, drive), f"files of the program before it started: {strays(s, drive)}")

    app, window = s.start_snapwick(drive, exe=EXE)
    wait_until(lambda: window.title() == TITLE_F8, 5, f"title is {window.title()!r}")
    wait_until(lambda: app.pic.is_dir(), 5, f"{EXE} did not make E:\\pic ({app.pic})")
    expect_label_reads(window, "E:\\pic")
    first = expect_new_shots(s, app, window, "F8", "first start")

    apply_key(s, window, "F5")
    ini = drive / "set.ini"
    wait_until(lambda: ini.is_file() and ini.read_bytes() == F5_RECORD, 5,
               f"Apply did not write {F5_RECORD.hex(' ')} to E:\\set.ini ({ini})")
    top = sorted(p.name for p in drive.iterdir())
    expect(top == ["pic", "set.ini", "snapwick.exe", "wav"], f"the drive's root holds {top}")
    expect(not strays(s, drive), f"written outside E:\\: {strays(s, drive)}")
    expect(app.alive(), "the program ended")
    s.end_wine()

    app, window = s.start_snapwick(drive, exe=EXE)
    title = "Snapwick 1.1 (HotKey:F5)"
    wait_until(lambda: window.title() == title, 5, f"at the next start the title is {window.title()!r}, "
                                                   f"not {title!r}: E:\\set.ini was not read")
    second = expect_new_shots(s, app, window, "F5", "next start")
    expect(all(n in tree_digests(app.pic) for n in first), "the first run's shots went")
    expect(shot_counter(second[0]) == 1, f"the next run's first shot is {second[0]}, not number 1")
    expect(ini.read_bytes() == F5_RECORD, "the next start changed E:\\set.ini")
    expect(not strays(s, drive), f"written outside E:\\: {strays(s, drive)}")
    expect(app.alive(), "the program ended")


run("folder_drive_root", body, deadline=120)
