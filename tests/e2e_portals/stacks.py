"""Headless desktops for the portal scenarios: KDE Plasma (kwin_wayland
--virtual) and GNOME (gnome-shell --headless), each with its own session
bus, PipeWire and portals, run as an ordinary user that these tests create.

    with KdeStack() as kde:             # or GnomeStack()
        kde.run_user(["busctl", "--user", ...])
        proc = kde.spawn_user([...])    # stopped with the stack
        kde.spawn_user([...], desktop=True)   # one of the desktop's own programs
    # everything it started is gone, the D-Bus-activated services too

Each stack has a fresh HOME and XDG_RUNTIME_DIR under one temporary folder:
KDE keeps shortcuts in ~/.config/kglobalshortcutsrc, and a stale F8 grab
there would silently keep a new binding from getting the key. Every process
is started with that runtime folder in its environment, and so are the
services the session bus activates, which is how teardown finds them: by
process id, read from /proc, never by name.
"""

import json
import os
import pwd
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path

USER = "snapwick-portals"
WIDTH, HEIGHT = 1920, 1080
PATH = "/usr/local/bin:/usr/bin:/bin"


class StackFailed(Exception):
    pass


def ensure_user():
    """The ordinary user the desktops run as (kwin and gnome-shell refuse
    root, and a user's bus would not take root's calls as its own)."""
    try:
        return pwd.getpwnam(USER)
    except KeyError:
        subprocess.run(["useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin",
                        "--home-dir", "/nonexistent", USER], check=True)
        return pwd.getpwnam(USER)


