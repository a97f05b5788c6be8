"""How the program starts from another build's settings and how it ends on a
real headless sway, with wev as the client that has the focus otherwise:

- set.ini files written by the Windows build (quality 30, sounds off, F11)
  and by the X11 build under a Russian layout (the key of Ф, stored as
  Windows-1251's 0xD4) are read the same way: the title names the key, and
  F11 makes shots at quality 30 while F8 reaches wev;
- SIGTERM, SIGINT and SIGHUP each end the program with status 0: before,
  F8 runs the program's binding; after, it runs none and reaches wev;
- with a StatusNotifier tray (the stand-in watcher on a session bus, as
  waybar's tray would be): the item registers, sway's close of the window
  (the close box's request, and any other program's) hides it in the tray
  while the hotkey still shoots, the panel's "Настройки" shows it again and
  its "Выход" ends the program with status 0, leaving no binding;
- without a tray the same close leaves the window where it is (sway has
  no minimised windows) and the program running;
- on a keyboard with a German keymap (a virtual keyboard that brings a
  real one), the key of the US Y typed into the window is "Z", as the X11
  build names it; applied, set.ini holds 0x5A "Z", and that key shoots;
  the key of Ö, which only the keymap can name, is VK_OEM_1 "Ö";
- an output at scale 2: the window keeps its 96 DPI layout in sway's
  units and is drawn at twice its size in the output's pixels;
- the compositor going away ends the program.

    program_endings.py    (SNAPWICK_WAYLAND_KEYS: the benchmark's virtual keyboard)
"""

import os
import signal
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from PIL import Image  # noqa: E402

from program import TITLE_F8, BindingWatch, FocusedClient, install, settings_record, start  # noqa: E402
from shots import jpeg_qualities  # noqa: E402
from sway_session import expect, run, wait_until  # noqa: E402

HERE = Path(__file__).resolve().parent
WATCHER = HERE.parent / "e2e_native" / "status_notifier_watcher.py"
HOST = HERE / "tray_host.py"
# evdev codes
KEY_TAB, KEY_US_Y, KEY_ENTER, KEY_US_SEMICOLON = 15, 21, 28, 39


def tap(sway, key):
    sway.wtype("-P", key, "-s", "20", "-p", key)


def expect_bound(sway, app, bindings, key, what):
    """The key runs the program's binding (down and up) and makes a shot."""
    own, before = bindings.own(), app.shots()
    tap(sway, key)
    wait_until(lambda: bindings.own() >= own + 2, 5, f"{what}: {key} ran no binding of the program")
    app.wait_shots(1, before=before)


def expect_given_back(sway, focused, bindings, key, what):
    """The key runs no binding of the program and reaches wev. Held a
    while: wtype's keyboard comes and goes with it, and a release that
    comes before wev has taken the new keyboard never reaches wev."""
    own, seen = bindings.own(), focused.released(key)
    sway.wtype("-P", key, "-s", "200", "-p", key)
    wait_until(lambda: focused.released(key) == seen + 1, 5, f"{what}: {key} did not reach wev")
    time.sleep(0.2)
    expect(bindings.own() == own, f"{what}: {key} still ran a binding of the program")


def other_builds_settings(s, sway, focused, bindings):
    windows = install(sway, "from-windows", (HERE / "fixtures" / "set-windows-f11-q30.ini").read_bytes())
    app = start(s, sway, windows, tag="from-windows")
    expect(app.title() == "Snapwick 1.1 (HotKey:F11)", f"with the Windows build's set.ini the title is "
                                                       f"{app.title()!r}")
    focused.focus()
    expect_bound(sway, app, bindings, "F11", "the Windows build's F11")
    qualities = [jpeg_qualities(app.pic / name) for name in app.shots()]
    expect(all(30 in q for q in qualities), f"F11's shots are not at quality 30: {qualities}")
    expect_given_back(sway, focused, bindings, "F8", "with F11 from the Windows build")
    expect(app.shots() and (app.folder / "set.ini").read_bytes() ==
           (HERE / "fixtures" / "set-windows-f11-q30.ini").read_bytes(), "set.ini changed without Apply")
    expect(_end(app, signal.SIGTERM) == 0, "SIGTERM did not end the program with status 0")

    russian = install(sway, "from-x11", (HERE / "fixtures" / "set-x11-russian-a.ini").read_bytes())
    app = start(s, sway, russian, tag="from-x11")
    expect(app.title() == "Snapwick 1.1 (HotKey:Ф)", f"with the X11 build's Russian set.ini the title is "
                                                     f"{app.title()!r}")
    expect(_end(app, signal.SIGTERM) == 0, "SIGTERM did not end the program with status 0")


