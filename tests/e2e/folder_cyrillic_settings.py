#!/usr/bin/python3
"""In a program folder with Cyrillic letters and spaces in its name, with a
Western and with a Russian ANSI code page alike: Apply writes set.ini there
with the hotkey F5 and sound off, and the next start reads them back: F5
makes shots, F8 none. The sounds are found too (the shutter after a shot,
the key sound when a key is captured) and stay silent once sound is off,
also under the Western code page, whose ANSI names have no Cyrillic letters:
the program reads each sound through its wide path itself."""
from faults import FolderWatch, settled_tree, tree_digests
from program import TITLE_F8, apply_key, press_in, press_until_new_file, run, settings_record
from shots import open_jpeg
from wine import CODE_PAGE_LOCALES
from xdisplay import expect, wait_until

F5_SILENT = settings_record(80, 0, 0x74, "F5")


def shoot(s, app, window, key, sounds, what, shutter):
    """Presses key; expects new whole shots, and the shutter sound (True), its
    absence (False) or either (None)."""
    sounds.take_settled()
    before = tree_digests(app.pic)
    press_until_new_file(s, window, key, app.pic)
    after = settled_tree(app.pic)
    new = set(after) - set(before)
    expect(new, f"{what}: the new shot went again")
    expect(all(after[n] == d for n, d in before.items()), f"{what}: older shots changed")
    for name in new:
        open_jpeg(app.pic / name)
    if shutter:
        sounds.wait_for("2.wav", 5, f"{what}: the shutter sound was not played")
    elif shutter is False:
        heard = sounds.take_settled()
        expect("2.wav" not in heard, f"{what}: the shutter sounded with sound effects off")


def body(s):
    for case, locale in CODE_PAGE_LOCALES:
        s.log(f"case: {case} code page ({locale})")
        s.use_locale(locale)
        folder = s.install_app(case, "Программы и утилиты", "Снимок экрана 2")
        ini = folder / "set.ini"
        sounds = FolderWatch(folder / "wav")
        app, window = s.start_snapwick(folder)
        wait_until(lambda: window.title() == TITLE_F8, 5, f"{case}: title is {window.title()!r}")
        shoot(s, app, window, "F8", sounds, f"{case}, defaults", shutter=True)

        sounds.take_settled()
        window.click_control("SoundCheck")  # sound effects off, from the next Apply on
        apply_key(s, window, "F5")
        sounds.wait_for("1.wav", 5, f"{case}: no sound when F5 was captured")
        wait_until(lambda: ini.is_file() and ini.read_bytes() == F5_SILENT, 5,
                   f"{case}: set.ini holds {ini.read_bytes().hex(' ') if ini.is_file() else 'nothing'}, "
                   f"not {F5_SILENT.hex(' ')}")
        shoot(s, app, window, "F5", sounds, f"{case}, applied", shutter=False)
        expect(app.alive(), f"{case}: the program ended")
        s.end_wine()

        app, window = s.start_snapwick(folder)
        title = "Snapwick 1.1 (HotKey:F5)"
        wait_until(lambda: window.title() == title, 5,
                   f"{case}: at the next start the title is {window.title()!r}, not {title!r}")
        shoot(s, app, window, "F5", sounds, f"{case}, next start", shutter=False)
        before = tree_digests(app.pic)
        press_in(s, window, "F8", 0.4)
        expect(settled_tree(app.pic) == before, f"{case}: F8 still made a shot after F5 was applied")
        expect(ini.read_bytes() == F5_SILENT, f"{case}: the next start changed set.ini")
        others = [p for p in folder.parents[1].rglob("*") if folder not in p.parents and p != folder]
        expect(all(p.is_dir() for p in others), f"{case}: files written outside the program's folder: "
                                                f"{[str(p) for p in others if not p.is_dir()]}")
        expect(app.alive(), f"{case}: the program ended")
        sounds.close()
        s.end_wine()


run("folder_cyrillic_settings", body, deadline=150)
