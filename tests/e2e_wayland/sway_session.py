"""A headless sway of a scenario's own, and the Wayland layer's test client
over it.

sway refuses to run as root, so it runs as an ordinary user that this module
creates when missing (USER, no home, no login shell), with a runtime folder,
a home and a configuration of its own in a fresh temporary folder, the
headless backend and the pixman renderer, and no input devices: keys come
from virtual keyboards (wtype). Everything it starts ends with it, by
process id: sway's own id is the one in its IPC socket's name.

    with SwaySession("name", outputs=1) as sway:   # up and answering
        sway.swaymsg("output HEADLESS-1 bg /path/pic.png stretch")
        sway.wtype("-P", "F8", "-s", "300", "-p", "F8")
        client = sway.start_client(CLIENT)         # wayland_client.cpp
        client.ask("watch 119")                    # -> "watch 1"
        keys = sway.start_keyboard(INJECTOR, "de") # wayland_key_injector.cpp
        sent_ns = keys.press(66)                   # evdev KEY_F8

A scenario calls run(name, body): body gets a Scenario that starts sways
and tools and ends them all, and the scenario ends with PASS or FAIL and
exit status 0 or 1, as the X11 scenarios do.
"""

import ctypes
import fcntl
import json
import os
import pwd
import queue
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

# The X scenarios' failure, so that their shared checks of shots and folders
# (tests/e2e) fail a Wayland scenario the same way.
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
from orphans import become_subreaper, end_orphans  # noqa: E402
from xdisplay import ScenarioFailed, expect  # noqa: E402,F401
from xdisplay import wait_until as xdisplay_wait_until  # noqa: E402

USER = "snapwick-sway"
_PR_SET_PDEATHSIG = 1
_USER_LOCK = Path("/run/lock/snapwick-sway-user.lock")


def wait_until(probe, timeout, what, interval=0.02):
    """The X scenarios' wait, polled more often: Wayland events come fast."""
    return xdisplay_wait_until(probe, timeout, what, interval)


def _die_with_parent():
    # Nothing of a scenario may outlive it when ctest kills it.
    libc = ctypes.CDLL("libc.so.6", use_errno=True)
    libc.prctl(_PR_SET_PDEATHSIG, signal.SIGTERM)


