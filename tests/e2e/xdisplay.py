"""A scenario on a private X display: Xvfb, its windows, the pointer and the
keyboard, pictures of the screen, and the checks that end a scenario.

Nothing here knows of Wine or of the program under test, so the same
scenarios can drive a Windows program under Wine and a native X11 one.

run(name, body) gives body a Scenario that owns one Xvfb server and one
temporary folder, and tears both down again (with every process that it
started) however the body ends: failure, timeout, SIGTERM. The body checks
with expect()/wait_until(); the first failed check ends the scenario with
"FAIL: <reason>" and exit status 1, a clean end prints "PASS".

Facts about a bare Xvfb that the helpers rely on:
- There is no window manager, so the X window of a top-level window is
  exactly its client area: a point of the client area is clicked at the
  window's origin (from xwininfo) plus its pixel position. A window manager
  or a tray, when a scenario needs one, is started on top of Display.
- A window gets the keyboard focus only through `xdotool windowfocus --sync`.
- This xdotool's `windowclose` destroys the X window behind the client's
  back instead of asking it to close, so the close box is sent here as a
  window manager would: a WM_DELETE_WINDOW client message.
"""

import ctypes
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
SCREEN_W, SCREEN_H = 1920, 1080


class ScenarioFailed(Exception):
    pass


class ScenarioInterrupted(Exception):
    pass


def expect(condition, reason):
    if not condition:
        raise ScenarioFailed(reason)


def wait_until(probe, timeout, what, interval=0.05):
    """Polls probe() until it returns something truthy; fails with `what`."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise ScenarioFailed(f"{what} (waited {timeout:g} s)")
        time.sleep(interval)


def holds_for(probe, duration, interval=0.05):
    """True if probe() stays truthy for the whole duration."""
    deadline = time.monotonic() + duration
    while time.monotonic() < deadline:
        if not probe():
            return False
        time.sleep(interval)
    return bool(probe())


def eventually(check, timeout, interval=0.2):
    """Runs check() until it passes (raises no ScenarioFailed) or timeout
    has passed; then its last failure stands. For pictures of windows that a
    busy machine may not have painted yet."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            return check()
        except ScenarioFailed:
            if time.monotonic() >= deadline:
                raise
        time.sleep(interval)


def _die_with_parent():
    # Xvfb must not outlive a scenario that ctest kills with SIGKILL.
    libc = ctypes.CDLL("libc.so.6", use_errno=True)
    libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


