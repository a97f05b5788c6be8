"""What the scenarios of the program on a portal desktop in a chroot
(GNOME 48 and 50, KWin 6.7) share:

    env = desktop_data_dirs(stack)      # the program reads the desktop's portal files
    bus = BusMonitor(stack)             # every message on the session bus
    bus.calls("org.freedesktop.portal.Screenshot", "Screenshot", since=ns)
    cpu_seconds(pid)                    # all the process's threads, user and system

The program runs here, outside the chroot, and decides which portals the
desktop implements from the portal files in its XDG data folders: here
those are Debian 12's (GNOME 43's, which has no GlobalShortcuts). A copy of
the chroot's, readable by the desktop's user, is put in their place, as a
session of that desktop would have them.
"""

import json
import os
import shutil
import time
from pathlib import Path

PORTAL = "org.freedesktop.portal.Desktop"
TICKS = os.sysconf("SC_CLK_TCK")


def desktop_data_dirs(stack):
    """The environment that points the program at the desktop's portal
    files (the chroot's /usr/share/xdg-desktop-portal, copied)."""
    share = stack.root / "desktop-share"
    if not share.exists():
        shutil.copytree(stack.desktop_file("/usr/share/xdg-desktop-portal"),
                        share / "xdg-desktop-portal")
        for folder, folders, files in os.walk(share):
            os.chmod(folder, 0o755)
            for name in files:
                os.chmod(os.path.join(folder, name), 0o644)
    return {"XDG_DATA_DIRS": str(share)}


def cpu_seconds(pid):
    """User and system time of every thread the process has had."""
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


class Message:
    """One message busctl's monitor saw, its time on CLOCK_MONOTONIC (ns)."""

    def __init__(self, record, offset):
        self.record = record
        self.type = record.get("type")
        self.sender = record.get("sender")
        self.destination = record.get("destination")
        self.interface = record.get("interface")
        self.member = record.get("member")
        self.cookie = record.get("cookie")
        self.reply_cookie = record.get("reply_cookie")
        self.path = record.get("path")
        self.at = record.get("timestamp-realtime", 0) * 1000 - offset
        self.data = (record.get("payload") or {}).get("data") or []

    def __repr__(self):
        return f"{self.type} {self.interface}.{self.member} {self.data}"[:300]


class BusMonitor:
    """`busctl --user monitor` on the session bus (the desktop's user may
    monitor its own bus), one JSON line per message."""

    def __init__(self, stack):
        self.log = stack.logs / "bus-monitor.log"
        self.process = stack.spawn_user(["busctl", "--user", "monitor", "--json=short"],
                                        log="bus-monitor")
        self.read = 0
        self.messages = []
        deadline = time.monotonic() + 10
        # busctl has become a monitor once its own call shows.
        while not self.log.exists() or not self.log.stat().st_size:
            if time.monotonic() > deadline:
                raise RuntimeError("busctl monitor printed nothing")
            time.sleep(0.05)

    def all(self):
        with open(self.log, "rb") as log:
            log.seek(self.read)
            text = log.read()
        whole = text[:text.rfind(b"\n") + 1]
        self.read += len(whole)
        offset = time.time_ns() - time.monotonic_ns()
        for line in whole.splitlines():
            try:
                self.messages.append(Message(json.loads(line), offset))
            except ValueError:
                pass
        return self.messages

    def calls(self, interface, member, since=0, sender=None):
        """The method calls interface.member to the portal's front end from
        `since` on (CLOCK_MONOTONIC ns), from connection `sender` if given."""
        return [m for m in self.all() if m.type == "method_call" and m.interface == interface and
                m.member == member and m.destination == PORTAL and m.at >= since and
                sender in (None, m.sender)]

    def signals(self, interface, member, since=0, to=None):
        return [m for m in self.all() if m.type == "signal" and m.interface == interface and
                m.member == member and m.at >= since and to in (None, m.destination)]

    def reply_to(self, call):
        """The answer to `call` (a method_return or an error), or None."""
        return next((m for m in self.all() if m.type in ("method_return", "error") and
                     m.reply_cookie == call.cookie and m.destination == call.sender), None)

    def response_to(self, call):
        """The portal's Response to the request `call` made (found by its
        handle_token), or None; its code is data[0]."""
        options = call.data[-1] if call.data and isinstance(call.data[-1], dict) else {}
        token = (options.get("handle_token") or {}).get("data")
        return next((m for m in self.signals("org.freedesktop.portal.Request", "Response",
                                             to=call.sender)
                     if token and m.path.endswith("/" + token)), None)


def listed_triggers(response):
    """What a GlobalShortcuts Response lists: shortcut id -> the desktop's
    words for its key ("" for none)."""
    results = response.data[1] if len(response.data) > 1 else {}
    shortcuts = (results.get("shortcuts") or {}).get("data") or []
    return {sid: (props.get("trigger_description") or {}).get("data") for sid, props in shortcuts}
