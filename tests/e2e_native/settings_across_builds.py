#!/usr/bin/python3
"""set.ini is one file for both builds. The native build, under the Russian
X layout, captures F6 and then the ф key (virtual key 0x41, its name "Ф",
0xD4 in Windows-1251) and applies each; the Windows build under Wine, on a
Russian system (ANSI code page 1251), starts on each file: the title names
the same key and that key makes shots. The other way round, the Windows
build captures and applies F6 (the same bytes as the native file), and the
native build starts on its file, and on the record Windows writes for ф.

Wine 8 names a letter key after the character of the X layout's first
group, and only a Latin-1 one (XLookupString), so under Wine the Windows
build names the ф key "A" (with us,ru) or "Cyrillic_ef" (with ru alone),
never "Ф": that record is written here as Windows writes it."""
import ctypes
import shutil

from native import run  # first: it puts the shared harness on the path
from snapwick import press_in, press_until_new_file, settings_record
from wine_side import wine_side
from xdisplay import expect, wait_until

F6_RECORD = settings_record(80, 1, 0x75, "F6")
EF_RECORD = bytes([80, 13, 10, 1, 13, 10, 0x41, 13, 10]) + "Ф".encode("cp1251") + b" " * 20
RUSSIAN_LOCALE = "ru_RU.UTF-8"
_XKB_USE_CORE_KBD = 0x100


def use_layout(s, layouts, group=0):
    """Sets the X keyboard layouts of s's display and locks one group, as
    the user's layout switch does."""
    s.x(["setxkbmap", layouts])
    x = ctypes.cdll.LoadLibrary("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XkbLockGroup.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_uint]
    x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    dpy = x.XOpenDisplay(s.display.name.encode())
    expect(dpy, f"cannot open display {s.display.name}")
    try:
        expect(x.XkbLockGroup(dpy, _XKB_USE_CORE_KBD, group), f"cannot lock the layout group {group}")
        x.XSync(dpy, 0)
    finally:
        x.XCloseDisplay(dpy)


def capture_and_apply(s, window, ini, key, name, record, what):
    press_in(s, window, key, 0.05)
    window.click_control("ApplyButton")
    title = f"Snapwick (HotKey:{name})"
    wait_until(lambda: window.title() == title, 10, f"{what}: after {key} and Apply the title is "
                                                    f"{window.title()!r}, not {title!r}")
    wait_until(lambda: ini.read_bytes() == record, 10,
               f"{what}: set.ini holds {ini.read_bytes().hex(' ')}, not {record.hex(' ')}")
    return ini.read_bytes()


def start_on(s, folder, record, name, key, what):
    """Starts the program in folder on record: its title names the key, and
    the key makes a shot. Returns the started program."""
    (folder / "set.ini").write_bytes(record)
    shutil.rmtree(folder / "pic", ignore_errors=True)
    app, window = s.start_snapwick(folder)
    title = f"Snapwick 1.1 (HotKey:{name})"
    wait_until(lambda: window.title() == title, 10, f"{what}: the title is {window.title()!r}, not {title!r}")
    press_until_new_file(s, window, key, folder / "pic")
    return app


def body(s):
    use_layout(s, "ru")
    native = s.install_app()
    app, window = s.start_snapwick(native)
    ini = native / "set.ini"
    f6 = capture_and_apply(s, window, ini, "F6", "F6", F6_RECORD, "natively")
    ef = capture_and_apply(s, window, ini, "Cyrillic_ef", "Ф", EF_RECORD, "natively")
    s.end_app(app)

    with wine_side(s, RUSSIAN_LOCALE) as w:
        # Wine takes its virtual keys from a layout with a Latin group first.
        use_layout(w, "us,ru", group=1)
        folder = w.install_app()
        start_on(w, folder, f6, "F6", "F6", "the Windows build on the native F6 file")
        w.end_wine()
        start_on(w, folder, ef, "Ф", "Cyrillic_ef", "the Windows build on the native ф file")
        w.end_wine()

        (folder / "set.ini").unlink()
        _, window = w.start_snapwick(folder)
        from_windows = capture_and_apply(w, window, folder / "set.ini", "F6", "F6", F6_RECORD, "under Wine")
        w.end_wine()

    app = start_on(s, native, from_windows, "F6", "F6", "the native build on the Windows F6 file")
    s.end_app(app)
    app = start_on(s, native, EF_RECORD, "Ф", "Cyrillic_ef", "the native build on the Windows ф record")
    s.end_app(app)


run("settings_across_builds", body, deadline=300)
