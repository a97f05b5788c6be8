"""Shots and keys on a headless sway, side by side in one run; prints
figures, not a test. Run by bench/run-wayland.sh, which builds the parts:

    wayland_bench.py BUILD_DIR [--rounds N] [--sizes "WxH ..."] [--forky]

At each size a fresh sway (as tests/e2e_wayland starts it; with --forky,
forky's sway 1.12 in tools/chroots.sh's cached chroot, as
tests/e2e_desktops starts it) shows the benchmark's desktop picture, and,
round-robin over the rounds so that a change of load falls on all of them:
- the bare probe (bench/wayland_probe.cpp): screencopy, TurboJPEG q80 4:2:0,
  one write, timed from the byte that asks for a shot to the moment its
  file is whole (inotify, as Snapwick's shots are), and inside the probe;
- the Wayland layer's ScreencopyGrabber::Grab, through its test client,
  through each copy protocol the compositor offers (ext-image-copy-capture
  and wlr-screencopy on sway 1.11 and later: SNAPWICK_COPY_PROTOCOL makes
  the layer prefer the latter);
- `grim -t ppm FILE` and `grim -t ppm - | cjpeg -quality 80 >FILE`, each
  started as a whole process, from the spawn to its end (this machine's
  grim and cjpeg, also against forky's sway).
- Snapwick itself (a fresh copy of dist/snapwick-linux run as the
  session's user, sounds off): F8 pressed on a virtual keyboard with a real
  keymap (bench/wayland_key_injector.cpp) and released at once, from the
  moment the key event left for sway to the moment the shot's name holds
  the whole JPEG in pic/ (inotify; the read's moment). With two copy
  protocols, one copy of the program per protocol takes turns, a block of
  rounds each (one copy runs at a time: the key is bound by one).
Then the program's key held for a while (shots a second) through each
protocol; the hotkey alone: F8 pressed and released, from the moment the
key event left for sway to the moment the layer's SwayHotkey reported the
edge; and, at the first size, the compositor's key command (`snapwick
--hotkey-press`, as a binding runs it): from its start to the shot's file,
its own time while it is started every 40 ms as labwc repeats a held key,
beside /bin/true started the same way; and the program's CPU time over a
minute at rest.
"""

import argparse
import ctypes
import json
import os
import select
import statistics
import struct
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e_wayland"))

from PIL import Image  # noqa: E402

import program  # noqa: E402
import sway_session  # noqa: E402
from sway_session import expect, wait_until  # noqa: E402

KEY_F8 = 66
VK_F8 = 0x77
IN_CLOSE_WRITE, IN_MOVED_TO, IN_CREATE = 0x8, 0x80, 0x100
WLR_SCREENCOPY = "wlr-screencopy-unstable-v1"
# Quality 80, sounds off, F8: the bench hears no shutter.
SETTINGS = program.settings_record(80, 0, VK_F8, "F8")


