"""Drives dist/Snapwick/snapwick.exe under Wine on a private Xvfb display.

A scenario script calls run(name, body). run() gives body a Scenario that
owns one Xvfb server, one Wine prefix and one temporary folder, and tears all
three down again however the body ends (failure, timeout, SIGTERM). The body
checks with expect()/wait_until(); the first failed check ends the scenario
with "FAIL: <reason>" and exit status 1, a clean end prints "PASS".

Facts about Wine 8 on a bare Xvfb that the helpers rely on:
- There is no window manager, so the X window of a top-level Wine window is
  exactly its client area and controls inside it are not X windows: a control
  is clicked at the client origin (from xwininfo) plus its pixel position.
- A window gets the keyboard focus only through `xdotool windowfocus --sync`,
  and GetAsyncKeyState sees keys only while a window of the same prefix has
  the X focus.
- Tray icons live in Wine's own "Wine System Tray" window, one 20 px slot per
  icon; Wine unmaps that window when its last icon is removed.
- This xdotool's `windowclose` destroys the X window behind Wine's back
  instead of asking the program to close, so the user's close box is sent
  here as the window manager would: a WM_DELETE_WINDOW client message.
"""

import ctypes
import fcntl
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
TITLE_F8 = "Snapwick 1.1 (HotKey:F8)"

# Client-area pixel rectangles (x, y, w, h) of the window's controls at 96 DPI.
CMD1_EXIT = (8, 176, 137, 25)
CMD3_APPLY = (320, 176, 137, 25)
CLIENT_SIZE = (463, 210)

SHOT_NAME = re.compile(r"(\d{2})\.(\d{2})\.(\d{4})_(\d{2})\.(\d{2})\.(\d{2})_(\d+)\.jpg")

# The two ANSI code pages a Cyrillic program folder is tried under, as
# (case, Unix locale): Western 1252 has no Cyrillic letters, Russian 1251 has.
CODE_PAGE_LOCALES = [("western", "C.UTF-8"), ("russian", "ru_RU.UTF-8")]

TRAY_SLOT = 20      # width of one icon slot in Wine's tray window
TRAY_ICON = 16


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


def _die_with_parent():
    # Xvfb must not outlive a harness that ctest kills with SIGKILL.
    libc = ctypes.CDLL("libc.so.6", use_errno=True)
    libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


# ---------------------------------------------------------------- X display


