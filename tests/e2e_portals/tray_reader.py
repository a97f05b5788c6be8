"""Asks a program's StatusNotifier item for a property again and again, as
a panel does, and times each answer: Qt answers such a call on the thread
of the object, the program's window thread, so the times show how soon
that thread gets to its events. Run as the session's user (a session bus
takes connections from its own user only):

    tray_reader.py SERVICE PATH
      stdin "stop" -> one line "read START_NS TOOK_NS" for each read since
      the start (CLOCK_MONOTONIC), then "done N"
"""

import select
import sys
import time

import dbus

ITEM = "org.kde.StatusNotifierItem"
PAUSE = 0.01  # between a read's answer and the next read


def main(service, path):
    bus = dbus.SessionBus()
    item = bus.get_object(service, path, introspect=False)
    properties = dbus.Interface(item, "org.freedesktop.DBus.Properties")
    print("ready", flush=True)
    reads = []
    while not select.select([sys.stdin], [], [], PAUSE)[0]:
        start = time.monotonic_ns()
        properties.Get(ITEM, "Title", timeout=30)
        reads.append((start, time.monotonic_ns() - start))
    sys.stdin.readline()
    for start, took in reads:
        print(f"read {start} {took}")
    print(f"done {len(reads)}", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
