"""What the program costs at rest on GNOME 43's ScreenCast path, with the
screen still and with the screen changing, for two builds side by side in
one run; and on forky's GNOME 50, for one build, the same with what its
screen cast takes; prints figures, not a test:

    portal_rest_bench.py BEFORE_DIST AFTER_DIST [--seconds 60]
    portal_rest_bench.py --gnome50 [DIST] [--seconds 60] [--runs 5]

Each DIST is a dist/snapwick-linux folder (of the build before a change
and after it). Run as root, with the portal scenarios' packages
installed and the linux-app preset built (its probe and picture window
are taken from build/linux-app, or from SNAPWICK_PORTAL_PROBE and
SNAPWICK_PICTURE_WINDOW).

GNOME 43 gives the program no hotkey, and without one it asks for no
screen: a stand-in for sway's IPC (SWAYSOCK), which takes any key binding,
puts the program's F8 in force, so its screen cast runs as on a desktop
where its key works. GNOME's chooser is accepted once through the portal
probe (as tests/e2e_portals/gnome_screen_cast.py does), and the restore
token it gives goes beside each program's set.ini, which then starts its
stream without a dialog. At rest (no key, no shot), each build in turn is
measured over SECONDS: the program's CPU time (all its threads, from
/proc/PID/stat) and gnome-shell's beside it, first with the test picture
still, then with a square crossing it 30 times a second; and the maximum
frame rate its stream settled on with GNOME (pw-dump).

--gnome50 runs in the forky chroot of tools/chroots.sh (made first) the
way tests/e2e_desktops/program_on_gnome.py does: the program (DIST, by
default dist/snapwick-linux) gets its key from GNOME's own "Add Keyboard
Shortcuts" dialog and its screen from the chooser, both clicked through
Mutter's remote desktop, then rests with its stream open, the screen
still and then changing, SECONDS each. The portal probe, through the
program's own screen source, then takes its own token from the chooser
and is started RUNS times with it: Start to the stream's first frame, and
a grab to the whole q80 JPEG file (5 shots a run).
"""

import argparse
import os
import shutil
import socket
import struct
import subprocess
import sys
import threading
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
PORTALS = REPO / "tests" / "e2e_portals"
sys.path.insert(0, str(PORTALS))
BUILT = REPO / "build" / "linux-app" / "tests" / "e2e_portals"
os.environ.setdefault("SNAPWICK_PORTAL_PROBE", str(BUILT / "snapwick_portal_probe"))
os.environ.setdefault("SNAPWICK_PICTURE_WINDOW", str(BUILT / "snapwick_picture_window"))

import gnome_screen_cast  # noqa: E402
import program  # noqa: E402
from program import TOKEN_FILE, settings_record  # noqa: E402
from scenario import Talker, built, pipewire_connections, stream_formats  # noqa: E402
from stacks import GnomeStack, wait_until  # noqa: E402

DESKTOPS = REPO / "tests" / "e2e_desktops"

VK_F8 = 0x77
TICKS = os.sysconf("SC_CLK_TCK")
MAGIC = b"i3-ipc"
# Sway's answers to what the program asks: a command run, a subscription
# made, and a configuration that binds no key.
REPLIES = {0: b'[{"success": true}]', 2: b'{"success": true}', 9: b'{"config": ""}'}


class SwayStandIn:
    """Enough of sway's IPC for the program to bind its key, on a socket
    the desktop's user may connect to."""

    def __init__(self, path, user):
        self.path = path
        self.server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.server.bind(str(path))
        os.chown(path, user.pw_uid, user.pw_gid)
        self.server.listen()
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                connection, _ = self.server.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(connection,), daemon=True).start()

    @staticmethod
    def _serve(connection):
        data = b""
        with connection:
            while True:
                try:
                    chunk = connection.recv(65536)
                except OSError:
                    return
                if not chunk:
                    return
                data += chunk
                while len(data) >= 14:
                    length, kind = struct.unpack("=II", data[6:14])
                    if len(data) < 14 + length:
                        break
                    data = data[14 + length:]
                    reply = REPLIES.get(kind, b"{}")
                    connection.sendall(MAGIC + struct.pack("=II", len(reply), kind) + reply)

    def close(self):
        self.server.close()


def cpu_seconds(pid):
    """User and system time of every thread the process has had."""
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def shell_pid(stack):
    for pid in stack._session_pids():
        try:
            if Path(f"/proc/{pid}/comm").read_text().strip() == "gnome-shell":
                return pid
        except OSError:
            pass
    raise SystemExit("no gnome-shell among the session's processes")


