#!/usr/bin/python3
"""A tray that goes away (its panel crashes or restarts) while the window is
hidden in it leaves the window out of reach: the program shows the window
again, without taking the keyboard focus from the program in front, and
docks its icon again when a tray comes back, after which the close box
hides the window into it once more. Both kinds of tray: an XEmbed one
(trayer, owner of the _NET_SYSTEM_TRAY_S0 selection, killed) and a
StatusNotifier watcher leaving the session bus. Docked in trayer, the icon
shows the tray's own background in its corners, not a black square."""
import signal

from native import run  # first: it puts the shared harness on the path
from status_notifier_host import Host
from tray_helpers import expect_state, window_state
from xdisplay import expect, holds_for, wait_until

TRAYER = ["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "120",
          "--height", "24"]


def start_trayer(s):
    proc = s.spawn(TRAYER, s.out / "trayer.log")
    s.tray = "trayer"  # where tray_icons() looks for the docked icon
    wait_until(lambda: s._selection_owner("_NET_SYSTEM_TRAY_S0"), 15, "trayer did not take the tray selection")
    return proc


def check_icon_see_through(s, icon, name):
    """The icon's corners show what the tray shows beside the icon."""
    x, y, w, h, _ = icon.info()
    from PIL import Image
    with Image.open(s.screenshot(name)) as img:
        root = img.convert("RGB")
    beside = root.getpixel((x - 1, y + h // 2))
    corners = [root.getpixel(p) for p in ((x, y), (x + w - 1, y), (x, y + h - 1), (x + w - 1, y + h - 1))]
    expect(all(max(abs(a - b) for a, b in zip(c, beside)) <= 8 for c in corners),
           f"the {w}x{h} icon's corners are {corners}, the tray beside it {beside}")
    middle = root.getpixel((x + w // 2, y + h // 3))
    expect(max(abs(a - b) for a, b in zip(middle, beside)) > 40,
           f"the icon's screen ({middle}) does not stand out from the tray ({beside}): no icon drawn")


def focused_window(s):
    r = s.x(["xdotool", "getwindowfocus"], check=False)
    return int(r.stdout) if r.returncode == 0 and r.stdout.strip().isdigit() else None


def xembed(s):
    trayer = start_trayer(s)
    app, window = s.start_snapwick(s.install_app("xembed"))
    icon = wait_until(s.tray_icon, 10, "the icon did not dock in trayer")
    check_icon_see_through(s, icon, "docked.png")
    window.close_box()
    expect_state(s, window, "hidden", "the close box with trayer running")
    term, _ = s.start_terminal()

    trayer.send_signal(signal.SIGKILL)
    trayer.wait(10)
    expect_state(s, window, "normal", "trayer killed with the window hidden")
    expect(holds_for(lambda: focused_window(s) == term.id, 1.0),
           f"the window shown again took the focus from the terminal (focus on {focused_window(s)})")

    start_trayer(s)
    icon = wait_until(s.tray_icon, 15, "the icon did not dock again in a new trayer")
    expect(window_state(s, window) == "normal", "a new tray hid the window by itself")
    window.close_box()
    expect_state(s, window, "hidden", "the close box once the tray was back")
    check_icon_see_through(s, icon, "docked_again.png")
    s.end_app(app)


def status_notifier(s):
    host = Host(s)
    host.start()
    app, window = s.start_snapwick(s.install_app("status_notifier"))
    host.wait_items(1, "the program registered no item with the watcher")
    window.close_box()
    expect_state(s, window, "hidden", "the close box with a watcher running")

    host.stop(crash=True)
    expect_state(s, window, "normal", "the watcher left the bus with the window hidden")

    host.start()
    host.wait_items(2, "the program did not register its item again with the new watcher")
    window.close_box()
    expect_state(s, window, "hidden", "the close box once the watcher was back")
    # The panel's own request still reaches the program through the new watcher.
    host.item(host.items()[-1]).Activate(1900, 10, dbus_interface="org.kde.StatusNotifierItem")
    expect_state(s, window, "normal", "an activation through the new watcher")
    s.end_app(app)


def body(s):
    s.each_case([("XEmbed tray killed", xembed), ("StatusNotifier watcher gone", status_notifier)],
                lambda _name, case: case(s))


run("tray_goes_away", body, deadline=150, tray=None)
