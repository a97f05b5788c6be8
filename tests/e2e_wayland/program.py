"""The real program, a fresh copy of dist/snapwick-linux, on a headless sway
of a scenario's own (sway_session.py), run as the session's user as a
desktop would start it, and what the scenarios watch it with:

    picture, path = desktop_picture(s)              # for `output HEADLESS-1 bg PATH stretch`
    sway = s.sway("shots", config=...)
    folder = install(sway, settings=record)         # set.ini's bytes, or none
    app = start(sway, folder)                       # its window in sway's tree
    sway.wtype("-P", "F8", "-s", "1000", "-p", "F8")
    names = app.wait_shots(20)
    bindings = BindingWatch(s, sway)                # sway's binding events
    focused = FocusedClient(s, sway)                # wev: which keys reach a client
    new = holds_without_release(s, sway, app)       # F8 held while other keys go down

The scenarios start everything through these and the Scenario ends it, by
process id.
"""

import json
import os
import re
import shutil
import subprocess
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))

from PIL import Image, ImageDraw  # noqa: E402

from shots import SHOT_NAME, shot_counter  # noqa: E402
from snapwick import settings_record  # noqa: E402
from sway_session import expect, wait_until  # noqa: E402

REPO = Path(__file__).resolve().parents[2]
DIST = Path(os.environ.get("SNAPWICK_LINUX_DIST", REPO / "dist" / "snapwick-linux"))
VK_F8, VK_F9, VK_F11 = 0x77, 0x78, 0x7A
TITLE_F8 = "Snapwick 1.1 (HotKey:F8)"
OWN_BINDING = re.compile(r"nop snapwick-\d+-[0-9a-f]+-(down|up)")
KEY_A, KEY_LEFTCTRL, KEY_F8 = 30, 29, 66
# sway runs the release binding only when no other key went down while F8
# was held, and stops the press binding's repeats at the other key. Steps:
# a key code pressed, its negative released, seconds waited.
HOLDS_WITHOUT_RELEASE = [
    ("a typed while F8 is held", [KEY_F8, 0.8, KEY_A, 0.05, -KEY_A, 0.4, -KEY_F8]),
    ("Ctrl pressed while F8 is held, let go after it",
     [KEY_F8, 0.8, KEY_LEFTCTRL, 0.4, -KEY_F8, 0.2, -KEY_LEFTCTRL]),
    ("a typed before F8's first repeat", [KEY_F8, 0.2, KEY_A, 0.05, -KEY_A, 0.05, -KEY_F8]),
]

__all__ = ["BindingWatch", "DIST", "FocusedClient", "HOLDS_WITHOUT_RELEASE", "Program", "TITLE_F8", "VK_F8",
           "VK_F9", "VK_F11", "desktop_picture", "holds_without_release", "install", "settings_record",
           "shot_matches", "start"]

# Blocks of colour whose middles survive JPEG at any quality and a scaled
# copy, and one-pixel lines that show a copy off by a row or in the wrong
# byte order.
COLUMNS, ROWS = 8, 6


def make_picture(path, size):
    picture = Image.new("RGB", size)
    draw = ImageDraw.Draw(picture)
    w, h = size[0] // COLUMNS, size[1] // ROWS
    for row in range(ROWS):
        for column in range(COLUMNS):
            colour = ((column * 37 + 11) % 256, (row * 53 + 29) % 256, ((column + row) * 71 + 5) % 256)
            draw.rectangle([column * w, row * h, (column + 1) * w - 1, (row + 1) * h - 1], fill=colour)
    for x in range(0, size[0], 97):
        draw.line([(x, 0), (x, size[1] - 1)], fill=(255, 0, 0))
    picture.save(path)
    return picture


def block_middles(picture):
    w, h = picture.size[0] / COLUMNS, picture.size[1] / ROWS
    return [picture.getpixel((int((c + 0.3) * w), int((r + 0.3) * h)))
            for r in range(ROWS) for c in range(COLUMNS)]


