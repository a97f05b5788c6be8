"""A chroot of tools/chroots.sh for one scenario: the cached chroot (its
layers read-only) under a throwaway overlay, with proc, sysfs, a bind of
/dev, a new devpts and a tmpfs /dev/shm, and folders of this machine bound
at the same paths inside, so that sockets, HOME and XDG_RUNTIME_DIR are one
path on both sides and a program here uses a session inside by path:

    user = pwd.getpwnam(USER)
    with Chroot("forky", shared=[folder], users=[user]) as forky:
        subprocess.run(forky.user_argv(user, ["wayland-info"], cwd=home), env=...)
        forky.run(["ldd", "-r", program])             # as root, checked
    # everything inside has ended; nothing is mounted; the overlay is gone

Writes inside (the user's passwd line, a machine id) go to the overlay,
never into the cache. While it is mounted it holds a shared lock on each
layer's .ready stamp, so that tools/chroots.sh does not remove a layer in
use. Teardown ends the processes whose root is the chroot, by process id,
then unmounts, and fails if anything stays mounted; what a scenario killed
outright (ctest's timeout) left mounted, the next one takes down.
"""

import fcntl
import os
import shutil
import signal
import subprocess
import tempfile
import time
import uuid
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
CHROOTS_SH = REPO / "tools" / "chroots.sh"


class ChrootFailed(Exception):
    pass


def layers(name):
    """The lower dirs of chroot `name`, top first, each made and ready."""
    result = subprocess.run(["bash", str(CHROOTS_SH), "layers", name], capture_output=True,
                            text=True)
    if result.returncode != 0:
        raise ChrootFailed(f"tools/chroots.sh layers {name}: {result.stderr.strip()}")
    found = result.stdout.strip().split(":")
    missing = [d for d in found if not Path(d + ".ready").is_file()]
    if missing:
        raise ChrootFailed(f"chroot {name} is not made ({missing[0]}.ready is missing): "
                           f"run bash tools/chroots.sh make {name}")
    return found


def mounts_below(folder):
    """The mount points at or below folder, deepest first."""
    prefix = str(folder).rstrip("/") + "/"
    points = []
    for line in Path("/proc/mounts").read_text().splitlines():
        point = line.split()[1].replace("\\040", " ")
        if (point + "/").startswith(prefix):
            points.append(point)
    return sorted(points, key=len, reverse=True)


def _sweep_orphans():
    """Takes down the chroots of scenarios that are gone: ends what runs
    inside, unmounts, removes the folder."""
    for folder in Path(tempfile.gettempdir()).glob("snapwick-chroot.*.*"):
        pid = folder.name.split(".")[1]
        if not pid.isdigit() or Path(f"/proc/{pid}").exists():
            continue
        left = Chroot(folder.name.split(".")[2])
        left.folder, left.root = folder, folder / "root"
        try:
            left.close()
        except ChrootFailed:
            pass


def _mount(*args):
    result = subprocess.run(["mount", *args], capture_output=True, text=True)
    if result.returncode != 0:
        raise ChrootFailed(f"mount {' '.join(args)}: {result.stderr.strip()}")


