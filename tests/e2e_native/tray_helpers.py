"""What the tray scenarios look at: the window's state and the focus as the
window manager keeps them, and the tray menu's items."""

import re

from xdisplay import holds_for, wait_until

# How long a single click is given to show that it is not half a double-click.
AFTER_CLICK = 1.5
MENU = [("menu item", "Настройки"), ("separator", ""), ("menu item", "Выход")]


def window_state(s, window):
    """"normal", "minimised" (iconic) or "hidden" (withdrawn), as the window
    manager keeps it."""
    r = s.x(["xprop", "-id", str(window.id), "WM_STATE", "_NET_WM_STATE"], check=False)
    text = r.stdout.decode("utf-8", "replace")
    state = re.search(r"window state: (\w+)", text)
    state = state.group(1) if state else "Withdrawn"
    viewable = window.viewable()
    if state == "Normal" and viewable and "_NET_WM_STATE_HIDDEN" not in text:
        return "normal"
    if state == "Iconic" and not viewable:
        return "minimised"
    if state == "Withdrawn" and not viewable:
        return "hidden"
    return f"odd: WM_STATE {state}, viewable {viewable}, {text.strip()!r}"


def expect_state(s, window, want, what):
    wait_until(lambda: window_state(s, window) == want, 10,
               f"{what}: the window is {window_state(s, window)}, not {want}")


def expect_focus_settled(s, window, focused, what):
    """Waits until the window manager has given the focus to the window, or
    taken it elsewhere, and keeps it there for half a second. A menu that
    pops up before the window manager has moved the focus after showing or
    hiding the window loses the focus to that move and closes, as any pop-up
    does when the user clicks away; openbox may move it more than once (once
    for each of the focus events that a hide makes)."""
    def settled():
        r = s.x(["xdotool", "getwindowfocus"], check=False)
        holder = int(r.stdout) if r.returncode == 0 and r.stdout.strip().isdigit() else None
        # X itself moves the focus of a window unmapped to none or the
        # pointer's root (0 or 1); the window manager then picks a window.
        return holder == window.id if focused else holder not in (None, 0, 1, window.id)
    moved = "did not give the window the focus" if focused else "left the focus on the window"
    wait_until(lambda: holds_for(settled, 0.5), 10, f"{what}: the window manager {moved}")