class Display:
    def __init__(self, log_path):
        self.number = None
        self.proc = None
        self._log = open(log_path, "ab")

    def start(self):
        numbers = list(range(50, 100))
        random.shuffle(numbers)
        for n in numbers[:15]:
            if os.path.exists(f"/tmp/.X{n}-lock") or os.path.exists(f"/tmp/.X11-unix/X{n}"):
                continue
            proc = subprocess.Popen(
                ["Xvfb", f":{n}", "-screen", "0", f"{SCREEN_W}x{SCREEN_H}x24",
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


# -------------------------------------------------------------- Wine prefix


def _wine_env(display, prefix):
    env = dict(os.environ)
    env.update({
        "DISPLAY": display,
        "WINEPREFIX": str(prefix),
        "WINEDEBUG": "-all",
        # No desktop menu entries in $HOME, no Mono/Gecko install dialogs.
        "WINEDLLOVERRIDES": "winemenubuilder.exe=d;mscoree=d;mshtml=d",
        # Wine maps Unix file names through the locale's charset: UTF-8, so
        # that a folder with Cyrillic letters reaches the program intact.
        "LANG": "C.UTF-8",
        "LC_ALL": "C.UTF-8",
    })
    env.pop("WINESERVER", None)
    return env


def _prefix_key():
    version = subprocess.run(["wine", "--version"], capture_output=True, text=True,
                             env=dict(os.environ, WINEDEBUG="-all")).stdout.strip()
    stamp = ""
    for inf in ("/usr/share/wine/wine.inf", "/usr/lib/wine/wine.inf"):
        if os.path.exists(inf):
            stamp = str(os.stat(inf).st_mtime_ns)
            break
    return f"{version} {stamp}\n"


def prefix_template(cache_dir, display, log):
    """A booted prefix, made once per cache folder and shared read-only.

    wineboot costs about ten seconds; every scenario clones this instead.
    """
    cache_dir.mkdir(parents=True, exist_ok=True)
    template = cache_dir / "prefix"
    key = _prefix_key()
    with open(cache_dir / "prefix.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        key_file = template / ".snapwick-key"
        if key_file.exists() and key_file.read_text() == key:
            return template
        # Half-made templates of runs killed while booting (made only under
        # this lock, so none is in use).
        for stale in cache_dir.glob("prefix.new.*"):
            shutil.rmtree(stale, ignore_errors=True)
        fresh = cache_dir / f"prefix.new.{os.getpid()}"
        env = _wine_env(display, fresh)
        log(f"booting a Wine prefix template in {template}")
        subprocess.run(["wineboot", "-i"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=180)
        # The registry is written to disk when the prefix's server exits.
        subprocess.run(["wineserver", "-w"], env=env, timeout=120)
        expect((fresh / "system.reg").exists(), "wineboot did not create a prefix")
        (fresh / ".snapwick-key").write_text(key)
        shutil.rmtree(template, ignore_errors=True)
        os.rename(fresh, template)
        return template


def clone_prefix(template, target):
    """Copies a prefix; the big system DLLs are hard-linked, never written."""
    for root, dirs, files in os.walk(template):
        rel = Path(root).relative_to(template)
        out = target / rel
        out.mkdir(parents=True, exist_ok=True)
        in_windows = rel.parts[:2] == ("drive_c", "windows")
        for name in dirs + files:
            src = Path(root) / name
            if src.is_symlink():
                os.symlink(os.readlink(src), out / name)
                if name in dirs:
                    dirs.remove(name)
        for name in files:
            src = Path(root) / name
            if src.is_symlink():
                continue
            if in_windows and src.stat().st_size >= 64 * 1024:
                try:
                    os.link(src, out / name)
                    continue
                except OSError:
                    pass  # another file system: copy instead
            shutil.copy2(src, out / name)
    (target / ".snapwick-key").unlink(missing_ok=True)


# ------------------------------------------------------------------ windows


class Window:
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

    def click(self, cx, cy, button=1):
        """Clicks at client pixel (cx, cy)."""
        info = self.info()
        expect(info and info[4], f"{self} is not shown, so it cannot be clicked")
        x, y, w, h, _ = info
        expect(0 <= cx < w and 0 <= cy < h,
               f"point {cx},{cy} lies outside the {w}x{h} client area of {self}")
        self.s.move_pointer(x + cx, y + cy)
        self.s.x(["xdotool", "click", str(button)])

    def click_control(self, rect):
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


# ------------------------------------------------------------------ program


class App:
    """One started copy of snapwick.exe."""

    def __init__(self, folder, proc, log_path):
        self.folder = folder
        self.proc = proc
        self.log_path = log_path

    @property
    def pic(self):
        return self.folder / "pic"

    def alive(self):
        return self.proc.poll() is None

    def private_bytes(self):
        """Resident anonymous memory of the process, in bytes."""
        for line in Path(f"/proc/{self.proc.pid}/status").read_text().splitlines():
            if line.startswith("RssAnon:"):
                return int(line.split()[1]) * 1024
        raise ScenarioFailed("no RssAnon in /proc status")

    def wait_exit(self, timeout):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def shots(self):
        """Names of the files in pic/, sorted by their counter field."""
        if not self.pic.is_dir():
            return []
        names = [p.name for p in self.pic.iterdir()]
        return sorted(names, key=lambda n: (0, int(SHOT_NAME.fullmatch(n).group(7)))
                      if SHOT_NAME.fullmatch(n) else (1, n))


# ----------------------------------------------------------------- scenario


def _sweep_orphans():
    """Removes the temporary folders of scenarios that were killed outright
    (a ctest timeout sends SIGKILL, which leaves no chance to clean up)."""
    for folder in Path(tempfile.gettempdir()).glob("snapwick-e2e.*.*"):
        pid = folder.name.split(".")[1]
        if pid.isdigit() and not Path(f"/proc/{pid}").exists():
            shutil.rmtree(folder, ignore_errors=True)



class Scenario:
    def __init__(self, name):
        self.name = name
        self.started = time.monotonic()
        self.dist = Path(sys.argv[1] if len(sys.argv) > 1 else REPO / "dist" / "Snapwick").resolve()
        self.out = Path(os.environ.get("SNAPWICK_E2E_OUTPUT",
                                       REPO / "build" / "windows" / "e2e-output")) / name
        self.cache = Path(os.environ.get("SNAPWICK_E2E_CACHE",
                                         REPO / "build" / "windows" / "e2e-cache"))
        shutil.rmtree(self.out, ignore_errors=True)
        self.out.mkdir(parents=True)
        _sweep_orphans()
        self.tmp = Path(tempfile.mkdtemp(prefix=f"snapwick-e2e.{os.getpid()}.{name}."))
        self.display = None
        self.prefix = self.tmp / "prefix"
        self.env = None
        self.apps = []
        self._helpers = []
        self._xlib = None

    # -- logging and process helpers

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

    # -- set-up and tear-down

    def setup(self):
        exe = self.dist / "snapwick.exe"
        expect(exe.is_file(), f"{exe} does not exist: build the windows preset first")
        self.display = Display(self.out / "xvfb.log").start()
        self.env = _wine_env(self.display.name, self.prefix)
        self.log(f"Xvfb {self.display.name} (pid {self.display.proc.pid}), temp {self.tmp}")
        template = prefix_template(self.cache, self.display.name, self.log)
        clone_prefix(template, self.prefix)

    def end_wine(self):
        """Ends every Wine process of the prefix and waits for its server."""
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)
        for proc in [a.proc for a in self.apps] + self._helpers:
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        # The server lingers a moment after its last client.
        subprocess.run(["wineserver", "-w"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)

    def use_locale(self, name):
        """The Unix locale for the next Wine session; Wine takes its ANSI code
        page from it (C.UTF-8: 1252, ru_RU.UTF-8: 1251). Call it while no Wine
        process of the prefix runs."""
        self.env["LANG"] = self.env["LC_ALL"] = name

    def teardown(self):
        if self.env:
            self.end_wine()
        if self.display:
            self.display.stop()
        shutil.rmtree(self.tmp, ignore_errors=True)

    # -- the program

    def install_app(self, *folder):
        """A fresh copy of dist/Snapwick in <temp>/<folder...>."""
        target = self.tmp.joinpath("apps", *(folder or ("Snapwick",)))
        target.parent.mkdir(parents=True, exist_ok=True)
        # Only what ships: a pic/ or set.ini left in dist/ by a manual run
        # must not leak into a scenario.
        target.mkdir()
        shutil.copy2(self.dist / "snapwick.exe", target / "snapwick.exe")
        shutil.copytree(self.dist / "wav", target / "wav")
        return target

    def start_snapwick(self, folder, timeout=30):
        """Starts the program and waits for its window to be shown."""
        app = self.start_app(folder)

        def shown():
            expect(app.alive(), f"snapwick.exe ended during start-up (exit code {app.proc.returncode})")
            return self.windows(r"Snapwick.*", visible_only=True)
        window = wait_until(shown, timeout, "the program's window was not shown")[0]
        self.log(f"window {window} shown: {window.title()!r}")
        return app, window

    def start_notepad(self):
        """Starts Wine's notepad, gives it the focus and returns its window."""
        self.start_wine_program("notepad")
        window = self.wait_window(r".*Notepad", what="notepad's window was not shown")
        window.focus()
        return window

    def start_app(self, folder, tag="snapwick"):
        log_path = self.out / f"{tag}.log"
        with open(log_path, "ab") as log:
            # Started from elsewhere: the program must find its folder by its
            # own path, not by the working directory.
            proc = subprocess.Popen(["wine", str(folder / "snapwick.exe")], cwd=self.tmp,
                                    env=self.env, stdin=subprocess.DEVNULL,
                                    stdout=log, stderr=log)
        app = App(folder, proc, log_path)
        self.apps.append(app)
        self.log(f"started {folder / 'snapwick.exe'} as pid {proc.pid}")
        return app

    def start_wine_program(self, *argv):
        proc = subprocess.Popen(["wine", *argv], cwd=self.tmp, env=self.env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        self._helpers.append(proc)
        return proc

    def prefix_processes(self, image_name):
        """Pids of this prefix's Wine processes whose command line names image_name."""
        pids = []
        wanted = f"WINEPREFIX={self.prefix}".encode()
        for entry in Path("/proc").iterdir():
            if not entry.name.isdigit():
                continue
            try:
                environ = (entry / "environ").read_bytes().split(b"\0")
                cmdline = (entry / "cmdline").read_bytes().replace(b"\0", b" ")
                state = (entry / "stat").read_text().rsplit(")", 1)[1].split()[0]
            except OSError:
                continue
            if state != "Z" and wanted in environ and image_name.lower().encode() in cmdline.lower():
                pids.append(int(entry.name))
        return pids

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

    def send_wm_delete(self, wid):
        if self._xlib is None:
            x = ctypes.cdll.LoadLibrary("libX11.so.6")
            x.XOpenDisplay.restype = ctypes.c_void_p
            x.XOpenDisplay.argtypes = [ctypes.c_char_p]
            x.XInternAtom.restype = ctypes.c_ulong
            x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
            x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int,
                                     ctypes.c_long, ctypes.POINTER(_XEvent)]
            x.XFlush.argtypes = [ctypes.c_void_p]
            x.XCloseDisplay.argtypes = [ctypes.c_void_p]
            self._xlib = x
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

    def move_pointer(self, px, py):
        # Not `mousemove --sync`: it waits for a motion that never comes when
        # the pointer stands there already.
        self.x(["xdotool", "mousemove", str(px), str(py)])

        def arrived():
            out = self.x(["xdotool", "getmouselocation"]).stdout.decode()
            return re.match(rf"x:{px} y:{py} ", out)
        wait_until(arrived, 5, f"the pointer did not move to {px},{py}")


    def hold_key(self, key, seconds):
        """Holds a key down for a while; it goes to the window that has the focus."""
        self.x(["xdotool", "keydown", key])
        try:
            time.sleep(seconds)
        finally:
            self.x(["xdotool", "keyup", key])

    # -- tray

    def tray_window(self):
        found = self.windows(r"Wine System Tray")
        return found[0] if found else None

    def tray_icons(self):
        """Number of occupied icon slots in Wine's tray window (0 if it is hidden)."""
        tray = self.tray_window()
        if tray is None or not tray.viewable():
            return 0
        r = self.x(["import", "-window", str(tray.id), "png:-"], check=False, timeout=20)
        if r.returncode != 0:
            return 0
        from io import BytesIO
        from PIL import Image
        img = Image.open(BytesIO(r.stdout)).convert("RGB")
        background = max(img.getcolors(img.width * img.height))[1]
        count = 0
        for slot in range(img.width // TRAY_SLOT):
            box = img.crop((slot * TRAY_SLOT + 2, 2, slot * TRAY_SLOT + 2 + TRAY_ICON, 2 + TRAY_ICON))
            pixels = list(box.getdata())
            if sum(p != background for p in pixels) > len(pixels) // 8:
                count += 1
        return count

    def popup_menus(self):
        """Shown pop-up menus of the program: its unnamed, mapped X windows."""
        r = self.x(["xdotool", "search", "--onlyvisible", "--classname", "snapwick.exe"], check=False)
        menus = []
        for wid in r.stdout.split():
            w = Window(self, wid)
            info = w.info()
            if info and info[4] and info[2] > 1 and info[3] > 1 and not w.title():
                menus.append(w)
        return menus

    def point_at_tray_icon(self):
        """Puts the pointer on the first icon of Wine's tray window."""
        tray = self.tray_window()
        expect(tray is not None and tray.viewable(), "Wine System Tray window is not shown")
        x, y, _, _, _ = tray.info()
        self.move_pointer(x + TRAY_SLOT // 2, y + TRAY_SLOT // 2)

    def click_tray_icon(self, double=False, button=1):
        self.point_at_tray_icon()
        if double:
            self.x(["xdotool", "click", "--repeat", "2", "--delay", "80", str(button)])
        else:
            self.x(["xdotool", "click", str(button)])

    # -- screen

    def screenshot(self, name):
        path = self.out / name
        self.x(["import", "-window", "root", str(path)], check=False, timeout=20)
        return path

    def paint_root(self, image_path):
        """Makes image_path the root window's background."""
        self.x(["display", "-window", "root", str(image_path)], check=False, timeout=20)
        from PIL import Image
        with Image.open(image_path) as want:
            probe = want.convert("RGB").getpixel((SCREEN_W - 2, SCREEN_H - 2))
        wait_until(lambda: self._root_pixel(SCREEN_W - 2, SCREEN_H - 2) == probe, 5,
                   "the root window did not take the test picture")

    def _root_pixel(self, px, py):
        r = self.x(["import", "-window", "root", "-crop", f"1x1+{px}+{py}", "-depth", "8",
                    "rgb:-"], check=False, timeout=20)
        return tuple(r.stdout[:3]) if len(r.stdout) >= 3 else None


def settings_record(quality, sound, key, name):
    """The bytes of a set.ini: three values, CR LF after each, the name, 20 spaces."""
    return bytes([quality, 13, 10, sound, 13, 10, key, 13, 10]) + name.encode("cp1252") + b" " * 20


def run(name, body, deadline=150):
    """Runs body(scenario) and exits with 0 (PASS) or 1 (FAIL)."""
    def on_signal(signum, _frame):
        raise ScenarioInterrupted(f"interrupted by signal {signum}")

    def on_alarm(_signum, _frame):
        raise ScenarioInterrupted(f"scenario did not finish within {deadline} s")

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    signal.signal(signal.SIGALRM, on_alarm)
    signal.alarm(deadline)
    s = Scenario(name)
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
        for app in s.apps:
            if app.alive():
                s.log(f"pid {app.proc.pid} still running at the end")
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


# ------------------------------------------------ faults and odd folders
#
# Helpers for the fault_*.py and folder_*.py scenarios. The harness runs as
# root, and root reads and writes any file whatever its mode; Wine's server
# does the file system calls for every Wine process of the prefix, so a
# server started without root's override meets the Unix permissions as an
# ordinary user's program would (honour_file_permissions).

KEY_CODES = {"F2": 0x71, "F3": 0x72, "F4": 0x73, "F5": 0x74, "F6": 0x75, "F7": 0x76,
             "F8": 0x77, "F9": 0x78, "F11": 0x7A, "F12": 0x7B}

_NO_ROOT_OVERRIDE = "-dac_override,-dac_read_search"
IN_OPEN = 0x20     # inotify events
IN_CREATE = 0x100
_PAGE = 4096


def windows_path(path):
    """The Windows name of a Unix path, through Wine's drive Z:."""
    return "Z:" + str(Path(path)).replace("/", "\\")


def tree_digests(folder, skip=()):
    """{relative path: sha256 of the file, or "<dir>"} for everything below
    folder (the folder itself excluded), except the entries of folder named
    in skip (whose files are then not even opened); {} if folder does not
    exist."""
    import hashlib
    folder = Path(folder)
    found = {}
    if not folder.is_dir():
        return found
    for root, dirs, files in os.walk(folder):
        if Path(root) == folder:
            dirs[:] = [d for d in dirs if d not in skip]
            files = [f for f in files if f not in skip]
        for name in dirs:
            found[str((Path(root) / name).relative_to(folder))] = "<dir>"
        for name in files:
            path = Path(root) / name
            try:
                digest = hashlib.sha256(path.read_bytes()).hexdigest()
            except OSError as e:
                digest = f"<unreadable: {e.strerror}>"
            found[str(path.relative_to(folder))] = digest
    return found


def describe_changes(before, after):
    """What differs between two tree_digests() results, as text ("" if nothing)."""
    added = sorted(set(after) - set(before))
    removed = sorted(set(before) - set(after))
    changed = sorted(k for k in set(before) & set(after) if before[k] != after[k])
    parts = [f"{what}: {', '.join(names)}" for what, names in
             (("new", added), ("gone", removed), ("changed", changed)) if names]
    return "; ".join(parts)


def settled_tree(folder, settle=1.0, timeout=20, skip=()):
    """tree_digests(folder, skip) once nothing below folder has appeared, gone
    or changed for `settle` seconds."""
    last, since = tree_digests(folder, skip), time.monotonic()
    deadline = time.monotonic() + timeout
    while time.monotonic() - since < settle:
        expect(time.monotonic() < deadline, f"files below {folder} kept changing for {timeout} s")
        time.sleep(0.1)
        now = tree_digests(folder, skip)
        if now != last:
            last, since = now, time.monotonic()
    return last


def press_in(s, window, key, seconds):
    """Holds key for a while with window in front (a window of the prefix,
    so that the program's poll sees the key)."""
    window.focus()
    s.hold_key(key, seconds)


def press_until_new_file(s, window, key, folder, timeout=15):
    """Holds key with window in front until a file that was not in folder
    before appears there (a shot has begun), then lets it go; a machine
    under load only makes this take longer."""
    folder = Path(folder)

    def names():
        try:
            return set(os.listdir(folder))
        except OSError:
            return set()
    before = names()
    window.focus()
    s.x(["xdotool", "keydown", key])
    try:
        wait_until(lambda: names() - before, timeout,
                   f"{key} held for {timeout} s made no file in {folder}")
    finally:
        s.x(["xdotool", "keyup", key])


def apply_key(s, window, key):
    """Presses key in the program's window and clicks Apply; returns once the
    caption names the key, that is, once the Apply handler has run."""
    press_in(s, window, key, 0.1)
    window.click_control(CMD3_APPLY)
    title = f"Snapwick (HotKey:{key})"
    wait_until(lambda: window.title() == title, 10,
               f"after Apply with {key} the title is {window.title()!r}, not {title!r}")


def honour_file_permissions(s):
    """Starts the prefix's Wine server without root's CAP_DAC_OVERRIDE and
    CAP_DAC_READ_SEARCH, so that a chmod on the Linux side stops the program
    as it would stop an ordinary user. Call it while no Wine process of the
    prefix runs (also again after end_wine()); the next Wine program joins
    this server."""
    expect(not s.prefix_processes("wineserver"), "a Wine server of the prefix runs already")
    subprocess.run(["setpriv", "--bounding-set", _NO_ROOT_OVERRIDE, "--inh-caps", _NO_ROOT_OVERRIDE,
                    "wineserver", "-p30"], env=s.env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30, check=True)
    st = s.prefix.stat()
    pattern = f"wine-*/server-{st.st_dev:x}-{st.st_ino:x}/socket"
    wait_until(lambda: list(Path(tempfile.gettempdir()).glob(pattern)) or
               list(Path(f"/tmp/.wine-{os.getuid()}").glob(pattern.split("/", 1)[1])),
               10, "the Wine server did not open its socket")
    for pid in s.prefix_processes("wineserver"):
        status = Path(f"/proc/{pid}/status").read_text()
        caps = int(re.search(r"CapEff:\s+([0-9a-f]+)", status).group(1), 16)
        expect(not caps & 0b110, f"Wine server {pid} still has root's file override (CapEff {caps:x})")


class FileHolder:
    """A Windows program of the prefix that holds one file open until
    release(): cmd, with the file as the redirected input of a batch file
    that waits; others may read the file then, but not replace or delete it."""

    BATCH = ("@echo off\r\n"
             "echo.> \"%~1\"\r\n"
             ":wait\r\n"
             "if exist \"%~2\" exit /b 0\r\n"
             "ping -n 2 127.0.0.1 >nul\r\n"
             "goto wait\r\n")

    def __init__(self, s, path):
        tag = f"hold.{time.monotonic_ns()}"
        batch = s.tmp / "hold_open.cmd"
        if not batch.exists():
            batch.write_bytes(self.BATCH.encode("ascii"))
        self.ready, self.release_flag = s.tmp / f"{tag}.ready", s.tmp / f"{tag}.release"
        paths = [windows_path(p) for p in (batch, self.ready, self.release_flag, path)]
        expect(not any(c in p for p in paths for c in ' "&<>^|'),
               f"cannot hold {path} open: its name needs quoting inside cmd")
        self.proc = s.start_wine_program("cmd", "/c",
                                         f"call {paths[0]} {paths[1]} {paths[2]} <{paths[3]}")

        def opened():
            expect(self.proc.poll() is None, f"the program holding {path} open ended at once")
            return self.ready.exists()
        wait_until(opened, 30, f"the program holding {path} open did not start")

    def release(self):
        self.release_flag.touch()
        try:
            self.proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise ScenarioFailed("the program holding a file open did not end when asked")


def map_drive(s, letter, folder):
    """Makes folder the prefix's drive letter (for instance "e")."""
    link = s.prefix / "dosdevices" / f"{letter.lower()}:"
    expect(not os.path.lexists(link), f"drive {letter}: is mapped already")
    os.symlink(folder, link)


def start_snapwick_as(s, folder, exe, tag="snapwick", timeout=30):
    """Starts the program by its Windows path exe (for instance E:\\snapwick.exe),
    which lies in folder on the Unix side, and waits for its window."""
    log_path = s.out / f"{tag}.log"
    with open(log_path, "ab") as log:
        proc = subprocess.Popen(["wine", exe], cwd=s.tmp, env=s.env, stdin=subprocess.DEVNULL,
                                stdout=log, stderr=log)
    app = App(folder, proc, log_path)
    s.apps.append(app)
    s.log(f"started {exe} ({folder}) as pid {proc.pid}")

    def shown():
        expect(app.alive(), f"{exe} ended during start-up (exit code {app.proc.returncode})")
        return s.windows(r"Snapwick.*", visible_only=True)
    window = wait_until(shown, timeout, "the program's window was not shown")[0]
    s.log(f"window {window} shown: {window.title()!r}")
    return app, window


class FolderWatch:
    """Names of the files in one folder that had an event (inotify; IN_OPEN
    by default) since the watch began: the sounds that the program played,
    the shots that it created."""

    def __init__(self, folder, events=IN_OPEN):
        self._libc = ctypes.CDLL("libc.so.6", use_errno=True)
        self.fd = self._libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        expect(self.fd >= 0, f"inotify_init1 failed: errno {ctypes.get_errno()}")
        wd = self._libc.inotify_add_watch(self.fd, os.fsencode(str(folder)), events)
        expect(wd >= 0, f"cannot watch {folder}: errno {ctypes.get_errno()}")
        self._seen = []
        self._taken = 0

    def _read(self):
        import struct
        while True:
            try:
                data = os.read(self.fd, 65536)
            except BlockingIOError:
                return
            at = 0
            while at + 16 <= len(data):
                _wd, _mask, _cookie, length = struct.unpack_from("iIII", data, at)
                name = data[at + 16:at + 16 + length].split(b"\0", 1)[0]
                if name:  # events of the folder itself carry no name
                    self._seen.append(os.fsdecode(name))
                at += 16 + length

    def take(self):
        """The names seen since the last take()."""
        self._read()
        new = self._seen[self._taken:]
        self._taken = len(self._seen)
        return new

    def take_settled(self, settle=1.0, timeout=20):
        """take() once no event has come for `settle` seconds."""
        self._read()
        count, since = len(self._seen), time.monotonic()
        deadline = time.monotonic() + timeout
        while time.monotonic() - since < settle:
            expect(time.monotonic() < deadline, f"events kept coming for {timeout} s")
            time.sleep(0.1)
            self._read()
            if len(self._seen) != count:
                count, since = len(self._seen), time.monotonic()
        return self.take()

    def wait_for(self, name, timeout, what):
        """Waits until name has an event after the last take(); takes and
        returns every name up to then."""
        got = []
        wait_until(lambda: got.extend(self.take()) or name in got, timeout, what)
        return got

    def close(self):
        os.close(self.fd)


def can_mount_tmpfs():
    """None if this machine lets us mount a tmpfs, else the reason why not."""
    probe = Path(tempfile.mkdtemp(prefix="snapwick-e2e-mount-probe."))
    try:
        r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", str(probe)],
                           capture_output=True, text=True, timeout=20)
        if r.returncode != 0:
            return (r.stderr or r.stdout).strip() or f"mount exited with {r.returncode}"
        subprocess.run(["umount", str(probe)], capture_output=True, timeout=20, check=True)
        return None
    except (OSError, subprocess.SubprocessError) as e:
        return str(e)
    finally:
        probe.rmdir()


def mount_tmpfs(folder, size):
    """A file system of `size` bytes mounted on folder (made if missing)."""
    Path(folder).mkdir(parents=True, exist_ok=True)
    r = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size},mode=0755", "tmpfs", str(folder)],
                       capture_output=True, text=True, timeout=20)
    expect(r.returncode == 0, f"cannot mount a tmpfs on {folder}: {r.stderr.strip()}")


def unmount(folder):
    """Unmounts folder; lazily if something still uses it."""
    if subprocess.run(["umount", str(folder)], capture_output=True, timeout=20).returncode != 0:
        subprocess.run(["umount", "-l", str(folder)], capture_output=True, timeout=20)


def sweep_stale_mounts():
    """Unmounts the file systems that killed scenarios left mounted in their
    temporary folders (a SIGKILL leaves them no chance to clean up)."""
    base = tempfile.gettempdir().rstrip("/") + "/snapwick-e2e."
    for line in Path("/proc/self/mounts").read_text().splitlines():
        point = line.split()[1].replace("\\040", " ")
        if point.startswith(base):
            pid = point[len(base):].split(".", 1)[0]
            if pid.isdigit() and not Path(f"/proc/{pid}").exists():
                unmount(point)


def fill_disk(folder, leave=0):
    """Fills the file system of folder with one file until at most `leave`
    bytes (rounded down to pages) stay free; returns the file."""
    filler = Path(folder) / "filler.bin"
    chunk = b"\0" * (64 * 1024)
    with open(filler, "ab", buffering=0) as f:
        try:
            while True:
                f.write(chunk)
        except OSError as e:
            expect(e.errno == 28, f"filling {folder} failed: {e}")
    if leave:
        size = filler.stat().st_size
        os.truncate(filler, max(0, size - (leave // _PAGE) * _PAGE))
    return filler


def free_bytes(folder):
    st = os.statvfs(folder)
    return st.f_bavail * st.f_frsize


# ------------------------------------------------ more controls and helpers

# Client-area pixel rectangles (x, y, w, h) of more controls at 96 DPI.
FRAME1 = (8, 8, 449, 59)
LABEL1 = (16, 136, 153, 25)
LABEL2 = (16, 104, 145, 25)
LABEL3 = (280, 104, 137, 25)
T_KEY = (176, 98, 81, 23)
CMB = (176, 131, 81, 23)
CHECK = (432, 96, 17, 33)
L4 = (157, 184, 73, 18)
L5_LINK = (234, 184, 73, 18)
PICTUR = (424, 176, 25, 25)
# The pixel size of a 9 pt font at 96 DPI.
ARIAL_9PT_PX = 12


def window_image(window, name):
    """A screenshot of the window's client area, saved as name, as RGB."""
    from PIL import Image
    path = window.screenshot(name)
    expect(path.exists(), f"no screenshot of {window} could be taken")
    with Image.open(path) as img:
        return img.convert("RGB")


def crop(img, rect):
    x, y, w, h = rect
    return img.crop((x, y, x + w, y + h))


def exit_with_button(app, window, timeout=15):
    """Ends the program with its "Выход" button and waits for the process."""
    window.focus()
    window.click_control(CMD1_EXIT)
    expect(app.wait_exit(timeout) is not None,
           f"the program was still running {timeout} s after the click on Выход")


def pick_combo_item(s, window, rect, index, items):
    """Opens a drop-down combo box with a click on its arrow and clicks the
    item at index of its list of `items` entries."""
    x, y, w, h = rect
    window.click(x + w - 8, y + h // 2)
    lists = wait_until(s.popup_menus, 10, "the combo box's list did not drop down")
    expect(len(lists) == 1, f"{len(lists)} pop-up windows after the click on the combo's arrow")
    _, _, lw, lh, _ = lists[0].info()
    # The list is sized to show every item; each item is a strip of equal height.
    item = (lh - 2) / items
    lists[0].click(lw // 2, int(1 + item * (index + 0.5)))
    wait_until(lambda: not s.popup_menus(), 10, "the combo box's list stayed open")


# Captions are checked by their ink, not read: a face without Cyrillic
# letters draws every letter as the same box (or nothing at all), and a text
# that lost its letters in an 8-bit code page shows the same "?" for each.

def dark_ink(contrast=90):
    """A pixel test: darker than the background by more than contrast."""
    def test(pixel, background):
        return sum(background) / 3 - sum(pixel) / 3 > contrast
    return test


def red_ink(pixel, _background):
    r, g, b = pixel
    return r >= 120 and g <= 90 and b <= 90 and r - g >= 60


def ink_points(img, rect, is_ink=None):
    """The points of rect that are ink, relative to rect's corner; the
    background is the commonest colour of rect."""
    part = crop(img, rect).convert("RGB")
    w, h = part.size
    background = max(part.getcolors(w * h))[1]
    is_ink = is_ink or dark_ink()
    pixels = part.load()
    return {(i, j) for j in range(h) for i in range(w) if is_ink(pixels[i, j], background)}


def glyph_shapes(points):
    """The ink cut into runs of inked columns; each run's points relative
    to its own top-left corner, in reading order."""
    columns = sorted({i for i, _ in points})
    runs, current = [], []
    for i in columns:
        if current and i != current[-1] + 1:
            runs.append(current)
            current = []
        current.append(i)
    if current:
        runs.append(current)
    shapes = []
    for run in runs:
        part = [(i, j) for i, j in points if run[0] <= i <= run[-1]]
        x0, y0 = min(i for i, _ in part), min(j for _, j in part)
        shapes.append(frozenset((i - x0, j - y0) for i, j in part))
    return shapes


def check_letters_drawn(img, rect, text, what, is_ink=None):
    """The caption in rect has ink and is made of different glyphs, as a
    text of these letters is: not of one box or one "?" repeated."""
    points = ink_points(img, rect, is_ink)
    letters = [c for c in text if not c.isspace()]
    expect(len(points) >= 4 * len(letters),
           f"{what}: only {len(points)} ink pixels where {text!r} should be drawn")
    shapes = glyph_shapes(points)
    distinct = len(set(shapes))
    want = max(2, (len(set(letters)) + 1) // 2)
    expect(distinct >= want,
           f"{what}: the ink of {text!r} holds only {distinct} different glyph shapes in "
           f"{len(shapes)} runs (at least {want} expected): the letters are not drawn")
    return points


def font_file(pattern):
    """The font file that fontconfig gives for a pattern such as
    "Arial:lang=ru"; Wine draws a face it lacks with the same file."""
    r = subprocess.run(["fc-match", "-f", "%{file}", pattern], capture_output=True, text=True)
    expect(r.returncode == 0 and r.stdout, f"fc-match found no font for {pattern!r}")
    return r.stdout


def rendered_points(text, font_path, px):
    """The ink of text drawn without anti-aliasing, as Wine draws it here."""
    from PIL import Image, ImageDraw, ImageFont
    font = ImageFont.truetype(font_path, px)
    img = Image.new("L", (px * (len(text) + 2), px * 3), 255)
    draw = ImageDraw.Draw(img)
    draw.fontmode = "1"
    draw.text((px // 2, px // 2), text, font=font, fill=0)
    w, h = img.size
    pixels = img.load()
    return {(i, j) for j in range(h) for i in range(w) if pixels[i, j] < 128}


def _to_origin(points):
    if not points:
        return set()
    x0, y0 = min(i for i, _ in points), min(j for _, j in points)
    return {(i - x0, j - y0) for i, j in points}


def _share_near(a, b):
    """The share of the points of a that lie within one pixel of a point of b."""
    grown = {(i + dx, j + dy) for i, j in b for dx in (-1, 0, 1) for dy in (-1, 0, 1)}
    return sum(p in grown for p in a) / len(a) if a else 0.0


def likeness(points, text, font_path, px, shift=3):
    """How well the ink matches text drawn in the font: 1.0 for the same
    strokes, give or take a pixel; the best over small shifts."""
    a = _to_origin(points)
    b = _to_origin(rendered_points(text, font_path, px))
    best = 0.0
    for dx in range(-shift, shift + 1):
        for dy in range(-shift, shift + 1):
            moved = {(i + dx, j + dy) for i, j in b}
            p, r = _share_near(a, moved), _share_near(moved, a)
            if p + r:
                best = max(best, 2 * p * r / (p + r))
    return best


def garbled_forms(text):
    """What a Russian text turns into when it goes through the wrong code page."""
    forms = {
        "Windows-1251 bytes read as Windows-1252": text.encode("cp1251").decode("cp1252", "replace"),
        "UTF-8 bytes read as Windows-1251": text.encode("utf-8").decode("cp1251", "replace"),
        "UTF-8 bytes read as Windows-1252": text.encode("utf-8").decode("cp1252", "replace"),
        "question marks": "".join(c if c.isspace() else "?" for c in text),
    }
    return {k: v for k, v in forms.items() if v != text}


def check_text_matches(points, text, rivals, font_path, px, what, least=0.9, margin=0.05):
    """The ink is text drawn in the font, and clearly not one of the rivals
    (a dict of description -> text)."""
    score = likeness(points, text, font_path, px)
    expect(score >= least, f"{what}: the ink matches {text!r} in {Path(font_path).name} "
                           f"{px} px only to {score:.2f} (at least {least} expected)")
    for description, rival in rivals.items():
        other = likeness(points, rival, font_path, px)
        expect(score >= other + margin,
               f"{what}: the ink matches {rival!r} ({description}) to {other:.2f}, about as well "
               f"as {text!r} ({score:.2f})")
    return score


def selected_text_pixels(img, rect):
    """How many pixels of rect have the colour of selected text (a saturated blue)."""
    return sum(1 for r, g, b in crop(img, rect).getdata() if b >= 180 and r <= 120 and b - g >= 60)


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
