"""Keys and clicks on a headless GNOME Shell through Mutter's own remote
desktop interface (org.gnome.Mutter.RemoteDesktop on the session bus, no
dialog). Run as the desktop's user; reads commands from stdin and answers
each with "ok":

    key CODE          an evdev key code pressed and released (Escape is 1)
    down CODE         the key pressed and held; "ok NS" (CLOCK_MONOTONIC)
    up CODE           the held key released; "ok NS"
    click X Y         the left button at monitor pixel X, Y
    move X Y          the pointer to monitor pixel X, Y

Absolute pointer motion needs a screen-cast stream of the monitor in the
same remote desktop session; it is made and never read. Mutter drops the
session's first motion (a click sent right away lands where the pointer
was), so one is sent at the start, to the monitor's bottom right corner,
where nothing is.
"""

import sys
import time

import dbus

RD = "org.gnome.Mutter.RemoteDesktop"
SC = "org.gnome.Mutter.ScreenCast"
BTN_LEFT = 0x110


def main():
    bus = dbus.SessionBus()
    desktop = dbus.Interface(bus.get_object(RD, "/org/gnome/Mutter/RemoteDesktop"), RD)
    session_path = desktop.CreateSession()
    session_object = bus.get_object(RD, session_path)
    session = dbus.Interface(session_object, RD + ".Session")
    session_id = session_object.Get(RD + ".Session", "SessionId",
                                    dbus_interface="org.freedesktop.DBus.Properties")
    cast = dbus.Interface(bus.get_object(SC, "/org/gnome/Mutter/ScreenCast"), SC)
    cast_path = cast.CreateSession({"remote-desktop-session-id": session_id})
    cast_session = dbus.Interface(bus.get_object(SC, cast_path), SC + ".Session")
    config = bus.get_object("org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig")
    state = config.GetCurrentState(dbus_interface="org.gnome.Mutter.DisplayConfig")
    connector = str(state[1][0][0][0])
    stream = cast_session.RecordMonitor(connector, {"cursor-mode": dbus.UInt32(0)})
    session.Start()
    width, height = state[1][0][1][0][1:3]
    session.NotifyPointerMotionAbsolute(stream, float(width - 1), float(height - 1))
    print("ready", flush=True)
    for line in sys.stdin:
        words = line.split()
        if words[:1] == ["key"]:
            code = int(words[1])
            session.NotifyKeyboardKeycode(dbus.UInt32(code), True)
            session.NotifyKeyboardKeycode(dbus.UInt32(code), False)
        elif words[:1] in (["down"], ["up"]):
            session.NotifyKeyboardKeycode(dbus.UInt32(int(words[1])), words[0] == "down")
            print("ok", time.monotonic_ns(), flush=True)
            continue
        elif words[:1] == ["click"]:
            session.NotifyPointerMotionAbsolute(stream, float(words[1]), float(words[2]))
            session.NotifyPointerButton(BTN_LEFT, True)
            session.NotifyPointerButton(BTN_LEFT, False)
        elif words[:1] == ["move"]:
            session.NotifyPointerMotionAbsolute(stream, float(words[1]), float(words[2]))
        else:
            print("error", line.strip(), flush=True)
            continue
        print("ok", flush=True)
    session.Stop()


if __name__ == "__main__":
    main()