def wait_until(what, predicate, timeout, interval=0.02):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise StackFailed(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


def _environ_of(pid):
    try:
        return Path(f"/proc/{pid}/environ").read_bytes().split(b"\0")
    except OSError:
        return []


class Stack:
    """What both desktops share: the user, the folders, the session bus,
    PipeWire and WirePlumber, and the teardown."""

    name = "stack"

    def __init__(self):
        self.user = ensure_user()
        self.root = Path(tempfile.mkdtemp(prefix=f"snapwick-{self.name}-"))
        os.chmod(self.root, 0o755)
        self.home = self.root / "home"
        self.runtime = self.root / "run"
        self.bin = self.root / "bin"
        for folder in (self.home, self.runtime, self.bin):
            folder.mkdir(mode=0o700)
            os.chown(folder, self.user.pw_uid, self.user.pw_gid)
        os.chmod(self.bin, 0o755)
        self.logs = self.root / "logs"
        self.logs.mkdir()
        self.bus_address = f"unix:path={self.runtime}/bus"
        self.env = {
            "PATH": PATH,
            "HOME": str(self.home),
            "USER": USER,
            "LOGNAME": USER,
            "LANG": "C.UTF-8",
            "XDG_RUNTIME_DIR": str(self.runtime),
            "DBUS_SESSION_BUS_ADDRESS": self.bus_address,
            "XDG_SESSION_TYPE": "wayland",
        }
        self.processes = []
        self.timings = {}

    # -- running things as the user ------------------------------------

    def _user_argv(self, argv):
        return ["setpriv", f"--reuid={self.user.pw_uid}", f"--regid={self.user.pw_gid}",
                "--clear-groups", "--", *argv]

    def _desktop_argv(self, argv):
        """How the desktop's own programs run (bus, media server,
        compositor): as the user here; a stack in a chroot runs them
        there, while the tests' programs and tools stay here."""
        return self._user_argv(argv)

    def spawn_user(self, argv, log=None, env=None, desktop=False):
        """Starts argv as the user in the session's environment (the
        desktop's own program with desktop=True); stopped with the stack.
        setpriv execs, so the process id is the program's."""
        log = log or Path(argv[0]).name
        out = open(self.logs / f"{log}.log", "ab")
        wrap = self._desktop_argv if desktop else self._user_argv
        proc = subprocess.Popen(wrap(argv), env={**self.env, **(env or {})},
                                stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                cwd=self.home, start_new_session=True)
        out.close()
        self.processes.append(proc)
        return proc

    def run_user(self, argv, env=None, timeout=30, check=True, input=None, desktop=False):
        wrap = self._desktop_argv if desktop else self._user_argv
        result = subprocess.run(wrap(argv), env={**self.env, **(env or {})},
                                capture_output=True, text=True, timeout=timeout, cwd=self.home,
                                input=input)
        if check and result.returncode != 0:
            raise StackFailed(f"{argv} exited with {result.returncode}: {result.stderr.strip()}")
        return result

    def desktop_file(self, path):
        """Where a file of the desktop's system is seen from here."""
        return path

    def install_program(self, path):
        """A copy the user can run: a CI checkout may sit in a folder only
        root can enter."""
        target = self.bin / Path(path).name
        shutil.copy(path, target)
        os.chmod(target, 0o755)
        return str(target)

    def user_file(self, relative, content=b"", mode=0o644):
        path = self.home / relative
        for parent in reversed(path.relative_to(self.home).parents):
            folder = self.home / parent
            if not folder.exists():
                folder.mkdir(mode=0o700)
                os.chown(folder, self.user.pw_uid, self.user.pw_gid)
        path.write_bytes(content)
        os.chmod(path, mode)
        os.chown(path, self.user.pw_uid, self.user.pw_gid)
        return path

    def user_folder(self, relative):
        path = self.home / relative
        path.mkdir(parents=True, exist_ok=True)
        for folder in [path, *path.relative_to(self.home).parents]:
            os.chown(self.home / folder, self.user.pw_uid, self.user.pw_gid)
        return path

    # -- the common pieces ---------------------------------------------

    def start_session_bus(self):
        bus = self.spawn_user(["dbus-daemon", "--session", "--nofork", "--nosyslog",
                               f"--address={self.bus_address}"], log="dbus-session", desktop=True)
        wait_until("the session bus", lambda: (self.runtime / "bus").exists() or bus.poll(), 10)
        if bus.poll() is not None:
            raise StackFailed("the session bus did not start")

    def start_pipewire(self):
        pipewire = self.spawn_user(["pipewire"], desktop=True)
        wait_until("PipeWire's socket",
                   lambda: (self.runtime / "pipewire-0").exists() or pipewire.poll(), 10)
        self.spawn_user(["wireplumber"], desktop=True)

    def update_activation_environment(self, names):
        """The services the bus starts from now on see the display; the
        GNOME portal exits without it ("cannot open display")."""
        self.run_user(["dbus-update-activation-environment", *names], desktop=True)

    def portal_version(self, interface):
        """The front end's version of `interface`, starting it if need be;
        None when it does not have it."""
        result = self.run_user(["busctl", "--user", "--timeout=20", "get-property",
                                "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                                f"org.freedesktop.portal.{interface}", "version"], check=False,
                               timeout=30)
        if result.returncode != 0:
            return None
        return int(result.stdout.split()[1])

    # -- teardown -------------------------------------------------------

    def _session_pids(self):
        """Everything that carries this stack's runtime folder: what was
        started here and what the session bus started for it."""
        marker = f"XDG_RUNTIME_DIR={self.runtime}".encode()
        pids = []
        for entry in Path("/proc").iterdir():
            if entry.name.isdigit() and int(entry.name) != os.getpid():
                if marker in _environ_of(entry.name):
                    pids.append(int(entry.name))
        return pids

    def close(self):
        pids = set(self._session_pids()) | {p.pid for p in self.processes if p.poll() is None}
        pids |= set(self.extra_pids())
        for pid in pids:
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline and any(self._alive(pid) for pid in pids):
            for proc in self.processes:
                proc.poll()
            time.sleep(0.05)
        for pid in pids:
            if self._alive(pid):
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
        for proc in self.processes:
            try:
                proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                pass
        left = [pid for pid in self._session_pids() if self._alive(pid)]
        self.after_close()
        if os.environ.get("SNAPWICK_KEEP_STACK"):
            print(f"{self.name}: kept {self.root}")
        else:
            shutil.rmtree(self.root, ignore_errors=True)
        if left:
            raise StackFailed(f"{self.name}: processes left after teardown: {left}")

    @staticmethod
    def _alive(pid):
        try:
            state = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0]
        except (OSError, IndexError):
            return False
        return state != "Z"

    def extra_pids(self):
        return []

    def after_close(self):
        pass

    def log_tail(self, log, lines=30):
        try:
            text = (self.logs / f"{log}.log").read_text(errors="replace")
        except OSError:
            return ""
        return "\n".join(text.splitlines()[-lines:])

    def __enter__(self):
        try:
            started = time.monotonic()
            self.up()
            self.timings["up"] = time.monotonic() - started
            print(f"{self.name}: up in {self.timings['up'] * 1000:.0f} ms "
                  + " ".join(f"({k} {v * 1000:.0f} ms)" for k, v in self.timings.items()
                             if k != "up"), flush=True)
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, exc_type, exc, tb):
        try:
            self.close()
        except StackFailed as failure:
            # The scenario's own failure is the one to report.
            if exc is None:
                raise
            print(f"{self.name}: teardown after a failure: {failure}", flush=True)
        return False

    def up(self):
        raise NotImplementedError