def shot_matches(path, picture, size, tolerance=10, covered=()):
    """Whether the JPEG at path is size and shows the picture (scaled to
    size) in every block but those whose middle lies in a covered
    rectangle (x, y, w, h) of the shot. Returns (True, "") or (False, why)."""
    with Image.open(path) as shot:
        if shot.size != size:
            return False, f"{path.name} is {shot.size[0]}x{shot.size[1]}, not {size[0]}x{size[1]}"
        got = block_middles(shot.convert("RGB"))
    want = block_middles(picture.resize(size))
    w, h = size[0] / COLUMNS, size[1] / ROWS
    for i, (a, b) in enumerate(zip(got, want)):
        x, y = int((i % COLUMNS + 0.3) * w), int((i // COLUMNS + 0.3) * h)
        if any(cx <= x < cx + cw and cy <= y < cy + ch for cx, cy, cw, ch in covered):
            continue
        if any(abs(p - q) > tolerance for p, q in zip(a, b)):
            return False, f"{path.name}: block {i} at {x},{y} is {a}, the picture's {b}"
    return True, ""


def desktop_picture(s, size=(1920, 1080)):
    """The known picture as a file the session's user can read, for the
    configuration's `output HEADLESS-1 bg FILE stretch` (so that a reload
    keeps it); returns (picture, path)."""
    path = s.tmp / f"picture-{size[0]}x{size[1]}.png"
    picture = make_picture(path, size)
    path.chmod(0o644)
    return picture, path


def install(sway, name="app", settings=None):
    """A fresh copy of dist/snapwick-linux in the session's folder, the
    session user's own, with set.ini's bytes when given."""
    expect((DIST / "snapwick").is_file(), f"{DIST}/snapwick is missing: build the linux-app preset")
    folder = sway.folder / name
    shutil.copytree(DIST, folder)
    if settings is not None:
        (folder / "set.ini").write_bytes(settings)
    for root, dirs, files in os.walk(folder):
        for entry in [root, *(os.path.join(root, f) for f in files)]:
            os.chown(entry, sway.user.pw_uid, sway.user.pw_gid)
    return folder


class Program:
    def __init__(self, sway, folder, proc, log_path):
        self.sway = sway
        self.folder = folder
        self.proc = proc
        self.log_path = log_path

    @property
    def pic(self):
        return self.folder / "pic"

    def alive(self):
        return self.proc.poll() is None

    def wait_exit(self, timeout):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def log(self):
        return self.log_path.read_text(errors="replace") if self.log_path.exists() else ""

    def signal(self, number):
        os.kill(self.proc.pid, number)

    def nodes(self):
        """The program's windows in sway's tree, the main window first."""
        found = []

        def walk(node):
            if node.get("pid") == self.proc.pid and node.get("type") in ("con", "floating_con"):
                found.append(node)
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child)
        walk(json.loads(self.sway.swaymsg("-t", "get_tree").stdout))
        return found

    def node(self):
        """The program's window in sway's tree (None while it has none shown)."""
        found = self.nodes()
        return found[0] if found else None

    def title(self):
        node = self.node()
        return node and node.get("name")

    def focus(self):
        self.sway.swaymsg(f"[pid={self.proc.pid}] focus")
        wait_until(lambda: (self.node() or {}).get("focused"), 5, "the program's window did not take the focus")

    def shots(self):
        """The shots in pic/, by counter."""
        if not self.pic.is_dir():
            return []
        names = [n for n in os.listdir(self.pic) if SHOT_NAME.fullmatch(n)]
        return sorted(names, key=shot_counter)

    def wait_shots(self, at_least, before=(), timeout=10, settle=0.5):
        """The shots that are new since `before`, once there are at least
        `at_least` of them and none has come for `settle` seconds."""
        before = set(before)

        def new():
            return [n for n in self.shots() if n not in before]
        wait_until(lambda: len(new()) >= at_least, timeout,
                   f"{len(new())} new shot(s), not at least {at_least}")
        last, since = new(), time.monotonic()
        while time.monotonic() - since < settle:
            time.sleep(0.05)
            now = new()
            if now != last:
                last, since = now, time.monotonic()
        return last


def start(s, sway, folder, tag="snapwick", extra_env=None):
    """Starts folder/snapwick as the session's user (setpriv execs it, so
    the process id is the program's) and waits for its window in sway's
    tree."""
    env = {**sway.env(), "XDG_SESSION_TYPE": "wayland", **(extra_env or {})}
    argv = ["setpriv", f"--reuid={sway.user.pw_uid}", f"--regid={sway.user.pw_gid}", "--clear-groups",
            "--", "env", "-i", *(f"{k}={v}" for k, v in env.items()), str(folder / "snapwick")]
    log_path = s.out / f"{tag}.log"
    log = open(log_path, "ab")
    proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=log, stderr=log, cwd="/")
    log.close()
    s.procs.append(proc)
    app = Program(sway, folder, proc, log_path)

    def shown():
        expect(app.alive(), f"the program ended during start-up (status {proc.returncode}): {app.log()!r}")
        return app.node()
    node = wait_until(shown, 20, "the program's window did not appear in sway's tree")
    s.log(f"{tag}: pid {proc.pid}, window {node.get('name')!r} ({node.get('shell')}, {node.get('type')})")
    return app


