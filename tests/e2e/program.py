"""Driving Snapwick under Wine: a fresh copy of dist/Snapwick, its process,
its window and controls (named by role, their rectangles taken from the
program's own layout table), its shots and its set.ini, and what a user
does with it: keys pressed in front of another program, a key applied, the
Exit button.

A scenario script calls run(name, body); body gets a SnapwickScenario.
"""

import json
import os
import shutil
import subprocess
import sys
from pathlib import Path

import xdisplay
from pictures import glyph_shapes, ink_points, red_ink, window_image
from shots import SHOT_NAME
from wine import WineScenario
from xdisplay import REPO, ScenarioFailed, Window, expect, wait_until

TITLE_F8 = "Snapwick 1.1 (HotKey:F8)"

KEY_CODES = {"F2": 0x71, "F3": 0x72, "F4": 0x73, "F5": 0x74, "F6": 0x75, "F7": 0x76,
             "F8": 0x77, "F9": 0x78, "F11": 0x7A, "F12": 0x7B}


def settings_record(quality, sound, key, name):
    """The bytes of a set.ini: three values, CR LF after each, the name, 20 spaces."""
    return bytes([quality, 13, 10, sound, 13, 10, key, 13, 10]) + name.encode("cp1252") + b" " * 20


# -- the layout table

# Written by the snapwick_layout_json program (a ctest fixture does it once
# per run and names the file in SNAPWICK_LAYOUT_JSON).
DEFAULT_LAYOUT_JSON = REPO / "build" / "windows" / "e2e-layout.json"
_layout = None


def _load_layout():
    global _layout
    if _layout is None:
        path = Path(os.environ.get("SNAPWICK_LAYOUT_JSON", DEFAULT_LAYOUT_JSON))
        expect(path.is_file(), f"no layout table at {path}: run `ctest --preset windows -R e2e_layout_json` "
                               "or point SNAPWICK_LAYOUT_JSON at the output of snapwick_layout_json")
        data = json.loads(path.read_text(encoding="utf-8"))
        expect(data["dpi"] == 96, f"{path} describes the window at {data['dpi']} DPI, not at Xvfb's 96")
        _layout = data
    return _layout


def client_size():
    """(width, height) of the window's client area."""
    return tuple(_load_layout()["client"])


def control_rect(role):
    """A control's client-area rectangle (x, y, w, h), by its role's name."""
    controls = _load_layout()["controls"]
    expect(role in controls, f"the layout table has no control {role!r}, only {sorted(controls)}")
    return tuple(controls[role]["rect"])


def control_roles():
    return list(_load_layout()["controls"])


def tray_menu_items():
    """The tray menu's item names, top down."""
    return [item["name"] for item in _load_layout()["tray_menu"]]


# -- the program


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


class MainWindow(Window):
    """The program's window, whose controls are found by role."""

    def click_control(self, role):
        self.click_rect(control_rect(role))