class Display:
    """An Xvfb server on a display number that nobody else uses."""

    def __init__(self, log_path, size=(SCREEN_W, SCREEN_H)):
        self.number = None
        self.proc = None
        self.size = size
        self._log = open(log_path, "ab")

    def start(self):
        numbers = list(range(50, 100))
        random.shuffle(numbers)
        for n in numbers[:15]:
            if os.path.exists(f"/tmp/.X{n}-lock") or os.path.exists(f"/tmp/.X11-unix/X{n}"):
                continue
            proc = subprocess.Popen(
                ["Xvfb", f":{n}", "-screen", "0", f"{self.size[0]}x{self.size[1]}x24",
                 "-nolisten", "tcp", "-noreset"],
                stdin=subprocess.DEVNULL, stdout=self._log, stderr=self._log,
                preexec_fn=_die_with_parent)
            deadline = time.monotonic() + 10
            while proc.poll() is None and time.monotonic() < deadline:
                ok = subprocess.run(["xdpyinfo", "-display", f":{n}"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
                if ok:
                    self.number, self.proc = n, proc
                    return self
                time.sleep(0.05)
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        raise ScenarioFailed("could not start Xvfb on any display :50-:99")

    @property
    def name(self):
        return f":{self.number}"

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self._log.close()


class Window:
    """A top-level X window, seen through xdotool and xwininfo."""

    def __init__(self, scenario, wid):
        self.s = scenario
        self.id = int(wid)

    def __repr__(self):
        return f"Window(0x{self.id:x})"

    def title(self):
        r = self.s.x(["xdotool", "getwindowname", str(self.id)], check=False)
        return r.stdout.decode("utf-8", "replace").rstrip("\n") if r.returncode == 0 else None

    def info(self):
        """(x, y, width, height, viewable) of the client area, None if gone."""
        r = self.s.x(["xwininfo", "-id", str(self.id)], check=False)
        if r.returncode != 0:
            return None
        text = r.stdout.decode("utf-8", "replace")

        def field(label):
            return int(re.search(rf"{label}:\s+(-?\d+)", text).group(1))
        viewable = "Map State: IsViewable" in text
        return (field("Absolute upper-left X"), field("Absolute upper-left Y"),
                field("Width"), field("Height"), viewable)

    def exists(self):
        return self.info() is not None

    def viewable(self):
        info = self.info()
        return bool(info and info[4])

    def focus(self):
        self.s.x(["xdotool", "windowfocus", "--sync", str(self.id)], timeout=15)
        self.s.x(["xdotool", "windowraise", str(self.id)], check=False)

    def has_focus(self):
        r = self.s.x(["xdotool", "getwindowfocus"], check=False)
        return r.returncode == 0 and r.stdout.strip() == str(self.id).encode()

    def click(self, cx, cy, button=1):
        """Clicks at client pixel (cx, cy)."""
        info = self.info()
        expect(info and info[4], f"{self} is not shown, so it cannot be clicked")
        x, y, w, h, _ = info
        expect(0 <= cx < w and 0 <= cy < h,
               f"point {cx},{cy} lies outside the {w}x{h} client area of {self}")
        self.s.move_pointer(x + cx, y + cy)
        self.s.x(["xdotool", "click", str(button)])

    def click_rect(self, rect):
        """Clicks the middle of a client rectangle (x, y, w, h)."""
        x, y, w, h = rect
        self.click(x + w // 2, y + h // 2)

    def close_box(self):
        """The user's close command, as a window manager would deliver it."""
        self.s.send_wm_delete(self.id)

    def screenshot(self, name):
        path = self.s.out / name
        self.s.x(["import", "-window", str(self.id), str(path)], check=False, timeout=20)
        return path


class _XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("xclient", _XClientMessageEvent), ("pad", ctypes.c_long * 24)]


def _xlib():
    x = ctypes.cdll.LoadLibrary("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int,
                             ctypes.c_long, ctypes.POINTER(_XEvent)]
    x.XFlush.argtypes = [ctypes.c_void_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    return x


def _sweep_orphans():
    """Removes the temporary folders of scenarios that were killed outright
    (a ctest timeout sends SIGKILL, which leaves no chance to clean up)."""
    for folder in Path(tempfile.gettempdir()).glob("snapwick-e2e.*.*"):
        pid = folder.name.split(".")[1]
        if pid.isdigit() and not Path(f"/proc/{pid}").exists():
            shutil.rmtree(folder, ignore_errors=True)


class Scenario:
    """One scenario's display, temporary folder, output folder and the
    processes it started."""

    # Where pictures and logs go unless SNAPWICK_E2E_OUTPUT says otherwise.
    default_output = REPO / "build" / "e2e-output"

    def __init__(self, name):
        self.name = name
        self.started = time.monotonic()
        self.out = Path(os.environ.get("SNAPWICK_E2E_OUTPUT", self.default_output)) / name
        shutil.rmtree(self.out, ignore_errors=True)
        self.out.mkdir(parents=True)
        _sweep_orphans()
        self.tmp = Path(tempfile.mkdtemp(prefix=f"snapwick-e2e.{os.getpid()}.{name}."))
        # The scenarios check shots at the default size; a benchmark may ask
        # for another before setup().
        self.screen_size = (SCREEN_W, SCREEN_H)
        self.display = None
        self.env = None
        self.children = []
        self._xlib = None

    def log(self, message):
        print(f"[{time.monotonic() - self.started:6.2f}s] {message}", flush=True)

    def x(self, argv, check=True, timeout=10):
        """Runs an X tool against this scenario's display."""
        try:
            r = subprocess.run(argv, env=self.env, stdin=subprocess.DEVNULL,
                               capture_output=True, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise ScenarioFailed(f"{' '.join(argv)} did not return within {timeout} s")
        if check and r.returncode != 0:
            raise ScenarioFailed(f"{' '.join(argv)} failed: {r.stderr.decode(errors='replace').strip()}")
        return r

    def spawn(self, argv, log_path=None):
        """Starts a program on the display from the temporary folder; its
        output goes to log_path (or nowhere). Teardown ends it if need be."""
        out = open(log_path, "ab") if log_path else subprocess.DEVNULL
        try:
            proc = subprocess.Popen(argv, cwd=self.tmp, env=self.env, stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=out)
        finally:
            if log_path:
                out.close()
        self.children.append(proc)
        return proc

    # -- set-up and tear-down

    def setup(self):
        self.display = Display(self.out / "xvfb.log", self.screen_size).start()
        self.env = dict(os.environ, DISPLAY=self.display.name)
        self.log(f"Xvfb {self.display.name} (pid {self.display.proc.pid}), temp {self.tmp}")

    def end_children(self, grace=10):
        for proc in self.children:
            if proc.poll() is None:
                proc.terminate()
            try:
                proc.wait(timeout=grace)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()

    def teardown(self):
        self.end_children()
        if self.display:
            self.display.stop()
        shutil.rmtree(self.tmp, ignore_errors=True)

    # -- windows

    def windows(self, pattern, visible_only=False):
        """Windows whose whole title matches the regular expression."""
        argv = ["xdotool", "search"] + (["--onlyvisible"] if visible_only else []) + ["--name", "."]
        r = self.x(argv, check=False)
        found = []
        for wid in r.stdout.split():
            w = Window(self, wid)
            title = w.title()
            if title is not None and re.fullmatch(pattern, title):
                found.append(w)
        return found

    def wait_window(self, pattern, timeout=30, what=None):
        found = wait_until(lambda: self.windows(pattern, visible_only=True), timeout,
                           what or f"no visible window titled /{pattern}/")
        return found[0]

    def visible_window_rects(self):
        """Screen rectangles (x0, y0, x1, y1) of the mapped top-level X windows."""
        r = self.x(["xwininfo", "-root", "-children"], check=False)
        rects = []
        for line in r.stdout.decode("utf-8", "replace").splitlines():
            m = re.match(r"\s+(0x[0-9a-f]+) .*\s(\d+)x(\d+)\+(-?\d+)\+(-?\d+)\s+\+(-?\d+)\+(-?\d+)$", line)
            if not m:
                continue
            w, h = int(m.group(2)), int(m.group(3))
            if w <= 1 and h <= 1:
                continue
            if Window(self, int(m.group(1), 16)).viewable():
                x, y = int(m.group(6)), int(m.group(7))
                rects.append((x, y, x + w, y + h))
        return rects

    def send_wm_delete(self, wid):
        if self._xlib is None:
            self._xlib = _xlib()
        x = self._xlib
        dpy = x.XOpenDisplay(self.display.name.encode())
        expect(dpy, f"cannot open display {self.display.name}")
        try:
            ev = _XEvent()
            ev.xclient.type = 33  # ClientMessage
            ev.xclient.window = wid
            ev.xclient.message_type = x.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
            ev.xclient.format = 32
            ev.xclient.data[0] = x.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
            ev.xclient.data[1] = 0  # CurrentTime
            expect(x.XSendEvent(dpy, wid, 0, 0, ctypes.byref(ev)) != 0,
                   f"XSendEvent(WM_DELETE_WINDOW) to 0x{wid:x} failed")
            x.XFlush(dpy)
        finally:
            x.XCloseDisplay(dpy)

    # -- pointer and keyboard

    def pointer_position(self):
        out = self.x(["xdotool", "getmouselocation"]).stdout.decode()
        m = re.match(r"x:(\d+) y:(\d+) ", out)
        expect(m, f"xdotool getmouselocation said {out!r}")
        return int(m.group(1)), int(m.group(2))

    def move_pointer(self, px, py):
        # Not `mousemove --sync`: it waits for a motion that never comes when
        # the pointer stands there already.
        self.x(["xdotool", "mousemove", str(px), str(py)])
        wait_until(lambda: self.pointer_position() == (px, py), 5,
                   f"the pointer did not move to {px},{py}")

    def hold_key(self, key, seconds):
        """Holds a key down for a while; it goes to the window that has the focus."""
        self.x(["xdotool", "keydown", key])
        try:
            time.sleep(seconds)
        finally:
            self.x(["xdotool", "keyup", key])

    # -- the screen

    def screenshot(self, name):
        path = self.out / name
        self.x(["import", "-window", "root", str(path)], check=False, timeout=20)
        return path

    def paint_root(self, image_path):
        """Makes image_path the root window's background."""
        self.x(["display", "-window", "root", str(image_path)], check=False, timeout=20)
        from PIL import Image
        w, h = self.display.size
        with Image.open(image_path) as want:
            probe = want.convert("RGB").getpixel((w - 2, h - 2))
        wait_until(lambda: self._root_pixel(w - 2, h - 2) == probe, 5,
                   "the root window did not take the test picture")

    def _root_pixel(self, px, py):
        r = self.x(["import", "-window", "root", "-crop", f"1x1+{px}+{py}", "-depth", "8",
                    "rgb:-"], check=False, timeout=20)
        return tuple(r.stdout[:3]) if len(r.stdout) >= 3 else None


def run(name, body, deadline=150, scenario=Scenario):
    """Runs body(scenario(name)) and exits with 0 (PASS) or 1 (FAIL)."""
    def on_signal(signum, _frame):
        raise ScenarioInterrupted(f"interrupted by signal {signum}")

    def on_alarm(_signum, _frame):
        raise ScenarioInterrupted(f"scenario did not finish within {deadline} s")

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    signal.signal(signal.SIGALRM, on_alarm)
    signal.alarm(deadline)
    s = scenario(name)
    verdict, reason = "FAIL", None
    try:
        s.setup()
        body(s)
        verdict = "PASS"
    except (ScenarioFailed, ScenarioInterrupted) as e:
        reason = str(e)
    except Exception:
        reason = "harness error:\n" + traceback.format_exc()
    finally:
        if verdict != "PASS" and s.display:
            try:
                s.screenshot("failure.png")
            except Exception:
                pass
        signal.alarm(0)
        try:
            s.teardown()
        except Exception:
            s.log("teardown error:\n" + traceback.format_exc())
    if verdict == "PASS":
        print(f"PASS: {name}", flush=True)
        sys.exit(0)
    print(f"FAIL: {name}: {reason}", flush=True)
    print(f"      output in {s.out}", flush=True)
    sys.exit(1)
