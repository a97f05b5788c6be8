#!/usr/bin/python3
"""From a folder with Cyrillic letters and spaces in its path ("Снимки
экрана/Snapwick copy") the program shows that path, makes its shots in its
pic/ with the shutter sound read from its wav/, and Apply writes set.ini
there (F5, sound off), which the next start reads back: F5 shoots, without
a sound. Nothing is written outside the program's folder."""
import os

from native import elided_path_shown, run  # first: it puts the shared harness on the path
from faults import FolderWatch
from shots import open_jpeg, wait_for_shots
from snapwick import TITLE_F8, apply_key, press_until_new_file, settings_record
from xdisplay import expect, holds_for, wait_until

F5_SILENT = settings_record(80, 0, 0x74, "F5")


def shoot(s, app, term, key, sound, wav, shutter, what):
    """Presses key with xterm in front; expects whole new shots and a
    shutter sound (from this folder's wav/2.wav) for each, or none."""
    before = set(app.shots())
    played = sound.played()
    press_until_new_file(s, term, key, app.pic)
    new = [n for n in wait_for_shots(app) if n not in before]
    for name in new:
        open_jpeg(app.pic / name)
    if shutter:
        wait_until(lambda: sound.played() - played == len(new), 5,
                   f"{what}: {sound.played() - played} sound(s) for {len(new)} shot(s)")
        expect("2.wav" in wav.take_settled(), f"{what}: the shutter was not read from {wav}")
    else:
        expect(holds_for(lambda: sound.played() == played, 1.0),
               f"{what}: {sound.played() - played} sound(s) with sound effects off")
    return new


def body(s):
    sound = s.start_sound_server()
    folder = s.install_app("Снимки экрана", "Snapwick copy")
    ini = folder / "set.ini"
    wav = FolderWatch(folder / "wav")
    app, window = s.start_snapwick(folder)
    wait_until(lambda: window.title() == TITLE_F8, 5, f"title is {window.title()!r}")
    real = os.path.realpath(folder / "pic")
    shown = window.control_text("ShotFolderLabel")
    s.log(f"the folder label shows {shown!r}")
    expect(elided_path_shown(shown, real) and shown.endswith("Снимки экрана/Snapwick copy/pic"),
           f"the folder label shows {shown!r}, not {real!r}")
    window.screenshot("window.png")

    term, _ = s.start_terminal()
    shoot(s, app, term, "F8", sound, wav, True, "defaults")

    window.click_control("SoundCheck")  # sound effects off, from the next Apply on
    wait_until(lambda: not window.control_checked("SoundCheck"), 5, "the click did not untick sound effects")
    wav.take_settled()
    apply_key(s, window, "F5")
    wav.wait_for("1.wav", 5, f"no sound from {folder / 'wav' / '1.wav'} when F5 was captured")
    wait_until(lambda: ini.is_file() and ini.read_bytes() == F5_SILENT, 5,
               f"set.ini holds {ini.read_bytes().hex(' ') if ini.is_file() else 'nothing'}, "
               f"not {F5_SILENT.hex(' ')}")
    s.end_app(app)

    app, window = s.start_snapwick(folder, tag="next_start")
    title = "Snapwick 1.1 (HotKey:F5)"
    wait_until(lambda: window.title() == title, 5, f"at the next start the title is {window.title()!r}")
    term.focus()
    shoot(s, app, term, "F5", sound, wav, False, "next start")
    expect(ini.read_bytes() == F5_SILENT, "the next start changed set.ini")
    outside = [str(p) for p in (s.tmp / "apps").rglob("*") if p.is_file() and folder not in p.parents]
    expect(not outside, f"files written outside the program's folder: {outside}")
    wav.close()


run("cyrillic_folder", body, deadline=90)