def held_one_second(s, sway, app, picture, covered):
    """F8 held a second through wtype: 19 to 21 consecutive shots, each of
    the picture outside `covered`. Returns their names."""
    started = time.monotonic()
    sway.wtype("-P", "F8", "-s", "1000", "-p", "F8")
    held = app.wait_shots(19)
    s.log(f"F8 held 1 s: {len(held)} shots ({time.monotonic() - started:.2f} s for the press and the files)")
    counters = [int(n[:-4].rsplit("_", 1)[1]) for n in held]
    expect(19 <= len(held) <= 21, f"F8 held 1 s made {len(held)} shots, not 19 to 21")
    expect(counters == list(range(1, len(held) + 1)), f"the held key's shots are not consecutive: {counters}")
    for name in held:
        ok, why = shot_matches(app.pic / name, picture, (1920, 1080), covered=covered)
        expect(ok, f"F8 held: {why}")
    return held


def holds_without_release(s, sway, app):
    """Each case of HOLDS_WITHOUT_RELEASE typed on a virtual keyboard with a
    real keymap (SNAPWICK_WAYLAND_KEYS, the benchmark's): shots while F8
    is held, none a second after every key is up. Returns the new shots."""
    keys = sway.start_keyboard(os.environ["SNAPWICK_WAYLAND_KEYS"])
    shots = []
    for what, steps in HOLDS_WITHOUT_RELEASE:
        before = app.shots()
        for step in steps:
            if isinstance(step, float):
                time.sleep(step)
            elif step > 0:
                keys.press(step)
            else:
                keys.release(-step)
        while_held = len(app.shots()) - len(before)
        time.sleep(1.0)
        settled = len(app.shots()) - len(before)
        time.sleep(1.0)
        new = [n for n in app.shots() if n not in before]
        s.log(f"{what}: {while_held} shots while held, {settled - while_held} after every key was up")
        expect(while_held >= 3, f"{what}: {while_held} shots while F8 was held")
        expect(len(new) == settled, f"{what}: shots went on a second after every key was up ({settled}, "
                                    f"then {len(new)})")
        # The hold ends at the latest a second after the press, when no
        # repeat came.
        expect(len(new) <= 24, f"{what}: {len(new)} shots")
        shots += new
    keys.close()
    return shots


class BindingWatch:
    """sway's binding events, as any IPC client subscribed to them sees
    them: the program's own bindings run `nop snapwick-<pid>-<tag>-...`."""

    def __init__(self, s, sway):
        self.events = []
        self._lock = threading.Lock()
        self.proc = subprocess.Popen(["swaymsg", "-s", str(sway.socket), "-r", "-m", "-t", "subscribe",
                                      '["binding"]'], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        s.procs.append(self.proc)
        threading.Thread(target=self._read, daemon=True).start()
        # Subscribed once a binding of any kind is reported: a key of the
        # configuration's own would do, but none is there; the first
        # events simply count from here on.
        time.sleep(0.2)

    def _read(self):
        for line in self.proc.stdout:
            try:
                event = json.loads(line)
            except ValueError:
                continue
            with self._lock:
                self.events.append(event.get("binding", {}).get("command", ""))

    def own(self):
        """How many binding events ran one of the program's commands."""
        with self._lock:
            return sum(1 for c in self.events if OWN_BINDING.fullmatch(c))


class FocusedClient:
    """wev, a client that prints every key it receives, with the focus
    whenever the program's window does not have it."""

    def __init__(self, s, sway):
        self.sway = sway
        self.log_path = s.out / "wev.log"
        self.proc = sway.spawn_as_user(["stdbuf", "-oL", "wev"], "wev.log")
        wait_until(lambda: "activated" in self._text(), 10, "wev's window was not shown with the focus")
        # A seat without input devices has no keyboard until a virtual one
        # comes: a first key, so that wev has its keyboard before counting.
        sway.wtype("-k", "Escape")
        wait_until(lambda: "sym: Escape" in self._text(), 10, "wev did not receive a key typed with wtype")

    def _text(self):
        return self.log_path.read_text(errors="replace") if self.log_path.exists() else ""

    def focus(self):
        # runuser's id is not wev's: by its application id.
        self.sway.swaymsg('[app_id="^wev$"] focus')

    def released(self, keysym):
        """How many releases of keysym reached wev: each wtype brings a
        keyboard of its own, and a press that comes before wev has taken it
        reaches wev only as a key already down, never as a press."""
        return len(re.findall(rf"state: 0 \(released\)\n\s+sym: {keysym}\b", self._text()))
