"""What a StatusNotifier panel (waybar's tray) does with an item's exported
menu, run as the session's user on its session bus (a session bus takes
connections from its own user only):

    tray_host.py SERVICE PATH menu          prints the top level's labels
    tray_host.py SERVICE PATH click LABEL   the panel's "clicked" on it
"""

import sys

import dbus

ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"


def main(service, path, action, *args):
    bus = dbus.SessionBus()
    item = bus.get_object(service, path, introspect=False)
    menu_path = str(item.Get(ITEM, "Menu", dbus_interface="org.freedesktop.DBus.Properties"))
    menu = bus.get_object(service, menu_path, introspect=False)
    menu.AboutToShow(dbus.Int32(0), dbus_interface=MENU)
    _, (_, _, children) = menu.GetLayout(dbus.Int32(0), dbus.Int32(-1), dbus.Array([], signature="s"),
                                         dbus_interface=MENU)
    labels = {str(props.get("label", "")): int(ident) for ident, props, _ in children}
    if action == "menu":
        print("\n".join(labels))
        return 0
    menu.Event(dbus.Int32(labels[args[0]]), "clicked", dbus.String("", variant_level=1), dbus.UInt32(0),
               dbus_interface=MENU)
    print("clicked")
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