def _end(app, number):
    app.signal(number)
    return app.wait_exit(10)


def signals(s, sway, focused, bindings):
    folder = install(sway, "signals")
    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        name = signal.Signals(number).name
        app = start(s, sway, folder, tag=name)
        expect(app.title() == TITLE_F8, f"the title is {app.title()!r}")
        focused.focus()
        expect_bound(sway, app, bindings, "F8", f"before {name}")
        code = _end(app, number)
        expect(code == 0, f"{name} ended the program with status {code}")
        expect_given_back(sway, focused, bindings, "F8", f"after {name}")
        s.log(f"{name}: status 0, F8 given back")


def tray(s, sway, focused, bindings):
    bus = sway.runtime / "bus"
    sway.spawn_as_user(["dbus-daemon", "--session", "--nofork", "--nopidfile", f"--address=unix:path={bus}"],
                       "dbus.log")
    wait_until(bus.exists, 10, "the session bus did not open its socket")
    sway.client_env["DBUS_SESSION_BUS_ADDRESS"] = f"unix:path={bus}"
    watcher_log = s.out / "watcher.log"
    sway.spawn_as_user(["/usr/bin/python3", str(WATCHER)], "watcher.log")
    wait_until(lambda: watcher_log.exists() and "watching" in watcher_log.read_text(), 15,
               "the StatusNotifier watcher did not take its name")

    app = start(s, sway, install(sway, "tray"), tag="tray")
    item = wait_until(lambda: [line.split()[1:] for line in watcher_log.read_text().splitlines()
                               if line.startswith("item ")], 10, "the program registered no tray item")[0]

    def host(*args):
        r = sway.as_user(["/usr/bin/python3", str(HOST), *item, *args])
        expect(r.returncode == 0, f"the panel's {args} failed: {r.stderr.decode(errors='replace')}")
        return r.stdout.decode().split("\n")

    menu = [label for label in host("menu") if label]
    expect(menu == ["Настройки", "Выход"], f"the tray menu holds {menu}")

    sway.swaymsg(f"[pid={app.proc.pid}] kill")
    wait_until(lambda: app.node() is None, 10, "sway's close did not hide the window in the tray")
    expect(app.alive(), "sway's close ended the program")
    expect_bound(sway, app, bindings, "F8", "with the window in the tray")
    host("click", "Настройки")
    wait_until(app.node, 10, "the panel's Настройки did not show the window")
    host("click", "Выход")
    code = app.wait_exit(10)
    expect(code == 0, f"the panel's Выход ended the program with status {code}")
    wait_until(lambda: f"gone {item[0]}" in watcher_log.read_text(), 5, "the tray item stayed after Выход")
    focused.focus()
    expect_given_back(sway, focused, bindings, "F8", "after the panel's Выход")