def ensure_user():
    """The ordinary user that sways run as; made once per machine (two
    scenarios may ask at once)."""
    try:
        return pwd.getpwnam(USER)
    except KeyError:
        pass
    _USER_LOCK.parent.mkdir(parents=True, exist_ok=True)
    with open(_USER_LOCK, "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        try:
            return pwd.getpwnam(USER)
        except KeyError:
            subprocess.run(["useradd", "--system", "--no-create-home", "--home-dir", "/nonexistent",
                            "--shell", "/usr/sbin/nologin", USER], check=True)
            return pwd.getpwnam(USER)


class Client:
    """The test client (tests/e2e_wayland/wayland_client.cpp): a line per
    command, edges as they come."""

    def __init__(self, proc, log_path):
        self.proc = proc
        self.log_path = log_path
        self.lines = queue.Queue()
        self.edges = []  # (down, monotonic ns)
        self.sway_gone = False
        self.reloads = 0
        self._lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()
        first = self._next(10)
        expect(first.startswith("ready "), f"the client did not start: {first!r} (see {log_path})")
        # The copy protocol its grabs go through.
        self.protocol = first.split(" ", 1)[1]

    def _read(self):
        for raw in self.proc.stdout:
            line = raw.decode(errors="replace").rstrip("\n")
            m = re.fullmatch(r"edge (down|up) (\d+)", line)
            if line == "sway gone":
                self.sway_gone = True
            elif line.startswith("reloaded "):
                self.reloads = int(line.split()[1])
            elif m:
                with self._lock:
                    self.edges.append((m.group(1) == "down", int(m.group(2))))
            else:
                self.lines.put(line)
        self.lines.put(None)

    def _next(self, timeout):
        try:
            line = self.lines.get(timeout=timeout)
        except queue.Empty:
            raise ScenarioFailed(f"the client said nothing for {timeout} s")
        expect(line is not None, f"the client ended (status {self.proc.poll()}; see {self.log_path})")
        return line

    def ask(self, command, timeout=10):
        self.proc.stdin.write((command + "\n").encode())
        self.proc.stdin.flush()
        return self._next(timeout)

    def take_edges(self):
        with self._lock:
            edges, self.edges = self.edges, []
        return edges

    def grab(self, path):
        """(width, height, layout, bottom_up, ms) with the frame written to
        path as a PPM, or None when the grab gave nothing."""
        answer = self.ask(f"grab {path}")
        if answer == "nothing":
            return None
        m = re.fullmatch(r"grabbed (\d+) (\d+) (\d+) (\w+) ([01]) ([\d.]+)", answer)
        expect(m, f"unexpected answer to grab: {answer!r}")
        return int(m.group(1)), int(m.group(2)), m.group(4), m.group(5) == "1", float(m.group(6))

    def outputs(self):
        """(chosen name, [(name, x, y)])"""
        words = self.ask("outputs").split(" ")
        expect(words[0] == "outputs", f"unexpected answer to outputs: {words!r}")
        listed = []
        for word in words[2:]:
            name, _, pos = word.partition("@")
            x, _, y = pos.partition(",")
            listed.append((name, int(x), int(y)))
        return words[1], listed

    def quit(self):
        if self.proc.poll() is None:
            answer = self.ask("quit")
            expect(answer == "bye", f"unexpected answer to quit: {answer!r}")
            self.proc.wait(timeout=10)
        return self.proc.returncode


class Keyboard:
    """A virtual keyboard with a real keymap (bench/wayland_key_injector.cpp):
    keys by evdev code, each press or release answered with the moment it
    left for sway."""

    def __init__(self, proc):
        self.proc = proc
        line = proc.stdout.readline().decode().strip()
        expect(line == "ready", f"the virtual keyboard did not start: {line!r}")

    def _send(self, what, code):
        self.proc.stdin.write(f"{what} {code}\n".encode())
        self.proc.stdin.flush()
        words = self.proc.stdout.readline().decode().split()
        expect(words[:1] == ["sent"], f"the virtual keyboard said {words} to {what} {code}")
        return int(words[1])

    def press(self, code):
        return self._send("press", code)

    def release(self, code):
        return self._send("release", code)

    def close(self):
        self.proc.stdin.close()
        self.proc.wait(timeout=10)


class SwaySession:
    """One headless sway, as USER, in its own folder; ended by process id."""

    def __init__(self, scenario, name, outputs=1, config="", mode="1920x1080"):
        self.scenario = scenario
        self.name = name
        self.user = ensure_user()
        # Short: sway's socket path must fit a sockaddr_un (108 bytes).
        self.folder = Path(tempfile.mkdtemp(prefix=f"{name}-", dir=scenario.tmp))
        self.folder.chmod(0o755)
        self.runtime = self.folder / "run"
        self.home = self.folder / "home"
        for folder in (self.runtime, self.home):
            folder.mkdir(mode=0o700)
            os.chown(folder, self.user.pw_uid, self.user.pw_gid)
        self.config = self.folder / "config"
        lines = [f"output HEADLESS-{i + 1} mode {mode}" for i in range(outputs)]
        self.config.write_text("\n".join(lines) + "\n" + config)
        self.config.chmod(0o644)
        self.log_path = scenario.out / f"sway-{name}.log"
        self.pid = None
        self.socket = None
        self.proc = None
        self.extra_env = {"WLR_HEADLESS_OUTPUTS": str(outputs)}
        # More of the session's environment for its clients (a session
        # bus's address).
        self.client_env = {}

    def env(self):
        """The environment of a client of this sway (as root or as USER)."""
        return {"PATH": "/usr/bin:/bin", "HOME": str(self.home), "XDG_RUNTIME_DIR": str(self.runtime),
                "WAYLAND_DISPLAY": "wayland-1", "SWAYSOCK": str(self.socket), "LANG": "C.UTF-8",
                **self.client_env}

    def user_command(self, env, argv):
        """argv as USER in exactly the environment env (a dict)."""
        return ["runuser", "-u", USER, "--", "env", "-i", *(f"{k}={v}" for k, v in env.items()), *argv]

    def start(self):
        started = time.monotonic()
        argv = self.user_command({"PATH": "/usr/bin:/bin", "HOME": str(self.home),
                                  "XDG_RUNTIME_DIR": str(self.runtime), "WLR_BACKENDS": "headless",
                                  "WLR_LIBINPUT_NO_DEVICES": "1", "WLR_RENDERER": "pixman",
                                  **self.extra_env}, ["setsid", "sway", "-c", str(self.config)])
        log = open(self.log_path, "ab")
        self.proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                     preexec_fn=_die_with_parent)
        log.close()

        def up():
            expect(self.proc.poll() is None, f"sway ended at once (see {self.log_path})")
            sockets = list(self.runtime.glob(f"sway-ipc.{self.user.pw_uid}.*.sock"))
            if not sockets or not (self.runtime / "wayland-1").exists():
                return None
            return sockets[0]
        self.socket = wait_until(up, 20, "sway did not open its sockets")
        self.pid = int(self.socket.name.split(".")[2])
        wait_until(lambda: self.swaymsg("-t", "get_version", check=False).returncode == 0, 10,
                   "sway does not answer on its IPC socket")
        self.scenario.log(f"sway {self.name} up as pid {self.pid} in {time.monotonic() - started:.2f} s")
        return self

    def swaymsg(self, *args, check=True):
        r = subprocess.run(["swaymsg", "-s", str(self.socket), *args], capture_output=True, timeout=10)
        if check:
            expect(r.returncode == 0, f"swaymsg {' '.join(args)} failed: {r.stdout.decode()} {r.stderr.decode()}")
        return r

    def outputs(self):
        """sway's own view: [{name, rect, current_mode...}]"""
        return json.loads(self.swaymsg("-t", "get_outputs", "-r").stdout)

    def as_user(self, argv, **kw):
        """argv as USER with this sway's environment, to its end."""
        return subprocess.run(self.user_command(self.env(), argv),
                              capture_output=True, timeout=kw.pop("timeout", 20), **kw)

    def spawn_as_user(self, argv, log_name):
        log = open(self.scenario.out / log_name, "ab")
        proc = subprocess.Popen(self.user_command(self.env(), argv),
                                stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                preexec_fn=_die_with_parent)
        log.close()
        self.scenario.procs.append(proc)
        return proc

    def wtype(self, *args):
        r = self.as_user(["wtype", *args])
        expect(r.returncode == 0, f"wtype {' '.join(args)} failed: {r.stderr.decode()}")

    def readable_file(self, source, name):
        """A copy of source that USER can read, in the session's folder."""
        target = self.folder / name
        shutil.copyfile(source, target)
        target.chmod(0o644)
        return target

    def start_keyboard(self, injector_path, layout="us"):
        proc = subprocess.Popen([str(injector_path), layout], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                env=self.env(), preexec_fn=_die_with_parent)
        self.scenario.procs.append(proc)
        return Keyboard(proc)

    def start_client(self, client_path, tag="client", extra_env=None):
        log_path = self.scenario.out / f"{tag}.log"
        stderr = open(log_path, "ab")
        proc = subprocess.Popen([str(client_path)], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=stderr, env={**self.env(), **(extra_env or {})},
                                preexec_fn=_die_with_parent)
        stderr.close()
        self.scenario.procs.append(proc)
        return Client(proc, log_path)

    def stop(self):
        """Ends sway by its id, then runuser, which waited for it."""
        if self.pid:
            try:
                os.kill(self.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        if self.proc:
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                if self.pid:
                    try:
                        os.kill(self.pid, signal.SIGKILL)
                    except ProcessLookupError:
                        pass
                self.proc.wait(timeout=10)
        # Its id may be another process's from now on.
        self.pid = None


class Scenario:
    def __init__(self, name):
        self.name = name
        root = Path(os.environ.get("SNAPWICK_E2E_OUTPUT", Path(tempfile.gettempdir()) / "snapwick-e2e"))
        self.out = root / name
        shutil.rmtree(self.out, ignore_errors=True)
        self.out.mkdir(parents=True)
        self.tmp = Path(tempfile.mkdtemp(prefix="swk-"))
        self.tmp.chmod(0o755)
        self.sways = []
        self.procs = []
        self._started = time.monotonic()

    def log(self, text):
        line = f"[{time.monotonic() - self._started:7.2f}] {text}"
        print(line, flush=True)

    def sway(self, name, session_class=None, **kw):
        session = (session_class or SwaySession)(self, name, **kw)
        self.sways.append(session)
        return session.start()

    def teardown(self):
        for proc in self.procs:
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        for session in self.sways:
            session.stop()
        end_orphans()
        shutil.rmtree(self.tmp, ignore_errors=True)


def run(name, body, deadline=90):
    """Runs body(Scenario) under a deadline: PASS and exit status 0, or
    FAIL and 1; a broken harness ends with its trace and 1 as well."""
    become_subreaper()

    def on_alarm(signum, frame):
        raise ScenarioFailed(f"the scenario ran past its deadline of {deadline} s")
    signal.signal(signal.SIGALRM, on_alarm)
    signal.signal(signal.SIGTERM, lambda s, f: on_alarm(s, f))
    signal.alarm(deadline)
    scenario = Scenario(name)
    status = 1
    try:
        expect(os.geteuid() == 0, "the scenario makes a user and runs sway as it: run it as root")
        body(scenario)
        print("PASS", flush=True)
        status = 0
    except ScenarioFailed as e:
        print(f"FAIL: {e}", flush=True)
    finally:
        signal.alarm(0)
        scenario.teardown()
        scenario.log(f"ended after {time.monotonic() - scenario._started:.1f} s; logs in {scenario.out}")
    sys.exit(status)


__all__ = ["Client", "Keyboard", "Scenario", "ScenarioFailed", "SwaySession", "USER", "ensure_user", "expect",
           "run", "wait_until"]
