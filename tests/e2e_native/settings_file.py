#!/usr/bin/python3
"""What set.ini holds decides the title's hotkey and the settings shown, and
a record's hotkey and quality are in force: F6 from a record makes JPEGs of
quality 30 without a sound, F8 then none. A file that is too long, empty, or
says hotkey 0 gives all the defaults; a name longer than 20 bytes is cut to
its first 20. Start-up and shots never write the file: only Apply does."""
import os

from native import run
from shots import jpeg_qualities, open_jpeg
from snapwick import KEY_CODES, TITLE_F8, apply_key, press_in, press_until_new_file, settings_record
from xdisplay import expect, holds_for, wait_until

F6_RECORD = settings_record(30, 0, 0x75, "F6")
DEFAULTS = ("80", True)

CASES = [
    # (case, bytes of set.ini, title, (quality, sound ticked) shown, hotkey)
    ("F6 record", F6_RECORD, "Snapwick 1.1 (HotKey:F6)", ("30", False), "F6"),
    ("40000 bytes behind a valid record", F6_RECORD + b" " * (40000 - len(F6_RECORD)), TITLE_F8,
     DEFAULTS, "F8"),
    ("hotkey byte 0", settings_record(30, 0, 0, "F6"), TITLE_F8, DEFAULTS, "F8"),
    ("name of 25 bytes", settings_record(80, 1, 0x75, "ABCDEFGHIJKLMNOPQRSTUVWXY"),
     "Snapwick 1.1 (HotKey:ABCDEFGHIJKLMNOPQRST)", DEFAULTS, "F6"),
    ("empty file", b"", TITLE_F8, DEFAULTS, "F8"),
]


def file_state(path):
    st = os.stat(path)
    return path.read_bytes(), st.st_mtime_ns, st.st_ino


def body(s):
    expect(F6_RECORD.hex(" ") == "1e 0d 0a 00 0d 0a 75 0d 0a 46 36 " + " ".join(["20"] * 20),
           "the test's own record is wrong")
    sound = s.start_sound_server()
    for case, record, title, (quality, ticked), key in CASES:
        s.log(f"case: {case}")
        folder = s.install_app(case.replace(" ", "_"))
        ini = folder / "set.ini"
        ini.write_bytes(record)
        os.utime(ini, ns=(1_000_000_000_000_000_000, 1_000_000_000_000_000_000))
        written = file_state(ini)
        app, window = s.start_snapwick(folder)
        wait_until(lambda: window.title() == title, 5, f"{case}: title is {window.title()!r}, not {title!r}")
        shown = (window.control_text("QualityCombo"), window.control_checked("SoundCheck"))
        expect(shown == (quality, ticked), f"{case}: the window shows quality {shown[0]!r} and sound "
                                           f"{'on' if shown[1] else 'off'}, not {quality!r} and "
                                           f"{'on' if ticked else 'off'}")
        expect(file_state(ini) == written, f"{case}: start-up touched set.ini")

        played = sound.played()
        press_until_new_file(s, window, key, app.pic)
        names = app.shots()
        for name in names:
            open_jpeg(app.pic / name)
        got = jpeg_qualities(app.pic / names[0])
        s.log(f"{case}: {len(names)} shot(s) from {key}, JPEG quality {sorted(got)}")
        expect(int(quality) in got, f"{case}: {key} made a JPEG of quality {got or 'unknown'}, not {quality}")
        if not ticked:
            expect(holds_for(lambda: sound.played() == played, 1.0),
                   f"{case}: {sound.played() - played} sound(s) played with sound effects off")
        if key != "F8":
            before = app.shots()
            press_in(s, window, "F8", 0.4)
            expect(holds_for(lambda: app.shots() == before, 1.0), f"{case}: F8 still makes shots")
        expect(file_state(ini) == written, f"{case}: set.ini was touched before any Apply")
        expect(app.alive(), f"{case}: the program ended on its own")

        if case == "F6 record":
            # Apply writes the record shown, whole: the file was left alone
            # only until then.
            apply_key(s, window, "F7")
            want = settings_record(30, 0, KEY_CODES["F7"], "F7")
            wait_until(lambda: ini.read_bytes() == want, 5,
                       f"{case}: after Apply set.ini holds {ini.read_bytes().hex(' ')}, not {want.hex(' ')}")
        s.end_app(app)


run("settings_file", body, deadline=120)