def accept_chooser_once(stack):
    """The restore token of a screen cast whose chooser was accepted."""
    probe = stack.install_program(built("SNAPWICK_PORTAL_PROBE"))
    helper = stack.install_program(str(PORTALS / "gnome_input.py"))
    shots = stack.root / "shots"
    shots.mkdir()
    os.chown(shots, stack.user.pw_uid, stack.user.pw_gid)
    gnome_screen_cast.seed_screenshot_permission(stack)
    clicker = Talker(stack, ["/usr/bin/python3", helper], log="gnome_input")
    clicker.wait_for("ready", 20)
    clicker.send(f"key {gnome_screen_cast.ESCAPE}")
    clicker.wait_for("ok", 5)
    shooter = Talker(stack, [probe, "screenshot"], log="screenshot")
    shooter.wait_for("ready", 10)
    token_file = stack.home / TOKEN_FILE
    cast = Talker(stack, [probe, "screencast", str(token_file)], log="screencast")
    cast.wait_for("ready", 10)
    cast.send("start")
    gnome_screen_cast.accept_chooser(shooter, clicker, cast, shots / "chooser.png")
    cast.wait_for("started", 30)
    cast.send("quit")
    cast.wait_for("quit", 10)
    for talker in (cast, shooter, clicker):
        talker.close()
    return token_file


def measure(stack, label, dist, token_file, sway_socket, seconds):
    """The build's program at rest with its stream running: its CPU and
    gnome-shell's over `seconds`, each as a share of one core, and the
    maximum frame rate its stream settled on."""
    folder = stack.root / f"app-{label}"
    shutil.rmtree(folder, ignore_errors=True)
    shutil.copytree(dist, folder)
    (folder / "set.ini").write_bytes(settings_record(80, 0, VK_F8, "F8"))
    shutil.copy(token_file, folder / TOKEN_FILE)
    for root, _, files in os.walk(folder):
        for entry in [root, *(os.path.join(root, f) for f in files)]:
            os.chown(entry, stack.user.pw_uid, stack.user.pw_gid)
    proc = stack.spawn_user([str(folder / "snapwick")], log=f"snapwick-{label}",
                            env={"SWAYSOCK": str(sway_socket)})
    wait_until(f"{label}: the program's stream", lambda: pipewire_connections(proc.pid), 30)
    time.sleep(3.0)  # the stream's start is not rest
    rates = [f.get("maxFramerate") for f in stream_formats(stack, proc.pid)]
    rate = "/".join(f"{r['num']}/{r['denom']}" if r else "none" for r in rates) or "?"
    shell = shell_pid(stack)
    start, program, desktop = time.monotonic(), cpu_seconds(proc.pid), cpu_seconds(shell)
    time.sleep(seconds)
    took = time.monotonic() - start
    result = ((cpu_seconds(proc.pid) - program) / took * 100,
              (cpu_seconds(shell) - desktop) / took * 100, rate)
    proc.terminate()
    proc.wait(timeout=15)
    return result


def rest_share(pid, shell, seconds):
    """The program's and gnome-shell's CPU over `seconds`, as % of one core."""
    start, used, desktop = time.monotonic(), cpu_seconds(pid), cpu_seconds(shell)
    time.sleep(seconds)
    took = time.monotonic() - start
    return (cpu_seconds(pid) - used) / took * 100, (cpu_seconds(shell) - desktop) / took * 100


def spread(values, unit=1e6, suffix="ms"):
    ordered = sorted(values)
    return (f"{ordered[0] / unit:.1f} / {ordered[len(ordered) // 2] / unit:.1f} / "
            f"{ordered[-1] / unit:.1f} {suffix}")


