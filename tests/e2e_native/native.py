"""The native Linux build of Snapwick (dist/snapwick-linux) on a desktop of
its own: Xvfb with openbox and a tray, a session bus, and, on request, a
sound server. It stands on the X half of tests/e2e unchanged and shares its
Snapwick helpers (snapwick.py: controls by role, set.ini records, key
presses, Apply, the Exit button).

A scenario script imports this module first (it puts tests/e2e on the
path) and calls run(name, body, ...); body gets a NativeScenario:

    folder = s.install_app()                 # a fresh copy, <temp>/apps/Snapwick
    app, window = s.start_snapwick(folder)   # App, NativeWindow (shown)
    window.control_text("ShotFolderLabel")   # what the control shows
    s.tray_icon()                            # the icon docked in the tray, or None
    term, typed = s.start_terminal()         # another program in front
    s.end_app(app)                           # SIGTERM, status 0

What the desktop gives a scenario, and why:
- openbox frames every window, so a window's X id is its client window
  inside the frame: xwininfo's absolute origin is the client area's, and
  clicks at client pixels land where the layout table puts the controls.
- The tray is trayer unless run() asks for tint2 or none (the program
  minimises instead of hiding when no tray is there). The program docks a
  22x22 XEmbed window of class "snapwick" inside the tray's window.
- Each scenario has its own XDG_RUNTIME_DIR (the program's one-copy lock
  lives there), HOME and session bus. Accessibility is switched on on that
  bus, as a screen reader would, so that the window's controls can be read
  through AT-SPI: their texts and check marks exactly, found by the
  rectangles of the layout table (see NativeWindow).
- start_sound_server() starts a PulseAudio with a null sink that counts
  the streams the program plays; without it the program has no sound server
  at all, as on a machine without one.
- Everything the scenario starts, also what the session bus starts on its
  own (the accessibility bus, its registry), ends with the scenario: this
  process is their subreaper.
"""

import ctypes
import os
import re
import signal
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))

import xdisplay  # noqa: E402
from faults import without_root_override  # noqa: E402
from orphans import become_subreaper, end_orphans  # noqa: E402
from snapwick import (LAYOUT_JSON_VARIABLE, App, MainWindow, ShippedFolder,  # noqa: E402
                      client_size, control_kind, control_rect, control_roles)
from xdisplay import REPO, Scenario, ScenarioFailed, Window, expect, holds_for, wait_until  # noqa: E402

DEFAULT_DIST = REPO / "dist" / "snapwick-linux"
# Written by the native_layout_json fixture of the linux-app preset.
DEFAULT_LAYOUT_JSON = REPO / "build" / "linux-app" / "e2e-layout.json"
os.environ.setdefault(LAYOUT_JSON_VARIABLE, str(DEFAULT_LAYOUT_JSON))

TRAYS = ("trayer", "tint2", None)
PROGRAM_CLASS = "snapwick"

# AT-SPI state bits (AtspiStateType).
_STATE_CHECKED = 4
# The AT-SPI role that Qt gives each kind of control of the layout table.
_ATSPI_ROLE = {"button": "push button", "frame": "filler", "label": "label", "checkbox": "check box",
               "edit": "text", "combo": "combo box"}


