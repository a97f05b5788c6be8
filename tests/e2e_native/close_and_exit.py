#!/usr/bin/python3
"""The close box, whether sent as the window manager's WM_DELETE_WINDOW or
through openbox itself (Alt+F4), only hides the window: the process, its
tray icon and the hotkey go on, and a double-click on the icon brings the
window back. "Выход" ends the program with status 0, silently, and trayer
no longer holds its icon."""
from native import run
from snapwick import TITLE_F8, exit_with_button
from xdisplay import expect, holds_for, wait_until


def expect_hidden(s, app, window, icon, how):
    wait_until(lambda: not window.viewable(), 10, f"{how}: the window is still shown")
    expect(holds_for(app.alive, 2.0), f"{how}: the program ended (status {app.proc.returncode})")
    expect(window.exists(), f"{how}: the window was destroyed, not hidden")
    expect(not window.viewable(), f"{how}: the window came back by itself")
    expect([w.id for w in s.tray_icons()] == [icon.id], f"{how}: the tray holds {s.tray_icons()}, not {icon}")

    # Nothing has the focus now but the desktop: the hotkey still shoots.
    before = len(app.shots())
    s.hold_key("F8", 0.3)
    wait_until(lambda: len(app.shots()) > before, 10, f"{how}: F8 made no shot while the window was hidden")


def show_from_tray(s, window, how):
    s.click_tray_icon(double=True)
    wait_until(window.viewable, 10, f"{how}: a double-click on the tray icon did not show the window")
    expect(window.title() == TITLE_F8, f"{how}: the window came back titled {window.title()!r}")


def body(s):
    folder = s.install_app()
    app, window = s.start_snapwick(folder)
    icon = wait_until(s.tray_icon, 10, "the program's icon did not dock in the tray")

    window.close_box()
    expect_hidden(s, app, window, icon, "WM_DELETE_WINDOW")
    show_from_tray(s, window, "WM_DELETE_WINDOW")

    s.x(["xdotool", "windowactivate", "--sync", str(window.id)])
    s.x(["xdotool", "key", "alt+F4"])
    expect_hidden(s, app, window, icon, "openbox's Alt+F4")
    show_from_tray(s, window, "openbox's Alt+F4")

    exit_with_button(app, window, timeout=10)
    expect(app.proc.returncode == 0, f"Выход ended the program with status {app.proc.returncode}")
    wait_until(lambda: not s.tray_icons(), 5, "trayer still holds the program's icon after Выход")
    expect(not s.program_windows(app.proc.pid, visible_only=False), "a window of the program is left")
    said = app.log_path.read_text(errors="replace").strip()
    expect(not said, f"the program wrote {said!r}")


run("close_and_exit", body, deadline=90)
