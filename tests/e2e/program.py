"""Snapwick under Wine: a fresh copy of dist/Snapwick, its process and
window, and the pop-up windows it opens. Everything that does not depend on
Wine (controls by role, set.ini records, what a user does) is in snapwick.py
and is re-exported here, so a Wine scenario imports from this module alone.

A scenario script calls run(name, body); body gets a SnapwickScenario.
"""

import os
import sys
from pathlib import Path

import xdisplay
from snapwick import (KEY_CODES, LAYOUT_JSON_VARIABLE, TITLE_F8, App, MainWindow, ShippedFolder,
                      apply_key, capture_key, client_size, control_rect, control_roles,
                      exit_with_button, hotkey_box_ink, pick_combo_item, press_in,
                      press_until_new_file, settings_record, tray_menu_items)
from wine import WineScenario
from xdisplay import REPO, Window, expect, wait_until

# Written under Wine by the e2e_layout_json fixture of the windows preset.
DEFAULT_LAYOUT_JSON = REPO / "build" / "windows" / "e2e-layout.json"
os.environ.setdefault(LAYOUT_JSON_VARIABLE, str(DEFAULT_LAYOUT_JSON))

__all__ = ["DEFAULT_LAYOUT_JSON", "SnapwickScenario", "run",
           # from snapwick.py
           "KEY_CODES", "TITLE_F8", "App", "MainWindow", "apply_key", "capture_key", "client_size",
           "control_rect", "control_roles", "exit_with_button", "hotkey_box_ink", "pick_combo_item",
           "press_in", "press_until_new_file", "settings_record", "tray_menu_items"]


class SnapwickScenario(ShippedFolder, WineScenario):
    executable = "snapwick.exe"

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
