"""Snapwick itself on a real headless sway, from a fresh copy of
dist/snapwick-linux run as the session's user, with a known picture on
HEADLESS-1 and wev as another client (floating in a corner, so that the
picture stays in view):

- the window is a Wayland window in sway's tree (xdg-shell), titled as on
  X11, floating at its fixed size;
- F8 held about 1 s (wtype) makes 19 to 21 consecutive shots of the whole
  1920x1080 output that show the picture, and a 20 ms tap exactly one,
  while wev, which has the focus, receives no F8;
- on a keyboard with a real keymap, F8 held while another key goes down
  (a letter typed, or Ctrl pressed and let go after F8), when sway runs no
  release binding: shots while F8 is held, none a second after every key
  is up, also when the letter came before F8's first repeat;
- after `swaymsg reload` F8 still shoots; a reload whose configuration
  binds F8 itself leaves the title without a key (and a message says so)
  and F8 to the configuration, and the reload that drops that binding
  gives F8 and the title back;
- a new mode of HEADLESS-1 gives shots of the new size; a second output
  made with create_output is not the one copied;
- keys typed into the window (Tab to "Применить", F9, Enter): the title
  names F9, set.ini holds the exact bytes, F9 shoots and F8 no longer
  does (it reaches wev again);
- "Выход" (Tab to it, Enter) ends the program with status 0 and leaves no
  binding behind: F9 then runs no binding of the program and reaches wev.

    program_on_sway.py    (dist/snapwick-linux built by the linux-app preset;
                           SNAPWICK_WAYLAND_KEYS: the benchmark's virtual keyboard)
"""

import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from PIL import Image  # noqa: E402

from program import (TITLE_F8, BindingWatch, FocusedClient, desktop_picture, held_one_second,  # noqa: E402
                     holds_without_release, install, settings_record, shot_matches, start)
from sway_session import expect, run, wait_until  # noqa: E402

# What every message ends with where a session gives the program no way to
# the screen or the hotkey.
NO_SHOTS_NOTICE = "снимки экрана делаться не будут"
WEV_CORNER = (0, 0, 240, 120)
CONFIG = ('for_window [app_id="^wev$"] floating enable, resize set 240 120, move position 0 0\n')


def covered_by_windows(app):
    """What the program's window and wev's hide of the picture, with a
    margin for borders and shadows."""
    rect = app.node()["rect"]
    return [(rect["x"] - 40, rect["y"] - 40, rect["width"] + 80, rect["height"] + 80),
            (0, 0, WEV_CORNER[2] + 40, WEV_CORNER[3] + 40)]


def expect_pictures(names, app, picture, size, what):
    covered = covered_by_windows(app)
    for name in names:
        ok, why = shot_matches(app.pic / name, picture, size, covered=covered)
        expect(ok, f"{what}: {why}")