class NewFiles:
    """Files that come whole under their names in a folder (inotify): a
    file linked or renamed there once whole (IN_CREATE, IN_MOVED_TO), or
    written in place and closed (IN_CLOSE_WRITE), each counted once its
    name holds a JPEG's first and last bytes, stamped with the moment it
    was read (CLOCK_MONOTONIC, the injector's clock)."""

    def __init__(self, folder):
        self.folder = Path(folder)
        libc = ctypes.CDLL("libc.so.6", use_errno=True)
        self.fd = libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        expect(self.fd >= 0, "inotify_init1 failed")
        wd = libc.inotify_add_watch(self.fd, str(self.folder).encode(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE)
        expect(wd >= 0, f"cannot watch {folder}")
        self.seen = set()

    def _whole(self, name):
        try:
            with open(self.folder / name, "rb") as f:
                head = f.read(2)
                f.seek(-2, os.SEEK_END)
                return head == b"\xff\xd8" and f.read(2) == b"\xff\xd9"
        except OSError:
            return False

    def read(self):
        """[(name, ns)] of the files that came whole since the last read."""
        came = []
        while True:
            try:
                data = os.read(self.fd, 65536)
            except BlockingIOError:
                return came
            now = time.monotonic_ns()
            offset = 0
            while offset < len(data):
                _, _, _, length = struct.unpack_from("iIII", data, offset)
                name = data[offset + 16:offset + 16 + length].rstrip(b"\0").decode()
                offset += 16 + length
                if name and name not in self.seen and self._whole(name):
                    self.seen.add(name)
                    came.append((name, now))

    def wait(self, timeout=5):
        """The first file that comes whole within timeout, or None."""
        deadline = time.monotonic() + timeout
        while True:
            came = self.read()
            if came:
                return came[0]
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            select.select([self.fd], [], [], left)

    def close(self):
        os.close(self.fd)


def cpu_ticks(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def wakeups(pid):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("voluntary_ctxt_switches:"):
            return int(line.split()[1])
    return 0


def figures(values):
    values = sorted(values)
    return f"{values[0]:7.2f} / {statistics.median(values):7.2f} / {values[-1]:7.2f}"


def whole_process(argv, env, shell=False):
    start = time.monotonic()
    r = subprocess.run(argv, env=env, shell=shell, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = (time.monotonic() - start) * 1000
    expect(r.returncode == 0, f"{argv} failed: {r.stderr.decode(errors='replace')}")
    return elapsed


class ProgramRun:
    """One copy of Snapwick at a time on the bench's sway, through the copy
    protocol it is started with; taps and holds F8 on a virtual keyboard."""

    def __init__(self, s, sway, build, width):
        self.s, self.sway, self.build, self.width = s, sway, build, width
        self.app = self.files = self.keys = self.protocol = None
        self.folders = {}
        self.largest = 0

    def start(self, protocol):
        if self.protocol == protocol:
            return
        self.stop()
        sway, tag = self.sway, f"snapwick-{self.width}-{short(protocol)}"
        if protocol not in self.folders:
            self.folders[protocol] = program.install(sway, name=tag, settings=SETTINGS)
        self.app = program.start(self.s, sway, self.folders[protocol], tag=tag,
                                 extra_env={"SNAPWICK_COPY_PROTOCOL": protocol})
        wait_until(lambda: self.app.pic.is_dir(), 10, "the program made no pic/")
        self.files = NewFiles(self.app.pic)
        self.keys = self.sway.start_keyboard(self.build / "bench" / "snapwick_bench_wayland_keys", "us")
        self.protocol = protocol

    def tap(self):
        """A tap: one shot, whatever the shot's length; ms from the key
        sent to the file whole."""
        sent = self.keys.press(KEY_F8)
        self.keys.release(KEY_F8)
        came = self.files.wait()
        expect(came, "F8 made no shot within 5 s")
        time.sleep(0.1)
        expect(not self.files.read(), "a tap of F8 made more than one shot")
        return (came[1] - sent) / 1e6

    def hold(self, seconds):
        """Every shot a held key made (one at the press, one a tick after),
        counted once the last has landed."""
        self.files.read()
        self.keys.press(KEY_F8)
        time.sleep(seconds)
        self.keys.release(KEY_F8)
        time.sleep(0.5)
        during = self.files.read()
        return f"{len(during):4d} shots, {len(during) / seconds:6.2f} a second"

    def rest(self, seconds):
        time.sleep(1)
        pid = self.app.proc.pid
        ticks, woke = cpu_ticks(pid), wakeups(pid)
        time.sleep(seconds)
        ticks, woke = cpu_ticks(pid) - ticks, wakeups(pid) - woke
        hz = os.sysconf("SC_CLK_TCK")
        return (f"{ticks} clock ticks, {100 * ticks / hz / seconds:.3f} % of a core, "
                f"{woke} wake-ups in {seconds} s")

    def stop(self):
        if not self.app:
            return
        self.keys.close()
        self.files.close()
        self.app.signal(15)
        expect(self.app.wait_exit(10) == 0, "the program did not end with status 0")
        self.largest = max([self.largest] + [p.stat().st_size for p in self.app.pic.iterdir()])
        self.app = self.protocol = None


def bench_command(app, sway, files, rounds, repeats=100, every=0.04):
    """The compositor's key command: rows of figures."""
    env = {**sway.env(), "XDG_SESSION_TYPE": "wayland"}
    user = {"user": sway.user.pw_uid, "group": sway.user.pw_gid, "extra_groups": []}
    argv = [str(app.folder / "snapwick"), "--hotkey-press"]

    def start(what):
        """(the moment it was started, its time to its end in ms, its CPU
        time in ms)"""
        started = time.monotonic_ns()
        proc = subprocess.Popen(what, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                **user)
        _, status, usage = os.wait4(proc.pid, 0)
        ended = time.monotonic_ns()
        proc.returncode = os.waitstatus_to_exitcode(status)
        expect(proc.returncode == 0, f"{what} ended with status {proc.returncode}")
        return started, (ended - started) / 1e6, (usage.ru_utime + usage.ru_stime) * 1000

    files.read()
    to_file = []
    for _ in range(min(rounds, 20)):
        # Further apart than the first repeat may come: each one a press.
        time.sleep(1.1)
        started, _, _ = start(argv)
        came = files.wait()
        expect(came, "the command made no shot within 5 s")
        to_file.append((came[1] - started) / 1e6)
    time.sleep(0.3)
    files.read()

    alone, cpu, true = [], [], []
    for what, into in ((argv, alone), (["/bin/true"], true)):
        next_at = time.monotonic()
        for _ in range(repeats):
            _, took, used = start(what)
            into.append(took)
            if into is alone:
                cpu.append(used)
            next_at += every
            time.sleep(max(0.0, next_at - time.monotonic()))
        time.sleep(0.5)
    burst = files.read()
    p95 = lambda values: sorted(values)[int(len(values) * 0.95)]  # noqa: E731
    return [
        ("command started -> shot's file whole", figures(to_file)),
        (f"command's start to its end, {repeats} every {every * 1000:.0f} ms", figures(alone)),
        ("  95th percentile", f"{p95(alone):7.2f}"),
        ("  its CPU time (user + system)", figures(cpu)),
        ("  /bin/true started the same way", figures(true)),
        (f"  shots of those {repeats} commands", f"{len(burst):4d}"),
    ]


def bench_size(s, build, size, rounds, results, held_seconds, rest_seconds, session_class):
    width, height = size
    ppm = s.tmp / f"desktop-{width}x{height}.ppm"
    with open(ppm, "wb") as out:
        subprocess.run([str(build / "bench" / "snapwick_bench_desktop_ppm"), str(width), str(height)],
                       stdout=out, check=True)
    png = s.tmp / f"desktop-{width}x{height}.png"
    Image.open(ppm).save(png)
    sway = s.sway(f"b{width}", session_class=session_class, mode=f"{width}x{height}")
    version = json.loads(sway.swaymsg("-t", "get_version", "-r").stdout)["human_readable"]
    sway.swaymsg(f"output HEADLESS-1 bg {sway.readable_file(png, 'desktop.png')} stretch")
    env = sway.env()
    client_path = build / "tests" / "e2e_wayland" / "snapwick_wayland_client"
    client = sway.start_client(client_path, tag=f"client-{width}")
    # The layer through each protocol the compositor offers, the one it
    # prefers first.
    clients = {client.protocol: client}
    wlr = sway.start_client(client_path, tag=f"client-{width}-wlr",
                            extra_env={"SNAPWICK_COPY_PROTOCOL": WLR_SCREENCOPY})
    clients.setdefault(wlr.protocol, wlr)
    protocols = list(clients)
    shot = s.tmp / "check.ppm"
    picture = Image.open(ppm)
    wait_until(lambda: client.grab(shot) and Image.open(shot).getpixel((width // 2, height // 2))
               == picture.getpixel((width // 2, height // 2)), 15, "the desktop picture never showed")

    out_dir = s.tmp / f"out-{width}"
    out_dir.mkdir()
    probe = subprocess.Popen([str(build / "bench" / "snapwick_bench_wayland_probe"), str(out_dir), "80"],
                             stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=env)
    s.procs.append(probe)
    ready = probe.stdout.readline().decode().split()
    expect(ready[:1] == ["ready"] and ready[1:] == [str(width), str(height)], f"the probe said {ready}")

    app = ProgramRun(s, sway, build, width)
    probe_files = NewFiles(out_dir)
    probe_total, probe_inside, probe_copy, grim_ppm, grim_cjpeg = [], [], [], [], []
    layer = {protocol: [] for protocol in protocols}
    snapwick = {protocol: [] for protocol in protocols}
    # Each protocol's copy of the program for a block of rounds in turn (at
    # most five, at least two blocks each), tapped as often in each round as
    # there are protocols, so that each gets about `rounds` taps.
    block = max(1, min(5, rounds // (2 * len(protocols))))
    for n in range(rounds):
        app.start(protocols[n // block % len(protocols)])
        turns = ["probe", "layer", "grim", "cjpeg", "snapwick"]
        turns = turns[n % 5:] + turns[:n % 5]
        for turn in turns:
            if turn == "snapwick":
                snapwick[app.protocol] += [app.tap() for _ in protocols]
            elif turn == "probe":
                asked = time.monotonic_ns()
                probe.stdin.write(b"x")
                probe.stdin.flush()
                came = probe_files.wait()
                words = probe.stdout.readline().decode().split()
                expect(words[:1] == ["shot"] and came, f"the probe said {words}")
                probe_total.append((came[1] - asked) / 1e6)
                probe_copy.append(float(words[2]))
                probe_inside.append(float(words[3]))
            elif turn == "layer":
                # Each grab a tick after the last, in turns: a grab just
                # after another waits for the output's next frame.
                for protocol, grabber in list(clients.items())[::1 if n % 2 else -1]:
                    time.sleep(0.05)
                    got = grabber.grab("")
                    expect(got and got[:2] == (width, height), f"the layer's grab gave {got}")
                    layer[protocol].append(got[4])
            elif turn == "grim":
                grim_ppm.append(whole_process(["grim", "-t", "ppm", str(s.tmp / "grim.ppm")], env))
            else:
                grim_cjpeg.append(whole_process(
                    f"grim -t ppm - | cjpeg -quality 80 >{s.tmp / 'grim.jpg'}", env, shell=True))
    probe.stdin.close()
    probe.wait(timeout=10)
    probe_files.close()
    jpeg_bytes = (out_dir / "probe-1.jpg").stat().st_size

    held = {}
    for protocol in reversed(protocols):
        app.start(protocol)
        held[protocol] = app.hold(held_seconds)
    # The protocol the program takes by itself is running now. The
    # compositor's key command at the first size only: alone, from its
    # start to the shot's file; then as labwc runs it at every repeat of a
    # held key, every 40 ms, its own time from the start to its end,
    # beside a bare /bin/true started the same way.
    command_rows = bench_command(app.app, sway, app.files, rounds) if rest_seconds else []
    rest = app.rest(rest_seconds) if rest_seconds else None
    app.stop()

    # The hotkey: the key's event on its way to sway, to the edge reported.
    expect(client.ask(f"watch {VK_F8}") == "watch 1", "sway did not bind F8")
    keys = sway.start_keyboard(build / "bench" / "snapwick_bench_wayland_keys", "us")
    down, up = [], []
    for _ in range(rounds):
        for press, into in ((True, down), (False, up)):
            sent = keys.press(KEY_F8) if press else keys.release(KEY_F8)
            wait_until(lambda: client.edges, 5, "no edge reported for F8")
            edges = client.take_edges()
            expect(len(edges) == 1 and edges[0][0] == press, f"edges {edges} for one {press} of F8")
            into.append((edges[0][1] - sent) / 1e6)
            time.sleep(0.03)
    keys.close()
    for c in (client, wlr):
        c.quit()

    median = statistics.median
    first = protocols[0]
    rows = []
    for protocol in protocols:
        rows.append((f"Snapwick: key sent -> shot's file whole, {short(protocol)}", figures(snapwick[protocol])))
    rows += [
        ("bare probe (wlr): byte sent -> its file whole", figures(probe_total)),
        ("  inside the probe: copy + TurboJPEG q80 + write", figures(probe_inside)),
        ("  of which the copy", figures(probe_copy)),
    ]
    for protocol in protocols:
        rows.append((f"ScreencopyGrabber::Grab, {short(protocol)}", figures(layer[protocol])))
    rows += [
        ("grim -t ppm FILE, whole process", figures(grim_ppm)),
        ("grim -t ppm - | cjpeg -quality 80, whole", figures(grim_cjpeg)),
        ("grim|cjpeg / probe (medians)", f"{median(grim_cjpeg) / median(probe_total):7.2f} x"),
        (f"grim|cjpeg / Snapwick {short(first)} (medians)",
         f"{median(grim_cjpeg) / median(snapwick[first]):7.2f} x"),
        (f"Snapwick {short(first)} / probe (medians)", f"{median(snapwick[first]) / median(probe_total):7.2f} x"),
        ("key down sent -> SwayHotkey edge", figures(down)),
        ("key up sent -> SwayHotkey edge", figures(up)),
    ]
    for protocol in protocols:
        rows.append((f"Snapwick, F8 held {held_seconds:g} s, {short(protocol)}", held[protocol]))
    rows.append(("probe's JPEG / Snapwick's largest (bytes)", f"{jpeg_bytes} / {app.largest}"))
    rows += command_rows
    if rest:
        rows.append((f"Snapwick at rest, {short(first)}", rest))
    results.append((f"{width}x{height}, sway {version}", rows))
    sway.stop()


def short(protocol):
    """ext or wlr"""
    return protocol.split("-")[0]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", type=Path)
    parser.add_argument("--rounds", type=int, default=30)
    parser.add_argument("--sizes", default="1920x1080 3840x2160")
    parser.add_argument("--held-seconds", type=float, default=3)
    parser.add_argument("--rest-seconds", type=int, default=60)
    parser.add_argument("--forky", action="store_true",
                        help="forky's sway 1.12 from the cached chroot (bash tools/chroots.sh make forky)")
    args = parser.parse_args()
    session_class = None
    if args.forky:
        sys.path.insert(0, str(REPO / "tests" / "e2e_desktops"))
        from forky_sway import ForkySway
        session_class = ForkySway
    sizes = [tuple(int(v) for v in size.split("x")) for size in args.sizes.split()]
    results = []

    def body(s):
        for n, size in enumerate(sizes):
            bench_size(s, args.build.resolve(), size, args.rounds, results, args.held_seconds,
                       args.rest_seconds if n == 0 else 0, session_class)
        with open("/proc/loadavg") as f:
            load = f.read().split()[:3]
        print(f"\nmin / median / max in ms over {args.rounds} rounds each, load {' '.join(load)}")
        for size, rows in results:
            print(f"\n{size}")
            for label, value in rows:
                print(f"  {label:52} {value}")

    sway_session.run("wayland_bench", body, deadline=1800)


main()