def german_keyboard(s):
    """Keys typed on a keyboard with a German PC keymap, named from the
    keymap sway sends the program's own keyboard."""
    sway = s.sway("german", config="input * xkb_layout de\n")
    app = start(s, sway, install(sway, "german"), tag="german")
    keys = sway.start_keyboard(os.environ["SNAPWICK_WAYLAND_KEYS"], "de")
    time.sleep(0.3)  # until Qt has taken the new keyboard

    def type_key(code):
        keys.press(code)
        time.sleep(0.04)
        keys.release(code)
        time.sleep(0.04)
    # From "Выход", the first control, Tab twice to "Применить"; the key
    # last, since every key released over the window is captured; Enter
    # presses the focused button.
    for code in (KEY_TAB, KEY_TAB, KEY_US_Y, KEY_ENTER):
        type_key(code)
    wait_until(lambda: app.title() == "Snapwick (HotKey:Z)", 10,
               f"after Apply the title is {app.title()!r}, not 'Snapwick (HotKey:Z)'")
    record = settings_record(80, 1, 0x5A, "Z")
    wait_until(lambda: (app.folder / "set.ini").read_bytes() == record, 5,
               f"set.ini holds {(app.folder / 'set.ini').read_bytes()!r}, not {record!r}")
    type_key(KEY_US_Y)
    app.wait_shots(1)
    # Ö is no key of a US keyboard: only the keymap names it. Its code is
    # the US key's (VK_OEM_1), its name the character, stored as "?" in
    # Windows-1251, which has no Ö; sway binds no punctuation key, so the
    # title names no key and a message box says why.
    for code in (KEY_US_SEMICOLON, KEY_ENTER):
        type_key(code)

    def titles():
        return sorted(node.get("name") or "" for node in app.nodes())
    # Apply named the program "Snapwick" in the caption; the key refused
    # leaves that name without a key, beside the message titled the same.
    wait_until(lambda: titles() == ["Snapwick", "Snapwick"], 10,
               f"after Apply the windows are {titles()!r}, not the title without a key and the message")
    record = settings_record(80, 1, 0xBA, "?")
    wait_until(lambda: (app.folder / "set.ini").read_bytes() == record, 5,
               f"set.ini holds {(app.folder / 'set.ini').read_bytes()!r}, not {record!r}")
    expect(_end(app, signal.SIGTERM) == 0, "SIGTERM did not end the program with status 0")
    keys.close()
    sway.stop()


def scaled(s):
    """An output at scale 2: the window keeps its 96 DPI layout, 463x210 in
    sway's (logical) units, and Qt draws it at twice that in the output's
    pixels, never twice over; shots are the output's own pixels."""
    sway = s.sway("scaled", config="output HEADLESS-1 scale 2\noutput HEADLESS-1 bg #102030 solid_color\n")
    app = start(s, sway, install(sway, "scaled"), tag="scaled")
    geometry = app.node().get("geometry", {})
    expect((geometry.get("width"), geometry.get("height")) == (463, 210),
           f"at scale 2 the window is {geometry.get('width')}x{geometry.get('height')} in sway's units")
    time.sleep(0.5)  # swaybg's colour
    tap(sway, "F8")
    shot = app.wait_shots(1)[0]
    with Image.open(app.pic / shot) as image:
        expect(image.size == (1920, 1080), f"at scale 2 the shot is {image.size}, not the output's 1920x1080")
        rgb = image.convert("RGB")
        # What is not the background's colour is the window, borders and all.
        xs = [x for x in range(0, 1920, 2) if any(_away(rgb.getpixel((x, y))) for y in range(300, 800, 25))]
    width = xs[-1] - xs[0] + 2 if xs else 0
    s.log(f"at scale 2 the window is {width} output pixels wide")
    expect(900 <= width <= 960, f"at scale 2 the window is {width} output pixels wide, not about 2 x 463")
    expect(_end(app, signal.SIGTERM) == 0, "SIGTERM did not end the program with status 0")
    sway.stop()


def _away(pixel, background=(0x10, 0x20, 0x30)):
    return any(abs(a - b) > 24 for a, b in zip(pixel, background))


def body(s):
    sway = s.sway("endings")
    focused = FocusedClient(s, sway)
    bindings = BindingWatch(s, sway)
    other_builds_settings(s, sway, focused, bindings)
    signals(s, sway, focused, bindings)

    # No tray: sway's close leaves the window in reach.
    app = start(s, sway, install(sway, "no-tray"), tag="no-tray")
    sway.swaymsg(f"[pid={app.proc.pid}] kill")
    time.sleep(0.5)
    expect(app.alive() and app.node(), "without a tray sway's close took the window out of reach")
    expect(_end(app, signal.SIGTERM) == 0, "SIGTERM did not end the program with status 0")

    tray(s, sway, focused, bindings)
    german_keyboard(s)
    scaled(s)

    # The compositor goes: so does the program, whatever it was doing.
    app = start(s, sway, install(sway, "last"), tag="last")
    sway.stop()
    code = app.wait_exit(10)
    expect(code is not None, "the program outlived its compositor by 10 s")
    expect(code >= 0, f"the program died of signal {-code} when its compositor went")
    s.log(f"the compositor gone: the program ended with status {code}")


run("wayland_program_endings", body, deadline=150)