def _libx11():
    x = ctypes.cdll.LoadLibrary("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XGetSelectionOwner.restype = ctypes.c_ulong
    x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    return x


class SoundServer:
    """A PulseAudio of the scenario's own with a null sink; counts the
    playback streams that clients open on it."""

    def __init__(self, s):
        self.s = s
        self.socket = s.runtime / "pulse" / "native"
        self.proc = s.spawn(["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                             "--disallow-exit", "--use-pid-file=no", "--log-target=stderr",
                             "--load=module-null-sink sink_name=silent",
                             "--load=module-native-protocol-unix"], s.out / "pulseaudio.log")

        def up():
            expect(self.proc.poll() is None, f"pulseaudio ended at once (see {s.out / 'pulseaudio.log'})")
            return self.socket.exists() and s.x(["pactl", "info"], check=False).returncode == 0
        wait_until(up, 15, "pulseaudio did not open its socket")
        self._events = s.out / "pulse-events.log"
        s.spawn(["pactl", "subscribe"], self._events)
        # pactl says nothing until the first event, and may subscribe after
        # a probe stream of ours has come: probe until one is seen.
        def heard_probe():
            s.x(["paplay", "--raw", "--format=u8", "--rate=8000", "--channels=1", "/dev/null"], check=False)
            return not holds_for(lambda: self.streams() == 0, 0.5)
        wait_until(heard_probe, 15, "pactl subscribe saw none of the scenario's own streams")
        self._own = self.streams()

    def streams(self):
        """Playback streams opened since the server started, the
        scenario's own probe included (see played())."""
        try:
            text = self._events.read_text(errors="replace")
        except OSError:
            return 0
        return len(re.findall(r"Event 'new' on sink-input #\d+", text))

    def played(self):
        """Playback streams that clients other than the scenario opened."""
        return self.streams() - self._own


class NativeWindow(MainWindow):
    """The program's window; besides clicks at the layout's rectangles its
    controls can be read through the accessibility bus: each control is
    the accessible object whose rectangle, relative to the window, is the
    one that the layout table gives its role."""

    def __init__(self, scenario, wid, pid):
        super().__init__(scenario, wid)
        self.pid = pid

    def _accessibles(self):
        """{role: accessible} for every role of the layout table: the
        accessible object of the control's kind whose rectangle is the
        control's, or lies inside it (a check box reports its box alone)."""
        a11y = self.s.accessibility()
        frame = a11y.window_of(self.pid, self.title())
        fx, fy, fw, fh = a11y.extents(frame)
        expect((fw, fh) == client_size(), f"the accessible window is {fw}x{fh}, not {client_size()}")
        objects = []
        for obj in a11y.descendants(frame):
            x, y, w, h = a11y.extents(obj)
            objects.append((obj, a11y.role_name(obj), (x - fx, y - fy, w, h)))
        found = {}
        for role in control_roles():
            rx, ry, rw, rh = rect = control_rect(role)
            kind = _ATSPI_ROLE[control_kind(role)]
            inside = [(r != rect, -r[2] * r[3], obj) for obj, name, r in objects
                      if name == kind and rx <= r[0] and ry <= r[1] and r[0] + r[2] <= rx + rw
                      and r[1] + r[3] <= ry + rh and r[2] > 0 and r[3] > 0]
            if inside:
                found[role] = min(inside)[2]
        return found

    def _accessible(self, role):
        found = self._accessibles()
        expect(role in found, f"no accessible object of the window stands where the layout puts {role}; "
                              f"found only {sorted(found)}")
        return found[role]

    def control_text(self, role):
        """The text that a control shows: a label's or button's caption
        (elided as drawn), the edit field's or combo box's text."""
        a11y = self.s.accessibility()
        return a11y.text(self._accessible(role))

    def control_checked(self, role):
        return self.s.accessibility().has_state(self._accessible(role), _STATE_CHECKED)


class Accessibility:
    """The AT-SPI tree on the scenario's accessibility bus (python3-dbus)."""

    ACC = "org.a11y.atspi.Accessible"

    def __init__(self, s):
        import dbus
        self.dbus = dbus
        session = dbus.bus.BusConnection(s.env["DBUS_SESSION_BUS_ADDRESS"])
        self.address = str(session.get_object("org.a11y.Bus", "/org/a11y/bus").GetAddress(
            dbus_interface="org.a11y.Bus"))
        self.bus = dbus.bus.BusConnection(self.address)
        self._bus_names = self.bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")

    def _obj(self, ref):
        return self.bus.get_object(str(ref[0]), str(ref[1]), introspect=False)

    def children(self, ref):
        return [(str(c[0]), str(c[1])) for c in
                self._obj(ref).GetChildren(dbus_interface=self.ACC)]

    def descendants(self, ref):
        out = []
        for child in self.children(ref):
            out.append(child)
            out.extend(self.descendants(child))
        return out

    def name(self, ref):
        return str(self._obj(ref).Get(self.ACC, "Name", dbus_interface="org.freedesktop.DBus.Properties"))

    def role_name(self, ref):
        return str(self._obj(ref).GetRoleName(dbus_interface=self.ACC))

    def extents(self, ref):
        """(x, y, w, h) on the screen."""
        return tuple(int(v) for v in self._obj(ref).GetExtents(
            self.dbus.UInt32(0), dbus_interface="org.a11y.atspi.Component"))

    def has_state(self, ref, bit):
        words = self._obj(ref).GetState(dbus_interface=self.ACC)
        return bool(int(words[bit // 32]) >> (bit % 32) & 1)

    def text(self, ref):
        obj = self._obj(ref)
        interfaces = [str(i) for i in obj.GetInterfaces(dbus_interface=self.ACC)]
        if self.role_name(ref) != "combo box" and "org.a11y.atspi.Text" in interfaces:
            return str(obj.GetText(0, -1, dbus_interface="org.a11y.atspi.Text"))
        return self.name(ref)

    def window_of(self, pid, title):
        """The accessible top-level window titled title of the process pid."""
        root = ("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root")

        def find():
            for app in self.children(root):
                try:
                    owner = int(self._bus_names.GetConnectionUnixProcessID(
                        app[0], dbus_interface="org.freedesktop.DBus"))
                except self.dbus.DBusException:
                    continue
                if owner != pid:
                    continue
                for window in self.children(app):
                    if self.name(window) == title:
                        return window
            return None
        return wait_until(find, 10, f"pid {pid} shows no accessible window titled {title!r}")


class NativeScenario(ShippedFolder, Scenario):
    """A scenario with the native program on a desktop of its own."""

    executable = "snapwick"

    default_output = REPO / "build" / "linux-app" / "e2e-output"

    def __init__(self, name, tray="trayer"):
        expect(tray in TRAYS, f"no tray {tray!r}: one of {TRAYS}")
        super().__init__(name)
        self.dist = Path(sys.argv[1] if len(sys.argv) > 1 else DEFAULT_DIST).resolve()
        self.tray = tray
        self.runtime = self.tmp / "runtime"
        self.home = self.tmp / "home"
        self.apps = []
        self.sound = None
        self._a11y = None

    # -- the desktop

    def setup(self):
        exe = self.dist / "snapwick"
        expect(exe.is_file(), f"{exe} does not exist: build the linux-app preset first")
        become_subreaper()
        super().setup()
        self.runtime.mkdir(mode=0o700)
        self.home.mkdir()
        env = {k: v for k, v in self.env.items()
               if not k.startswith(("DBUS_", "PULSE_", "XDG_", "QT_", "WAYLAND_", "GTK_", "SESSION_"))}
        env.update(HOME=str(self.home), XDG_RUNTIME_DIR=str(self.runtime),
                   XDG_CONFIG_HOME=str(self.home / ".config"), XDG_CACHE_HOME=str(self.home / ".cache"),
                   XDG_DATA_HOME=str(self.home / ".local" / "share"), XDG_SESSION_TYPE="x11",
                   LANG="C.UTF-8", LC_ALL="C.UTF-8")
        self.env = env
        self._start_session_bus()
        # Openbox's own settings, but a window minimised or restored is at
        # once where it goes, not moving there for a while under the pointer.
        rc = Path("/etc/xdg/openbox/rc.xml").read_text()
        expect("<animateIconify>yes</animateIconify>" in rc, "openbox's rc.xml has no animateIconify setting")
        config = self.home / ".config" / "openbox"
        config.mkdir(parents=True)
        (config / "rc.xml").write_text(rc.replace("<animateIconify>yes</animateIconify>",
                                                  "<animateIconify>no</animateIconify>"))
        self.spawn(["openbox", "--sm-disable"], self.out / "openbox.log")
        wait_until(self._window_manager_up, 15, "openbox did not take the screen")
        if self.tray:
            self._start_tray()
        self.log(f"desktop up: openbox, tray {self.tray or 'none'}, runtime {self.runtime}")

    def _start_session_bus(self):
        bus = self.runtime / "bus"
        self.spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                    f"--address=unix:path={bus}"], self.out / "dbus.log")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = f"unix:path={bus}"
        wait_until(lambda: bus.exists() and self.x(
            ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus", "/",
             "org.freedesktop.DBus.GetId"], check=False).returncode == 0, 10, "the session bus did not start")
        # What a screen reader does: Qt then puts its widgets on the
        # accessibility bus, which the session bus starts on demand.
        self.x(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status", "string:IsEnabled",
                "variant:boolean:true"], timeout=20)

    def _window_manager_up(self):
        r = self.x(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check=False)
        return b"window id" in r.stdout

    def _selection_owner(self, selection):
        x = _libx11()
        dpy = x.XOpenDisplay(self.display.name.encode())
        expect(dpy, f"cannot open display {self.display.name}")
        try:
            return x.XGetSelectionOwner(dpy, x.XInternAtom(dpy, selection.encode(), 0))
        finally:
            x.XCloseDisplay(dpy)

    def _start_tray(self):
        if self.tray == "trayer":
            argv = ["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                    "--width", "120", "--height", "24"]
        else:
            argv = ["tint2"]
        self.spawn(argv, self.out / f"{self.tray}.log")
        wait_until(lambda: self._selection_owner("_NET_SYSTEM_TRAY_S0"), 15,
                   f"{self.tray} did not take the system tray selection")

    def teardown(self):
        for app in self.apps:
            if app.alive():
                self.log(f"pid {app.proc.pid} still running at the end")
        try:
            super().teardown()
        finally:
            end_orphans(pause=0.1)

    def accessibility(self):
        if self._a11y is None:
            self._a11y = Accessibility(self)
        return self._a11y

    def start_sound_server(self):
        """A PulseAudio with a null sink, for the programs started after
        it; returns it, so that the streams played can be counted."""
        expect(self.sound is None, "a sound server runs already")
        self.sound = SoundServer(self)
        return self.sound

    # -- the screen

    def xrandr(self, *args):
        return self.x(["xrandr", *args]).stdout.decode()

    def root_size(self):
        text = self.x(["xwininfo", "-root"]).stdout.decode()
        return (int(re.search(r"Width: (\d+)", text).group(1)), int(re.search(r"Height: (\d+)", text).group(1)))

    def use_mode(self, width, height, framebuffer=None):
        """Switches Xvfb's one output to a mode of width x height, as a
        monitor's resolution is changed; the root window takes that size
        unless framebuffer=(w, h) keeps it larger. The output is made
        primary."""
        name = f"{width}x{height}"
        if name not in self.xrandr():
            self.xrandr("--newmode", name, "0", str(width), "0", "0", "0", str(height), "0", "0", "0")
            self.xrandr("--addmode", "screen", name)
        args = ["--fb", "{}x{}".format(*framebuffer)] if framebuffer else []
        self.xrandr(*args, "--output", "screen", "--mode", name, "--primary")
        want = framebuffer or (width, height)
        wait_until(lambda: self.root_size() == tuple(want), 5, f"the root window did not become {want}")

    # -- the program

    def start_app(self, folder, tag="snapwick", honour_permissions=False, wrapper=(), env=None):
        """Starts folder/snapwick from elsewhere (the program must find its
        folder by its own path); its output goes to <tag>.log. With
        honour_permissions it runs without root's file override, so that a
        chmod stops it as it would stop an ordinary user. wrapper is a
        command that execs the program in its own process (unshare), env
        what to add to or, as None, take from the desktop's environment."""
        argv = [*wrapper, str(folder / "snapwick")]
        if honour_permissions:
            argv = without_root_override(argv)
        log_path = self.out / f"{tag}.log"
        desktop = self.env
        if env:
            self.env = {k: v for k, v in {**desktop, **env}.items() if v is not None}
        try:
            proc = self.spawn(argv, log_path)
        finally:
            self.env = desktop
        app = App(folder, proc, log_path)
        self.apps.append(app)
        self.log(f"started {argv[-1]} as pid {app.proc.pid}")
        return app

    def program_windows(self, pid, visible_only=True):
        """The program's top-level windows titled Snapwick..., of process pid."""
        return [w for w in self.windows(r"Snapwick.*", visible_only=visible_only) if self.window_pid(w) == pid]

    def window_pid(self, window):
        r = self.x(["xprop", "-id", str(window.id), "_NET_WM_PID"], check=False)
        m = re.search(rb"= (\d+)", r.stdout)
        return int(m.group(1)) if m else None

    def start_snapwick(self, folder, timeout=30, tag="snapwick", honour_permissions=False, wrapper=(),
                       env=None):
        """Starts the program and waits for its window to be shown."""
        app = self.start_app(folder, tag, honour_permissions, wrapper, env)

        def shown():
            expect(app.alive(), f"the program ended during start-up (exit status {app.proc.returncode}); "
                                f"it said: {app.log_path.read_text(errors='replace').strip()!r}")
            return self.program_windows(app.proc.pid)
        window = NativeWindow(self, wait_until(shown, timeout, "the program's window was not shown")[0].id,
                              app.proc.pid)
        self.log(f"window {window} shown: {window.title()!r}")
        return app, window

    def end_app(self, app, timeout=10):
        """Ends the program as the system's shutdown would (SIGTERM); it
        must end with status 0."""
        app.proc.send_signal(signal.SIGTERM)
        code = app.wait_exit(timeout)
        expect(code is not None, f"the program was still running {timeout} s after SIGTERM")
        expect(code == 0, f"the program ended with status {code} on SIGTERM")

    def stop_apps(self):
        """Ends every copy still running, by SIGKILL if SIGTERM does not
        end it within 5 s (a copy that hangs), so that the next one can
        start."""
        for app in self.apps:
            if app.alive():
                app.proc.send_signal(signal.SIGTERM)
                if app.wait_exit(5) is None:
                    app.proc.kill()
                    app.proc.wait()

    def each_case(self, cases, check):
        """check(*case) for every case of a table, each to its end whatever
        the others did, every copy of the program ended after each; then
        fails with every case's failure."""
        failures = []
        for case in cases:
            self.log(f"case: {case[0]}")
            try:
                check(*case)
            except ScenarioFailed as e:
                self.log(f"case failed: {e}")
                self.screenshot(f"failure_{len(failures) + 1}.png")
                reason = str(e)
                failures.append(reason if reason.startswith(case[0]) else f"{case[0]}: {reason}")
            finally:
                self.stop_apps()
        expect(not failures, f"{len(failures)} of {len(cases)} cases failed: " + " | ".join(failures))

    def popup_menus(self):
        """Shown pop-up windows of the program (a menu, a combo box's list):
        its mapped override-redirect X windows but the tray icon (Qt names
        them all after the program, so their titles tell nothing)."""
        r = self.x(["xdotool", "search", "--onlyvisible", "--class", PROGRAM_CLASS], check=False)
        icons = {w.id for w in self.tray_icons()}
        menus = []
        for wid in r.stdout.split():
            if int(wid) in icons:
                continue
            text = self.x(["xwininfo", "-id", wid.decode()], check=False).stdout.decode("utf-8", "replace")
            if "Override Redirect State: yes" in text and "Map State: IsViewable" in text:
                w = Window(self, wid)
                if w.info()[2] > 1 and w.info()[3] > 1:
                    menus.append(w)
        return menus

    def start_terminal(self, title="Snapwick test terminal"):
        """An xterm in front, with the focus, at 100,50; what it receives
        goes, key by key, into the file it returns with its window."""
        typed = self.tmp / f"typed.{time.monotonic_ns()}"
        # Raw mode: every key reaches the file as it comes, not a line at a time.
        self.spawn(["xterm", "-T", title, "-fa", "Monospace", "-geometry", "80x24+100+50",
                    "-e", "sh", "-c", 'stty raw -echo && exec cat >"$0"', str(typed)], self.out / "xterm.log")
        term = self.wait_window(re.escape(title), timeout=20, what="xterm's window was not shown")
        term.focus()
        wait_until(term.has_focus, 5, "xterm did not get the focus")
        return term, typed

    # -- the tray

    def _tray_windows(self):
        if not self.tray:
            return []
        r = self.x(["xdotool", "search", "--class", self.tray], check=False)
        return [int(w) for w in r.stdout.split()]

    def tray_icons(self):
        """The program's icon windows docked in the tray (inside one of its
        windows), as Windows."""
        icons = []
        for host in self._tray_windows():
            tree = self.x(["xwininfo", "-id", str(host), "-tree"], check=False).stdout.decode("utf-8", "replace")
            for m in re.finditer(r"^\s+(0x[0-9a-f]+) .*\(\"%s\" \"[^\"]*\"\)\s+(\d+)x(\d+)\+" % PROGRAM_CLASS,
                                 tree, re.M):
                if int(m.group(2)) > 1 and int(m.group(3)) > 1:
                    icons.append(Window(self, int(m.group(1), 16)))
        return icons

    def tray_icon(self):
        """The program's one icon in the tray, or None."""
        icons = self.tray_icons()
        expect(len(icons) <= 1, f"{len(icons)} icons of the program in the tray")
        return icons[0] if icons else None

    def click_tray_icon(self, double=False, button=1):
        """Clicks the middle of the program's tray icon (twice, 80 ms apart,
        for a double-click)."""
        icon = self.tray_icon()
        info = icon and icon.info()
        expect(info and info[4], "the program has no icon shown in the tray")
        x, y, w, h, _ = info
        self.move_pointer(x + w // 2, y + h // 2)
        self.x(["xdotool", "click", *(["--repeat", "2", "--delay", "80"] if double else []), str(button)])


def run(name, body, deadline=150, tray="trayer", screen_size=None):
    """Runs body(NativeScenario) and exits with 0 (PASS) or 1 (FAIL); the
    screen is 1920x1080 unless screen_size says otherwise."""
    def scenario(n):
        s = NativeScenario(n, tray=tray)
        if screen_size:
            s.screen_size = tuple(screen_size)
        return s
    xdisplay.run(name, body, deadline, scenario)


def elided_path_shown(shown, path):
    """True if shown is path, or path with its middle elided as the window
    elides a folder that does not fit (both ends kept, "…" between)."""
    if shown == path:
        return True
    head, sep, tail = shown.partition("…")
    return bool(sep) and len(head) >= 4 and len(tail) >= 4 and path.startswith(head) and path.endswith(tail)


__all__ = ["DEFAULT_DIST", "DEFAULT_LAYOUT_JSON", "NativeScenario", "NativeWindow", "SoundServer",
           "elided_path_shown", "run"]