def gnome50(dist, seconds, runs):
    """The program at rest and the probe's screen cast on forky's GNOME 50."""
    sys.path.insert(0, str(DESKTOPS))
    from desktops import Gnome50  # noqa: E402
    from program_on_gnome import Run, bind_and_share, ready_desktop  # noqa: E402

    program.DIST = dist
    made = subprocess.run(["bash", str(REPO / "tools" / "chroots.sh"), "make", "forky"])
    if made.returncode:
        raise SystemExit("tools/chroots.sh could not make the forky chroot")
    with Gnome50() as stack:
        env, gnome, window, bus, app = ready_desktop(stack)
        run_ = Run(gnome, bus, app, env)
        bind_and_share(run_)
        time.sleep(3.0)  # the dialogs' going and the stream's start are no rest
        shell = shell_pid(stack)
        rows = []
        for screen in ("still", "30 fps"):
            moving = None
            if screen != "still":
                moving = Talker(stack, [gnome.picture_window, "animate", "30"],
                                env={"QT_QPA_PLATFORM": "wayland"}, log="picture-moving")
                moving.wait_for("painted", 20)
                time.sleep(2.0)
            share, desktop = rest_share(app.proc.pid, shell, seconds)
            rows.append((screen, share, desktop))
            print(f"{screen:>7}: program {share:.2f} %, gnome-shell {desktop:.1f} %", flush=True)
            if moving:
                moving.process.terminate()
                moving.process.wait(timeout=10)
        app.terminate()

        token_file = stack.home / "probe.token"
        probe = gnome.probe
        cast = Talker(stack, [probe, "screencast", str(token_file)], log="screencast-0")
        cast.wait_for("ready", 10)
        cast.send("start")
        gnome.accept_dialog("screen-cast chooser")
        cast.wait_for("started", 30)
        cast.send("quit")
        cast.wait_for("quit", 10)
        cast.close()
        starts, firsts, to_file = [], [], []
        for number in range(1, runs + 1):
            cast = Talker(stack, [probe, "screencast", str(token_file)],
                          log=f"screencast-{number}")
            cast.wait_for("ready", 10)
            asked = time.monotonic_ns()
            cast.send("start")
            started = cast.wait_for("started", 20)
            starts.append(int(started[1]) - asked)
            cast.send(f"grab {gnome.shots / 'cast.png'}")
            firsts.append(int(cast.wait_for("grabbed", 10)[-1]))
            for _ in range(5):
                cast.send(f"shot {gnome.shots / 'cast.jpg'} 80")
                words = cast.wait_for("shot-written", 10)
                to_file.append(int(words[2]) + int(words[3]))
            cast.send("quit")
            cast.wait_for("quit", 10)
            cast.close()
        gnome.close()
        window.close()
    print(f"\nGNOME 50 (forky, headless, software rendering), {seconds:.0f} s each at rest, "
          "CPU as a share of one core:")
    for screen, share, desktop in rows:
        print(f"| {screen} | program {share:.2f} % | gnome-shell {desktop:.1f} % |")
    print(f"ScreenCast with the token, {runs} runs (min / median / max): Start to the stream "
          f"started {spread(starts)}; Start to its first frame {spread(firsts)}")
    print(f"a grab of the open stream to the whole q80 JPEG file ({len(to_file)} shots): "
          f"{spread(to_file)}")
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("dists", type=Path, nargs="*")
    parser.add_argument("--gnome50", action="store_true")
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    if args.gnome50:
        if len(args.dists) > 1:
            parser.error("--gnome50 takes one DIST")
        dist = args.dists[0] if args.dists else REPO / "dist" / "snapwick-linux"
        if not (dist / "snapwick").is_file():
            raise SystemExit(f"{dist}/snapwick is missing")
        return gnome50(dist, args.seconds, args.runs)
    if len(args.dists) != 2:
        parser.error("BEFORE_DIST AFTER_DIST, or --gnome50")
    builds = [("before", args.dists[0]), ("after", args.dists[1])]
    for _, dist in builds:
        if not (dist / "snapwick").is_file():
            raise SystemExit(f"{dist}/snapwick is missing")
    picture = built("SNAPWICK_PICTURE_WINDOW")
    rows = []
    with GnomeStack() as stack:
        picture = stack.install_program(picture)
        window = Talker(stack, [picture], env={"QT_QPA_PLATFORM": "wayland"}, log="picture")
        window.wait_for("painted", 20)
        token_file = accept_chooser_once(stack)
        sway = SwayStandIn(stack.runtime / "sway-standin.sock", stack.user)
        try:
            for screen in ("still", "30 fps"):
                moving = None
                if screen != "still":
                    moving = Talker(stack, [picture, "animate", "30"],
                                    env={"QT_QPA_PLATFORM": "wayland"}, log="picture-moving")
                    moving.wait_for("painted", 20)
                for label, dist in builds:
                    program, shell, rate = measure(stack, label, dist, token_file, sway.path,
                                                   args.seconds)
                    rows.append((screen, label, program, shell))
                    print(f"{screen:>7} {label:>6}: program {program:.2f} %, "
                          f"gnome-shell {shell:.1f} %, the stream's maximum frame rate {rate}",
                          flush=True)
                if moving:
                    moving.process.terminate()
                    moving.process.wait(timeout=10)
        finally:
            sway.close()
    print(f"\nGNOME 43 ScreenCast path, at rest, {args.seconds:.0f} s each, "
          "CPU as a share of one core (program / gnome-shell):")
    print("| screen | " + " | ".join(label for label, _ in builds) + " |")
    print("|---|" + "---|" * len(builds))
    for screen in ("still", "30 fps"):
        cells = [f"{p:.2f} % / {s:.1f} %" for sc, _, p, s in rows if sc == screen]
        print(f"| {screen} | " + " | ".join(cells) + " |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
