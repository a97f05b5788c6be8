#!/usr/bin/python3
"""The session decides the program's platform, with no switch of its own:
- with no display at all, the program says why on stderr and ends with
  status 1, before any window;
- in a Wayland session (whose X server, if any, shows none of the Wayland
  windows) without a way to the screen and the hotkey yet, the window still
  comes up, the program says plainly in a message box and on stderr that
  it makes no shots there, and F8 makes no file at all, not a black one;
- in an X11 session from the same environment it makes shots."""
import time

from native import run
from snapwick import TITLE_F8
from xdisplay import expect, holds_for, wait_until

NO_X = "Snapwick: нет связи с X-сервером"
WAYLAND_ONLY = "Snapwick не может связаться с композитором Wayland"
# A compositor's socket name that no compositor holds: the window goes to
# the X server through Qt's fallback.
WAYLAND = {"WAYLAND_DISPLAY": "wayland-snapwick-none", "XDG_SESSION_TYPE": "wayland"}
# Where no key can be watched the title names none: it would never fire.
TITLE_WITHOUT_KEY = "Snapwick 1.1"


def no_display(s, folder):
    app = s.start_app(folder, tag="no-display", env={"DISPLAY": None, "XDG_SESSION_TYPE": "tty"})
    code = app.wait_exit(15)
    said = app.log_path.read_text(errors="replace")
    expect(code == 1, f"without a display the program ended with {code}, not 1")
    expect(NO_X in said, f"without a display the program said {said!r}")
    expect(not (folder / "pic").exists(), "the program went on to make pic/ without a display")


def wayland_session(s, folder):
    app = s.start_app(folder, tag="wayland", env=WAYLAND)

    def both_windows():
        expect(app.alive(), f"the program ended: {app.log_path.read_text(errors='replace')!r}")
        titles = [w.title() for w in s.program_windows(app.proc.pid)]
        return TITLE_WITHOUT_KEY in titles and "Snapwick" in titles
    wait_until(both_windows, 30, "the window without a key in its title and the message box did not both come up")
    wait_until(lambda: WAYLAND_ONLY in app.log_path.read_text(errors="replace"), 5,
               "nothing was said on stderr")
    s.hold_key("F8", 1.0)
    expect(holds_for(lambda: not app.shots(), 1.5), f"F8 made files in a Wayland session: {app.shots()}")
    s.stop_apps()


def x11_session(s, folder):
    app, window = s.start_snapwick(folder, tag="x11")
    expect(window.title() == TITLE_F8, f"the X11 session's title is {window.title()!r}, not {TITLE_F8!r}")
    time.sleep(0.5)
    s.hold_key("F8", 0.3)
    wait_until(app.shots, 10, "F8 made no shot in the X11 session")
    said = app.log_path.read_text(errors="replace")
    expect(WAYLAND_ONLY not in said, f"the X11 session was told it was Wayland: {said!r}")


def body(s):
    folder = s.install_app()
    no_display(s, folder)
    wayland_session(s, folder)
    x11_session(s, folder)


run("session_choice", body, deadline=120)