class KdeStack(Stack):
    """kwin_wayland --virtual, with the KDE portals and KWin's fake input
    (KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 offers it to every client)."""

    name = "kde"
    display = "wayland-kde"
    plasma = "5"
    # KWin's scripting names for the windows and the active one.
    window_list = "workspace.clientList()"
    active_window = "workspace.activeClient"

    def up(self):
        started = time.monotonic()
        self.env.update({"XDG_CURRENT_DESKTOP": "KDE", "KDE_FULL_SESSION": "true",
                         "KDE_SESSION_VERSION": self.plasma, "WAYLAND_DISPLAY": self.display,
                         "QT_QPA_PLATFORM": "wayland"})
        self.start_session_bus()
        self.start_pipewire()
        # The installed binary carries a file capability that a container's
        # bounding set may lack (exec fails); a plain copy runs, and kwin
        # wants its own name.
        kwin = self.install_program(self.desktop_file("/usr/bin/kwin_wayland"))
        compositor = self.spawn_user(
            [kwin, "--virtual", "--width", str(WIDTH), "--height", str(HEIGHT),
             "--socket", self.display, "--no-lockscreen"],
            log="kwin", desktop=True,
            env={"KWIN_WAYLAND_NO_PERMISSION_CHECKS": "1",
                 # what the tests' scripts print (kwin_script)
                 "QT_LOGGING_RULES": "kwin_scripting=true"})
        wait_until("kwin's socket",
                   lambda: (self.runtime / self.display).exists() or compositor.poll() is not None,
                   30)
        if compositor.poll() is not None:
            raise StackFailed("kwin_wayland exited:\n" + self.log_tail("kwin"))
        self.timings["compositor"] = time.monotonic() - started
        self.update_activation_environment(["WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP",
                                            "XDG_SESSION_TYPE", "QT_QPA_PLATFORM",
                                            "KDE_FULL_SESSION", "KDE_SESSION_VERSION"])
        # The KDE portal writes its screenshots there and fails without it.
        self.user_folder("Pictures")
        portal_started = time.monotonic()
        if self.portal_version("Screenshot") is None:
            raise StackFailed("no portal front end on the session bus")
        self.timings["portals"] = time.monotonic() - portal_started


    # -- KWin's scripting: what a window manager knows of the windows --

    def kwin_script(self, code, timeout=5):
        """Runs JavaScript inside kwin and returns the lines it printed
        with print() (kwin writes them to its log as "js: ...")."""
        self.scripts = getattr(self, "scripts", 0) + 1
        name = f"snapwick_test_{self.scripts}_"
        marker = f"END {name}"
        path = self.user_file(f"{name}.js", (f'print("BEGIN {name}");\n{code}\n'
                                             f'print("{marker}");\n').encode())
        call = ["busctl", "--user", "call", "org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting"]
        self.run_user([*call, "loadScript", "ss", str(path), name])
        self.run_user([*call, "start"])
        log = self.logs / "kwin.log"
        try:
            text = wait_until(f"kwin to run {name}", lambda: marker in log.read_text(
                errors="replace") and log.read_text(errors="replace"), timeout)
        finally:
            self.run_user([*call, "unloadScript", "s", name], check=False)
        lines = text[:text.index(marker)].splitlines()
        start = max((i for i, line in enumerate(lines) if f"BEGIN {name}" in line), default=-1)
        return [line.split("js: ", 1)[1] for line in lines[start + 1:] if "js: " in line]

    def windows(self):
        """The windows kwin manages: pid, caption, frame x, y, width,
        height, active, minimised."""
        lines = self.kwin_script(
            f"var cs = {self.window_list};\n"
            "for (var i = 0; i < cs.length; i++) { var c = cs[i], g = c.frameGeometry;\n"
            "  print(JSON.stringify({pid: c.pid, caption: c.caption, x: g.x, y: g.y,\n"
            "    width: g.width, height: g.height, active: c.active, minimized: c.minimized})); }")
        return [json.loads(line) for line in lines if line.startswith("{")]

    def activate(self, pid):
        """Gives the keyboard focus to the window of process `pid`."""
        self.kwin_script(f"var cs = {self.window_list};\n"
                         f"for (var i = 0; i < cs.length; i++) if (cs[i].pid == {pid}) {{\n"
                         f"  cs[i].minimized = false; {self.active_window} = cs[i]; }}")
        wait_until(f"the window of {pid} to take the focus",
                   lambda: any(w["pid"] == pid and w["active"] for w in self.windows()), 5,
                   interval=0.1)

    def minimise(self, pid):
        self.kwin_script(f"var cs = {self.window_list};\n"
                         f"for (var i = 0; i < cs.length; i++) if (cs[i].pid == {pid})\n"
                         "  cs[i].minimized = true;")


