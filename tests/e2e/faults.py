"""Faults made on purpose around the program, and the folder checks that
show what a fault changed: files held open by another Windows program,
read-only folders that root itself must honour, small disks that run full,
and watches on the files that the program opens or creates.

The scenarios run as root, and root reads and writes any file whatever its
mode. A program started through without_root_override() meets the Unix
permissions as an ordinary user's program would: the native program itself,
or under Wine the prefix's server, which does the file system calls for
every Wine process of the prefix (honour_file_permissions).
"""

import ctypes
import hashlib
import os
import re
import struct
import subprocess
import tempfile
import time
from pathlib import Path

from wine import windows_path
from xdisplay import ScenarioFailed, expect, wait_until

_NO_ROOT_OVERRIDE = "-dac_override,-dac_read_search"
IN_OPEN = 0x20     # inotify events
IN_CREATE = 0x100
_PAGE = 4096


def tree_digests(folder, skip=()):
    """{relative path: sha256 of the file, or "<dir>"} for everything below
    folder (the folder itself excluded), except the entries of folder named
    in skip (whose files are then not even opened); {} if folder does not
    exist."""
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


def without_root_override(argv):
    """argv run without root's CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH."""
    return ["setpriv", "--bounding-set", _NO_ROOT_OVERRIDE, "--inh-caps", _NO_ROOT_OVERRIDE, *argv]


def honour_file_permissions(s):
    """Starts the prefix's Wine server without root's CAP_DAC_OVERRIDE and
    CAP_DAC_READ_SEARCH, so that a chmod on the Linux side stops the program
    as it would stop an ordinary user. Call it while no Wine process of the
    prefix runs (also again after end_wine()); the next Wine program joins
    this server."""
    expect(not s.prefix_processes("wineserver"), "a Wine server of the prefix runs already")
    subprocess.run(without_root_override(["wineserver", "-p30"]), env=s.env, stdin=subprocess.DEVNULL,
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
