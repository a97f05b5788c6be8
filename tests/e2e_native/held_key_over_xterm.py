#!/usr/bin/python3
"""F8 held for about a second while xterm has the focus: several whole
1920x1080 shots numbered 1..n with no gap, each showing the screen as it is
(the painted root window around the windows), and xterm still gets the key
(its F8 escape sequence, repeated) and keeps the focus."""
from native import run
from shots import expect_held_key_shots, make_test_pattern
from xdisplay import expect

F8_SEQUENCE = b"\x1b[19~"


def body(s):
    s.paint_root(make_test_pattern(s.out / "pattern.png"))
    folder = s.install_app()
    app, window = s.start_snapwick(folder)

    term, typed = s.start_terminal()

    expect_held_key_shots(s, app)

    got = typed.read_bytes() if typed.exists() else b""
    expect(got.count(F8_SEQUENCE) >= 2 and not got.replace(F8_SEQUENCE, b""),
           f"xterm received {got!r}, not F8's {F8_SEQUENCE!r} repeated while it was held")
    expect(term.has_focus(), "xterm lost the focus to the program")
    expect(window.control_text("HotkeyBox") == "", "the program captured F8 as if it had the focus")
    expect(app.alive(), "the program ended")


run("held_key_over_xterm", body, deadline=90)
