#!/usr/bin/python3
"""The X half of the harness drives a plain X client with no Wine at all: an
xterm is found by its title where its geometry put it, takes the focus,
receives typed text and a held key (repeated by the server while it is down,
never again once it is up), and ends cleanly on the close box's
WM_DELETE_WINDOW instead of losing its window under it."""
import sys

from xdisplay import expect, holds_for, run, wait_until

TITLE = "Snapwick X check"


def body(s):
    expect("wine" not in sys.modules, "the X half of the harness loaded the Wine module")
    typed = s.tmp / "typed"
    log = s.out / "xterm.log"
    # Raw mode: every key reaches the file as it comes, not a line at a time.
    term = s.spawn(["xterm", "-T", TITLE, "-fa", "Monospace", "-geometry", "80x24+100+50",
                    "-e", "sh", "-c", 'stty raw -echo && exec cat >"$0"', str(typed)], log)
    window = s.wait_window(TITLE, timeout=20, what="xterm's window was not shown")
    x, y, w, h, _ = window.info()
    expect((x, y) == (100, 50) and w > 200 and h > 100,
           f"xterm's window is {w}x{h} at {x},{y}, not at 100,50 as its geometry asked")

    def text():
        return typed.read_bytes() if typed.exists() else b""
    window.focus()
    wait_until(window.has_focus, 5, "xterm did not get the focus")
    s.x(["xdotool", "type", "--delay", "30", "snap wick"])
    wait_until(lambda: text() == b"snap wick", 5, f"xterm received {text()!r}, not what was typed")

    s.hold_key("x", 1.5)
    held = text().count(b"x")
    expect(held >= 2, f"x held for 1.5 s reached xterm {held} time(s): it was tapped, not held")
    expect(holds_for(lambda: text().count(b"x") == held, 1.0), "x kept coming after it was let go")

    window.close_box()
    wait_until(lambda: term.poll() is not None, 10, "xterm did not end on WM_DELETE_WINDOW")
    expect(not window.exists(), "xterm's window is still there")
    errors = [line for line in log.read_text(errors="replace").splitlines() if "X Error" in line]
    expect(term.returncode == 0 and not errors,
           f"xterm ended with exit status {term.returncode} and {errors or 'no X errors'}: "
           "its window was taken from it instead of closed")


run("x11_plain_client", body, deadline=90)
