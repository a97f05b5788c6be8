"""Snapwick as its user meets it, whichever system runs it: its controls by
role where the program's own layout table puts them, its set.ini records and
key codes, a started copy's process and shots, and what a user does with it:
a key pressed in front of another program, captured, applied, the Exit
button, a quality picked from the list.

Nothing here knows how the program is started: program.py does that under
Wine, native.py for the Linux build. Their scenarios give the helpers below
a scenario with a `popup_menus()` of its own, because the two systems' pop-up
windows are told apart differently.
"""

import json
import os
import shutil
import subprocess
from pathlib import Path

from pictures import glyph_shapes, ink_points, red_ink, window_image
from shots import SHOT_NAME
from xdisplay import ScenarioFailed, Window, expect, wait_until

TITLE_F8 = "Snapwick 1.1 (HotKey:F8)"

KEY_CODES = {"F2": 0x71, "F3": 0x72, "F4": 0x73, "F5": 0x74, "F6": 0x75, "F7": 0x76,
             "F8": 0x77, "F9": 0x78, "F11": 0x7A, "F12": 0x7B}


def settings_record(quality, sound, key, name):
    """The bytes of a set.ini: three values, CR LF after each, the name, 20 spaces."""
    return bytes([quality, 13, 10, sound, 13, 10, key, 13, 10]) + name.encode("cp1252") + b" " * 20


# -- the layout table

# Printed by the snapwick_layout_json program of the build under test (a
# ctest fixture writes it once per run); the file is named in
# SNAPWICK_LAYOUT_JSON, which each system's run() defaults to its build's.
LAYOUT_JSON_VARIABLE = "SNAPWICK_LAYOUT_JSON"
_layout = None


def _load_layout():
    global _layout
    if _layout is None:
        name = os.environ.get(LAYOUT_JSON_VARIABLE)
        expect(name, f"{LAYOUT_JSON_VARIABLE} names no layout table")
        path = Path(name)
        expect(path.is_file(), f"no layout table at {path}: run the e2e layout fixture of the build "
                               f"(see tests/e2e/README.md) or point {LAYOUT_JSON_VARIABLE} at the "
                               "output of snapwick_layout_json")
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


def control_kind(role):
    """A control's kind: button, frame, label, checkbox, edit or combo."""
    control_rect(role)
    return _load_layout()["controls"][role]["kind"]


def control_layout_text(role):
    """The text that the layout table gives a control."""
    control_rect(role)
    return _load_layout()["controls"][role]["text"]


def control_roles():
    return list(_load_layout()["controls"])


def tray_menu_items():
    """The tray menu's item names, top down."""
    return [item["name"] for item in _load_layout()["tray_menu"]]


# -- a started copy


class ShippedFolder:
    """For a scenario class whose `dist` is the built program's folder:
    fresh copies of what ships (the executable named by `executable`, and
    wav/), never a pic/ or set.ini left in dist/ by a manual run."""

    executable = None

    def install_app(self, *folder):
        """A fresh copy in <temp>/apps/<folder...> (apps/Snapwick by default)."""
        target = self.tmp.joinpath("apps", *(folder or ("Snapwick",)))
        target.parent.mkdir(parents=True, exist_ok=True)
        target.mkdir()
        self.copy_program(target)
        return target

    def copy_program(self, target):
        """What ships, into the existing folder target."""
        shutil.copy2(self.dist / self.executable, target / self.executable)
        shutil.copytree(self.dist / "wav", target / "wav")


class App:
    """One started copy of the program."""

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


# -- what a user does


def press_in(s, window, key, seconds):
    """Holds key for a while with window in front (under Wine a window of the
    prefix, so that the program's poll sees the key)."""
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