class GnomeStack(Stack):
    """gnome-shell --headless with one virtual monitor. gnome-shell needs a
    system bus, and where /run/systemd/seats exists without logind it
    fails: it runs inside its own mount namespace with tmpfs over
    /run/systemd and /run/dbus and a private system bus there."""

    name = "gnome"
    display = "wayland-gn"

    def up(self):
        started = time.monotonic()
        self.env.update({"XDG_CURRENT_DESKTOP": "GNOME", "WAYLAND_DISPLAY": self.display,
                         "XDG_SESSION_DESKTOP": "gnome", "GDK_BACKEND": "wayland"})
        self.start_session_bus()
        self.start_pipewire()
        self.update_activation_environment(["WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP",
                                            "XDG_SESSION_TYPE", "XDG_SESSION_DESKTOP",
                                            "GDK_BACKEND"])
        self.system_bus_pid = None
        pid_file = self.root / "system-bus.pid"
        user = " ".join(self._namespace_user_argv())
        shell = (
            "set -e\n"
            "mount -t tmpfs tmpfs /run/systemd\n"
            "mount -t tmpfs tmpfs /run/dbus\n"
            f"dbus-daemon --system --fork --nosyslog --print-pid > {pid_file}\n"
            f"exec {user} gnome-shell --headless --virtual-monitor {WIDTH}x{HEIGHT} "
            f"--wayland --no-x11 --wayland-display {self.display}\n")
        log = open(self.logs / "gnome-shell.log", "ab")
        shell_proc = subprocess.Popen(self._namespace_argv(shell), env=self.env, stdout=log,
                                      stderr=subprocess.STDOUT,
                                      stdin=subprocess.DEVNULL, cwd=self.home,
                                      start_new_session=True)
        log.close()
        self.processes.append(shell_proc)
        wait_until("gnome-shell's socket",
                   lambda: (self.runtime / self.display).exists() or shell_proc.poll() is not None,
                   60)
        if shell_proc.poll() is not None:
            raise StackFailed("gnome-shell exited:\n" + self.log_tail("gnome-shell"))
        try:
            self.system_bus_pid = int(pid_file.read_text().split()[0])
        except (OSError, ValueError, IndexError):
            pass
        # The shell owns org.gnome.Mutter.RemoteDesktop once it is ready.
        wait_until("gnome-shell on the bus", lambda: self.run_user(
            ["busctl", "--user", "status", "org.gnome.Mutter.RemoteDesktop"],
            check=False).returncode == 0, 60, interval=0.1)
        self.timings["compositor"] = time.monotonic() - started
        portal_started = time.monotonic()
        if self.portal_version("ScreenCast") is None:
            raise StackFailed("no portal front end on the session bus")
        self.timings["portals"] = time.monotonic() - portal_started

    def _namespace_argv(self, shell):
        """Runs shell as root in a mount namespace of its own."""
        return ["unshare", "-m", "--propagation", "private", "sh", "-c", shell]

    def _namespace_user_argv(self):
        """What becomes the user inside that namespace's shell."""
        return self._user_argv([])

    def extra_pids(self):
        return [self.system_bus_pid] if self.system_bus_pid else []