class Chroot:
    def __init__(self, name, shared=(), users=()):
        self.name = name
        self.shared = [Path(p) for p in shared]
        self.users = list(users)
        self.folder = None
        self.root = None
        self._locks = []
        self.timings = {}

    # -- inside ------------------------------------------------------------

    def path(self, inside):
        """Where a path of the chroot is seen from here."""
        return self.root / str(inside).lstrip("/")

    def inside_argv(self, user, argv, cwd="/"):
        """argv as user (a pwd entry, or None for root), started by a
        process already inside the chroot; every step execs, so the process
        id is the program's."""
        become = [] if user is None else [
            "setpriv", f"--reuid={user.pw_uid}", f"--regid={user.pw_gid}", "--clear-groups", "--"]
        return ["/usr/bin/env", "-C", str(cwd), *become, *argv]

    def user_argv(self, user, argv, cwd="/"):
        """argv run inside the chroot as user, from here."""
        return ["/usr/sbin/chroot", str(self.root), *self.inside_argv(user, argv, cwd)]

    def run(self, argv, user=None, cwd="/", env=None, timeout=60, check=True):
        result = subprocess.run(self.user_argv(user, argv, cwd), env=env or {"PATH": "/usr/bin:/bin"},
                                capture_output=True, text=True, timeout=timeout)
        if check and result.returncode != 0:
            raise ChrootFailed(f"{argv} in {self.name} exited with {result.returncode}: "
                               f"{result.stderr.strip()}")
        return result

    def pids(self):
        """The processes whose root is this chroot (they show in /proc
        here too)."""
        found = []
        for entry in Path("/proc").iterdir():
            if entry.name.isdigit():
                try:
                    if os.readlink(entry / "root") == str(self.root):
                        found.append(int(entry.name))
                except OSError:
                    pass
        return found

    # -- set-up and teardown ---------------------------------------------

    def __enter__(self):
        started = time.monotonic()
        lower = layers(self.name)
        for layer in lower:
            lock = open(layer + ".ready")
            fcntl.flock(lock, fcntl.LOCK_SH)
            self._locks.append(lock)
        _sweep_orphans()
        self.folder = Path(tempfile.mkdtemp(prefix=f"snapwick-chroot.{os.getpid()}.{self.name}."))
        self.root = self.folder / "root"
        try:
            for part in ("upper", "work", "root"):
                (self.folder / part).mkdir()
            _mount("-t", "overlay", "overlay", "-o",
                   f"lowerdir={':'.join(lower)},upperdir={self.folder / 'upper'},"
                   f"workdir={self.folder / 'work'}", str(self.root))
            self._private(self.root)
            _mount("-t", "proc", "proc", str(self.path("/proc")))
            _mount("-t", "sysfs", "sysfs", str(self.path("/sys")))
            _mount("--bind", "/dev", str(self.path("/dev")))
            self._private(self.path("/dev"))
            _mount("-t", "devpts", "-o", "newinstance,ptmxmode=0666,mode=620", "devpts",
                   str(self.path("/dev/pts")))
            _mount("-t", "tmpfs", "-o", "mode=1777", "tmpfs", str(self.path("/dev/shm")))
            for folder in self.shared:
                self.path(folder).mkdir(parents=True, exist_ok=True)
                _mount("--bind", str(folder), str(self.path(folder)))
                self._private(self.path(folder))
            self._add_users()
            # libdbus will not run without a machine id, and minbase has none.
            machine_id = self.path("/etc/machine-id")
            if not machine_id.exists() or not machine_id.read_text().strip():
                machine_id.write_text(uuid.uuid4().hex + "\n")
        except BaseException:
            self.close()
            raise
        self.timings["mount"] = time.monotonic() - started
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    @staticmethod
    def _private(point):
        # A host whose mounts are shared would otherwise see what is
        # mounted below this point.
        _mount("--make-private", str(point))

    def _add_users(self):
        passwd, group = self.path("/etc/passwd"), self.path("/etc/group")
        for user in self.users:
            if f"\n{user.pw_name}:" not in "\n" + passwd.read_text():
                with open(passwd, "a") as f:
                    f.write(f"{user.pw_name}:x:{user.pw_uid}:{user.pw_gid}::{user.pw_dir}:"
                            "/usr/sbin/nologin\n")
            if f":{user.pw_gid}:" not in group.read_text():
                with open(group, "a") as f:
                    f.write(f"{user.pw_name}:x:{user.pw_gid}:\n")

    def end_processes(self):
        """Ends what still runs inside, by process id: SIGTERM, then
        SIGKILL for what is left after 5 s."""
        pids = self.pids()
        for number, grace in ((signal.SIGTERM, 5), (signal.SIGKILL, 5)):
            for pid in pids:
                try:
                    os.kill(pid, number)
                except ProcessLookupError:
                    pass
            deadline = time.monotonic() + grace
            while pids and time.monotonic() < deadline:
                time.sleep(0.05)
                pids = [p for p in pids if _running(p)]
            if not pids:
                return
        raise ChrootFailed(f"processes in {self.name} survived SIGKILL: {pids}")

    def close(self):
        if self.folder is None:
            return
        try:
            if self.root is not None and mounts_below(self.root):
                self.end_processes()
            for point in mounts_below(self.folder):
                _unmount(point)
            left = mounts_below(self.folder)
            if left:
                raise ChrootFailed(f"still mounted after teardown: {left}")
            # Only now: nothing of this machine is reachable below it.
            shutil.rmtree(self.folder, ignore_errors=True)
            self.folder = None
        finally:
            for lock in self._locks:
                lock.close()
            self._locks = []


def _unmount(point):
    """Unmounts point; a process that has just ended may hold it busy for
    a moment."""
    deadline = time.monotonic() + 5
    while True:
        result = subprocess.run(["umount", point], capture_output=True, text=True)
        if result.returncode == 0:
            return
        if "busy" not in result.stderr or time.monotonic() > deadline:
            raise ChrootFailed(f"umount {point}: {result.stderr.strip()}")
        time.sleep(0.1)


def _running(pid):
    try:
        state = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0]
    except (OSError, IndexError):
        return False
    return state != "Z"
