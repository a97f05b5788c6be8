#!/usr/bin/python3
"""With no tray on the desktop the close box cannot hide the window (nothing
could bring it back): it minimises it instead, the program goes on, and the
window manager restores it as a task bar would."""
from native import run
from snapwick import exit_with_button
from xdisplay import expect, holds_for, wait_until


def wm_state(s, window):
    return s.x(["xprop", "-id", str(window.id), "WM_STATE"], check=False).stdout.decode()


def body(s):
    folder = s.install_app()
    app, window = s.start_snapwick(folder)
    expect(holds_for(lambda: not s.tray_icons() and app.alive(), 1.0), "an icon docked with no tray running")

    window.close_box()
    wait_until(lambda: "Iconic" in wm_state(s, window), 10,
               f"the close box did not minimise the window: {wm_state(s, window).strip()!r}")
    expect(holds_for(app.alive, 2.0), f"the program ended (status {app.proc.returncode})")
    expect("Iconic" in wm_state(s, window), "the window did not stay minimised")

    s.x(["xdotool", "windowactivate", "--sync", str(window.id)])
    wait_until(window.viewable, 10, "the minimised window could not be restored")
    exit_with_button(app, window, timeout=10)
    expect(app.proc.returncode == 0, f"Выход ended the program with status {app.proc.returncode}")


run("close_without_tray", body, deadline=60, tray=None)