def body(s):
    picture, path = desktop_picture(s)
    # In the configuration, so that a reload keeps it.
    sway = s.sway("program", config=CONFIG + f"output HEADLESS-1 bg {path} stretch\n")
    grim = sway.home / "grim.ppm"  # the session user writes it

    def picture_drawn():
        r = sway.as_user(["grim", "-t", "ppm", str(grim)])
        return r.returncode == 0 and Image.open(grim).getpixel((1900, 1060)) == picture.getpixel((1900, 1060))
    wait_until(picture_drawn, 15, "swaybg never drew the picture")
    focused = FocusedClient(s, sway)
    bindings = BindingWatch(s, sway)

    app = start(s, sway, install(sway))
    node = app.node()
    expect(node.get("shell") == "xdg_shell", f"the window is not a Wayland window: shell {node.get('shell')!r}")
    expect(node.get("name") == TITLE_F8, f"the window is titled {node.get('name')!r}, not {TITLE_F8!r}")
    expect(node.get("type") == "floating_con", f"the fixed-size window is a {node.get('type')}, not floating")
    geometry = node.get("geometry", {})
    expect((geometry.get("width"), geometry.get("height")) == (463, 210),
           f"the window is {geometry.get('width')}x{geometry.get('height')}, not 463x210 at 96 DPI")
    expect(NO_SHOTS_NOTICE not in app.log(), f"on sway the program said it cannot make shots: {app.log()!r}")

    # The held key, with wev in front.
    focused.focus()
    wait_until(lambda: not (app.node() or {}).get("focused"), 5, "wev did not take the focus")
    f8_in_wev = focused.released("F8")
    held = held_one_second(s, sway, app, picture, covered_by_windows(app))
    expect(focused.released("F8") == f8_in_wev, "wev received F8 while the program watched it")

    sway.wtype("-P", "F8", "-s", "20", "-p", "F8")
    tap = app.wait_shots(1, before=held)
    expect(len(tap) == 1, f"a 20 ms tap made {len(tap)} shots")
    shots = held + tap

    shots += holds_without_release(s, sway, app)

    # A reload drops the bindings made at run time; the program makes them
    # again as soon as sway tells of it, unless the configuration binds the
    # key itself now: then the key is the configuration's, the title names
    # none and a message says so, until a reload gives the key back.
    config = sway.config.read_text()
    users_f8 = sway.home / "users-f8"

    def windows():
        return sorted(node.get("name") or "" for node in app.nodes())
    sway.config.write_text(config + f"bindsym F8 exec touch {users_f8}\n")
    sway.swaymsg("reload")
    wait_until(lambda: windows() == ["Snapwick", "Snapwick 1.1"], 10,
               f"with F8 in the configuration the windows are {windows()!r}")
    sway.wtype("-P", "F8", "-s", "20", "-p", "F8")
    wait_until(users_f8.exists, 5, "the configuration's own F8 did not run")
    sway.config.write_text(config)
    sway.swaymsg("reload")
    wait_until(lambda: windows() == ["Snapwick", TITLE_F8], 10,
               f"with F8 out of the configuration again the windows are {windows()!r}")
    sway.swaymsg(f'[pid={app.proc.pid} title="^Snapwick$"] kill')
    wait_until(lambda: windows() == [TITLE_F8], 5, f"the message did not close: {windows()!r}")
    wait_until(picture_drawn, 15, "swaybg did not draw the picture again after the reloads")
    sway.wtype("-P", "F8", "-s", "20", "-p", "F8")
    after_reload = app.wait_shots(1, before=shots)
    expect(len(after_reload) == 1, f"a tap after the reloads made {len(after_reload)} shots")
    expect_pictures(after_reload, app, picture, (1920, 1080), "after the reloads")
    shots += after_reload

    # A new mode: shots of the new size.
    sway.swaymsg("output HEADLESS-1 mode 1280x720")
    sway.wtype("-P", "F8", "-s", "20", "-p", "F8")
    smaller = app.wait_shots(1, before=shots)
    with Image.open(app.pic / smaller[0]) as shot:
        expect(shot.size == (1280, 720), f"after the mode change the shot is {shot.size}, not 1280x720")
    shots += smaller

    # A second output: still HEADLESS-1, at 0,0, is copied.
    sway.swaymsg("create_output")
    wait_until(lambda: len(sway.outputs()) == 2, 10, "create_output made no second output")
    sway.swaymsg("output HEADLESS-2 bg #20c060 solid_color")
    time.sleep(0.5)
    sway.wtype("-P", "F8", "-s", "20", "-p", "F8")
    with_second = app.wait_shots(1, before=shots)
    ok, why = shot_matches(app.pic / with_second[0], picture, (1280, 720), covered=covered_by_windows(app))
    expect(ok, f"with a second output the shot is not HEADLESS-1's: {why}")
    shots += with_second

    # A new hotkey typed into the window. The window's first control is
    # "Выход"; Tab goes to the quality, then to "Применить". Every key
    # released over the window is captured, so F9 comes last, and Enter
    # presses the focused button as in a Windows dialog. One wtype for all:
    # the first key of a new virtual keyboard may reach Qt before it has
    # taken the keyboard, so a harmless Shift goes first.
    app.focus()
    sway.wtype("-d", "40", "-k", "Shift_L", "-k", "Tab", "-k", "Tab", "-k", "F9", "-k", "Return")
    title = "Snapwick (HotKey:F9)"
    wait_until(lambda: app.title() == title, 10, f"after Apply the title is {app.title()!r}, not {title!r}")
    record = settings_record(80, 1, 0x78, "F9")
    wait_until(lambda: (app.folder / "set.ini").read_bytes() == record, 5,
               f"set.ini holds {(app.folder / 'set.ini').read_bytes()!r}, not {record!r}")

    focused.focus()
    wait_until(lambda: not (app.node() or {}).get("focused"), 5, "wev did not take the focus back")
    sway.wtype("-P", "F9", "-s", "300", "-p", "F9")
    by_f9 = app.wait_shots(5, before=shots)
    shots += by_f9
    own = bindings.own()
    f8_in_wev = focused.released("F8")
    # Held a while: a release that comes before wev has taken wtype's new
    # keyboard never reaches it.
    sway.wtype("-P", "F8", "-s", "200", "-p", "F8")
    wait_until(lambda: focused.released("F8") == f8_in_wev + 1, 5, "F8, no longer the hotkey, did not reach wev")
    expect(bindings.own() == own, "F8 still ran a binding of the program after F9 was applied")
    expect(app.shots() == sorted(shots, key=lambda n: int(n[:-4].rsplit("_", 1)[1])),
           "F8 made a shot after F9 was applied")

    # "Выход": from "Применить" Tab goes through the hotkey box and the
    # sound box to it.
    app.focus()
    sway.wtype("-d", "40", "-k", "Shift_L", "-k", "Tab", "-k", "Tab", "-k", "Tab", "-k", "Return")
    code = app.wait_exit(10)
    expect(code == 0, f"Выход ended the program with status {code}")
    own = bindings.own()
    f9_in_wev = focused.released("F9")
    sway.wtype("-P", "F9", "-s", "200", "-p", "F9")
    wait_until(lambda: focused.released("F9") == f9_in_wev + 1, 5, "after Выход F9 did not reach wev")
    time.sleep(0.2)
    expect(bindings.own() == own, "after Выход F9 still ran a binding of the program")


run("wayland_program_on_sway", body, deadline=120)