class SnapwickScenario(WineScenario):
    def __init__(self, name):
        super().__init__(name)
        self.dist = Path(sys.argv[1] if len(sys.argv) > 1 else REPO / "dist" / "Snapwick").resolve()
        self.apps = []

    def setup(self):
        exe = self.dist / "snapwick.exe"
        expect(exe.is_file(), f"{exe} does not exist: build the windows preset first")
        super().setup()

    def teardown(self):
        for app in self.apps:
            if app.alive():
                self.log(f"pid {app.proc.pid} still running at the end")
        super().teardown()

    def install_app(self, *folder):
        """A fresh copy of dist/Snapwick in <temp>/apps/<folder...>."""
        target = self.tmp.joinpath("apps", *(folder or ("Snapwick",)))
        target.parent.mkdir(parents=True, exist_ok=True)
        # Only what ships: a pic/ or set.ini left in dist/ by a manual run
        # must not leak into a scenario.
        target.mkdir()
        self.copy_program(target)
        return target

    def copy_program(self, target):
        """What ships, into the folder target."""
        shutil.copy2(self.dist / "snapwick.exe", target / "snapwick.exe")
        shutil.copytree(self.dist / "wav", target / "wav")

    def start_app(self, folder, tag="snapwick", exe=None):
        """Starts the program in folder, by its Unix path or by the Windows
        path exe (for instance E:\\snapwick.exe) that leads there."""
        # Started from elsewhere: the program must find its folder by its
        # own path, not by the working directory.
        log_path = self.out / f"{tag}.log"
        proc = self.start_wine_program(exe or str(folder / "snapwick.exe"), log_path=log_path)
        app = App(folder, proc, log_path)
        self.apps.append(app)
        self.log(f"started {exe or folder / 'snapwick.exe'} as pid {proc.pid}")
        return app

    def start_snapwick(self, folder, timeout=30, exe=None):
        """Starts the program and waits for its window to be shown."""
        app = self.start_app(folder, exe=exe)

        def shown():
            expect(app.alive(), f"{exe or 'snapwick.exe'} ended during start-up "
                                f"(exit code {app.proc.returncode})")
            return self.windows(r"Snapwick.*", visible_only=True)
        window = MainWindow(self, wait_until(shown, timeout, "the program's window was not shown")[0].id)
        self.log(f"window {window} shown: {window.title()!r}")
        return app, window

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


def run(name, body, deadline=150):
    """Runs body(SnapwickScenario) and exits with 0 (PASS) or 1 (FAIL)."""
    xdisplay.run(name, body, deadline, SnapwickScenario)


# -- what a user does


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


def hotkey_box_ink(window, name):
    """The dark red ink in the hotkey box: the name of a captured key."""
    return ink_points(window_image(window, name), control_rect("HotkeyBox"), red_ink)


def capture_key(s, window, key, name="captured.png"):
    """Presses key in the program's window and waits until the hotkey box
    names it: dark red glyphs, one for each letter of the key's name."""
    press_in(s, window, key, 0.1)

    def shown():
        points = hotkey_box_ink(window, name)
        return points if len(points) >= 15 else None
    points = wait_until(shown, 10, f"the hotkey box never shows a key: no red text in it after {key}")
    glyphs = glyph_shapes(points)
    expect(len(glyphs) == len(key),
           f"the hotkey box shows {len(glyphs)} red glyphs after {key}, not the {len(key)} of {key!r}")


def apply_key(s, window, key):
    """Presses key in the program's window and clicks Apply; returns once the
    caption names the key, that is, once the Apply handler has run."""
    press_in(s, window, key, 0.1)
    window.click_control("ApplyButton")
    title = f"Snapwick (HotKey:{key})"
    wait_until(lambda: window.title() == title, 10,
               f"after Apply with {key} the title is {window.title()!r}, not {title!r}")


def exit_with_button(app, window, timeout=15):
    """Ends the program with its "Выход" button and waits for the process."""
    window.focus()
    window.click_control("ExitButton")
    expect(app.wait_exit(timeout) is not None,
           f"the program was still running {timeout} s after the click on Выход")


def pick_combo_item(s, window, role, index, items):
    """Opens a drop-down combo box with a click on its arrow and clicks the
    item at index of its list of `items` entries."""
    x, y, w, h = control_rect(role)
    window.click(x + w - 8, y + h // 2)
    lists = wait_until(s.popup_menus, 10, "the combo box's list did not drop down")
    expect(len(lists) == 1, f"{len(lists)} pop-up windows after the click on the combo's arrow")
    _, _, lw, lh, _ = lists[0].info()
    # The list is sized to show every item; each item is a strip of equal height.
    item = (lh - 2) / items
    lists[0].click(lw // 2, int(1 + item * (index + 0.5)))
    wait_until(lambda: not s.popup_menus(), 10, "the combo box's list stayed open")
