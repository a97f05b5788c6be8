#!/usr/bin/python3
"""The window cannot be maximised, as the Windows dialog has no maximise
box: its size hints fix the size (minimum = maximum), openbox offers no
maximise action, and a maximise request (_NET_WM_STATE, as a title bar's
button or a key binding sends it) leaves it at its size, not grey
1920x1061 with the layout in a corner. The hotkey box opens no context menu
on a right click or on the Menu key, nor does the quality box's edit field; the Menu key is captured as any key,
and a name too long for the box ("Right Windows") shows from its start, as
in a Windows edit field, not scrolled to "ight Windows"."""
import ctypes

from native import run  # first: it puts the shared harness on the path
from pictures import glyph_shapes
from snapwick import client_size, control_rect, hotkey_box_ink
from xdisplay import _XEvent, _xlib, expect, holds_for, wait_until

_SUBSTRUCTURE = (1 << 19) | (1 << 20)  # SubstructureNotify and Redirect


def ask_maximised(s, wid):
    """What a window manager's maximise button or key binding asks for."""
    x = _xlib()
    dpy = x.XOpenDisplay(s.display.name.encode())
    expect(dpy, f"cannot open display {s.display.name}")
    try:
        ev = _XEvent()
        ev.xclient.type = 33  # ClientMessage
        ev.xclient.window = wid
        ev.xclient.message_type = x.XInternAtom(dpy, b"_NET_WM_STATE", 0)
        ev.xclient.format = 32
        ev.xclient.data[0] = 1  # add
        ev.xclient.data[1] = x.XInternAtom(dpy, b"_NET_WM_STATE_MAXIMIZED_VERT", 0)
        ev.xclient.data[2] = x.XInternAtom(dpy, b"_NET_WM_STATE_MAXIMIZED_HORZ", 0)
        ev.xclient.data[3] = 2  # from a pager or the user's own tool
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        expect(x.XSendEvent(dpy, x.XDefaultRootWindow(dpy), 0, _SUBSTRUCTURE, ctypes.byref(ev)) != 0,
               "XSendEvent(_NET_WM_STATE) failed")
        x.XFlush(dpy)
    finally:
        x.XCloseDisplay(dpy)


def body(s):
    app, window = s.start_snapwick(s.install_app())
    size = "{} by {}".format(*client_size())
    hints = s.x(["xprop", "-id", str(window.id), "WM_NORMAL_HINTS"]).stdout.decode()
    expect(f"minimum size: {size}" in hints and f"maximum size: {size}" in hints,
           f"the size hints do not fix the window at {size}: {hints.strip()}")
    actions = s.x(["xprop", "-id", str(window.id), "_NET_WM_ALLOWED_ACTIONS"]).stdout.decode()
    expect("MAXIMIZE" not in actions and "RESIZE" not in actions,
           f"openbox offers to maximise or resize the window: {actions.strip()}")

    ask_maximised(s, window.id)
    expect(holds_for(lambda: tuple(window.info()[2:4]) == client_size(), 1.5),
           f"a maximise request made the window {window.info()[2:4]}")
    state = s.x(["xprop", "-id", str(window.id), "_NET_WM_STATE"], check=False).stdout.decode()
    expect("MAXIMIZED" not in state, f"the window is marked maximised: {state.strip()}")

    box = control_rect("HotkeyBox")
    window.click_rect(box)
    window.click(box[0] + box[2] // 2, box[1] + box[3] // 2, button=3)
    expect(holds_for(lambda: not s.popup_menus(), 1.0),
           f"a right click on the hotkey box opened {len(s.popup_menus())} pop-up(s)")
    window.focus()
    s.x(["xdotool", "key", "Menu"])
    expect(holds_for(lambda: not s.popup_menus(), 1.0),
           f"the Menu key over the hotkey box opened {len(s.popup_menus())} pop-up(s)")
    wait_until(lambda: window.control_text("HotkeyBox") == "Application", 10,
               f"the Menu key was not captured: the box holds {window.control_text('HotkeyBox')!r}")

    # Nor does the quality box's edit field, whose typed text never stays.
    combo = control_rect("QualityCombo")
    window.click(combo[0] + 8, combo[1] + combo[3] // 2, button=3)
    expect(holds_for(lambda: not s.popup_menus(), 1.0),
           f"a right click on the quality box opened {len(s.popup_menus())} pop-up(s)")

    s.x(["xdotool", "key", "Super_R"])
    wait_until(lambda: window.control_text("HotkeyBox") == "Right Windows", 10,
               f"Super_R was not captured: the box holds {window.control_text('HotkeyBox')!r}")
    # Bold R is twice as wide as i.
    first = glyph_shapes(hotkey_box_ink(window, "right_windows.png"))[0]
    width = max(x for x, _ in first) + 1
    expect(width >= 5, f"the box's first letter is {width} pixels wide: not the R of Right Windows")
    s.end_app(app)


run("window_fixed_and_hotkey_box", body, deadline=120)
