#!/usr/bin/python3
"""What set.ini holds decides the hotkey in the title; start-up never writes it."""
from program import TITLE_F8, run, settings_record
from xdisplay import expect, wait_until

VALID_F6 = settings_record(30, 0, 0x75, "F6")

CASES = [
    # (case, bytes of set.ini or None for no file, expected title)
    ("F6 record", VALID_F6, "Snapwick 1.1 (HotKey:F6)"),
    ("no file", None, TITLE_F8),
    ("empty file", b"", TITLE_F8),
    ("hotkey byte 0", settings_record(30, 0, 0, "F6"), TITLE_F8),
    ("40000 bytes behind a valid record", VALID_F6 + b" " * (40000 - len(VALID_F6)), TITLE_F8),
    ("name of 25 bytes", settings_record(80, 1, 0x75, "ABCDEFGHIJKLMNOPQRSTUVWXY"),
     "Snapwick 1.1 (HotKey:ABCDEFGHIJKLMNOPQRST)"),
    ("name with spaces around it", settings_record(80, 1, 0x7A, "  F11 "), "Snapwick 1.1 (HotKey:F11)"),
]


def body(s):
    expect(VALID_F6.hex(" ") == "1e 0d 0a 00 0d 0a 75 0d 0a 46 36 " + " ".join(["20"] * 20),
           "the test's own record is wrong")
    for case, record, title in CASES:
        s.log(f"case: {case}")
        folder = s.install_app(case.replace(" ", "_"))
        if record is not None:
            (folder / "set.ini").write_bytes(record)
        app, window = s.start_snapwick(folder)
        wait_until(lambda: window.title() == title, 5,
                   f"{case}: title is {window.title()!r}, not {title!r}")
        if record is None:
            expect(not (folder / "set.ini").exists(), f"{case}: start-up wrote set.ini")
        else:
            expect((folder / "set.ini").read_bytes() == record, f"{case}: start-up changed set.ini")
        expect(app.alive(), f"{case}: the program ended on its own")
        s.end_wine()


run("startup_settings_file", body, deadline=120)
