#!/usr/bin/python3
"""Started as E:\\snapwick.exe, at the root of a drive: pic/ is made at E:\\pic,
shots land there, Apply writes E:\\set.ini, the next start reads it, and
nothing is written anywhere else (a doubled or missing backslash after "E:"
would put the files into the current folder of drive E: or of the start)."""
import os
import shutil
import subprocess
from pathlib import Path

from harness import (TITLE_F8, apply_key, expect, glyph_shapes, map_drive, press_until_new_file, run, settings_record,
                     settled_tree, start_snapwick_as, tree_digests, wait_until)
from shots import open_jpeg, shot_counter

EXE = "E:\\snapwick.exe"
# Lb_Pic's client-area rectangle (x, y, w, h) at 96 DPI, and its font,
# Arial 8.25 pt, in pixels.
LB_PIC = (16, 32, 433, 17)
LB_PIC_PX = 11
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


def label_glyphs(window):
    """The glyphs of Lb_Pic: the pixels much darker than its background."""
    from PIL import Image
    path = window.screenshot("window.png")
    x, y, w, h = LB_PIC
    with Image.open(path) as img:
        part = img.convert("RGB").crop((x, y, x + w, y + h))
    background = sum(max(part.getcolors(w * h))[1]) / 3
    pixels = part.load()
    return glyph_shapes({(i, j) for j in range(h) for i in range(w) if background - sum(pixels[i, j]) / 3 > 90})


def text_glyphs(text):
    """The glyphs of text drawn as Wine draws it here: the face that stands
    in for Arial, without anti-aliasing."""
    from PIL import Image, ImageDraw, ImageFont
    face = subprocess.run(["fc-match", "-f", "%{file}", "Arial"], capture_output=True, text=True).stdout
    expect(face, "fc-match found no face for Arial")
    img = Image.new("L", (LB_PIC_PX * (len(text) + 2), LB_PIC_PX * 3), 255)
    draw = ImageDraw.Draw(img)
    draw.fontmode = "1"
    draw.text((LB_PIC_PX, LB_PIC_PX), text, font=ImageFont.truetype(face, LB_PIC_PX), fill=0)
    pixels = img.load()
    return glyph_shapes({(i, j) for j in range(img.height) for i in range(img.width) if pixels[i, j] < 128})


def expect_label_reads(window, text):
    """Lb_Pic shows text: its glyphs are those of text drawn in the same
    face, one by one (a doubled or missing backslash changes their number)."""
    shown, want = label_glyphs(window), text_glyphs(text)
    same = sum(a == b for a, b in zip(shown, want))
    expect(len(shown) == len(want) and same == len(want),
           f"Lb_Pic does not show {text}: {len(shown)} glyphs drawn, {len(want)} expected, "
           f"{same} alike (see window.png)")


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
    shutil.copy2(s.dist / "snapwick.exe", drive / "snapwick.exe")
    shutil.copytree(s.dist / "wav", drive / "wav")
    map_drive(s, "e", drive)
    expect(not strays(s, drive), f"files of the program before it started: {strays(s, drive)}")

    app, window = start_snapwick_as(s, drive, EXE)
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

    app, window = start_snapwick_as(s, drive, EXE)
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
