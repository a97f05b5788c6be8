"""The Windows build under Wine beside the native program, for the scenarios
that hold the two builds against each other: a fresh copy of dist/Snapwick in
a Wine prefix of its own, on a display of its own with no window manager, as
the Wine scenarios run it (tests/e2e/program.py). Its window's controls are
read through the Win32 API by snapwick_window_controls.exe, run in the same
prefix. Both come from the windows preset's build."""

import contextlib
import json
import subprocess

from xdisplay import REPO, ScenarioFailed, expect

WINDOWS_DIST = REPO / "dist" / "Snapwick"
WINDOWS_TESTS = REPO / "build" / "windows" / "tests"


def _windows_build_file(path):
    expect(path.is_file(), f"{path} does not exist: build the windows preset first "
                           "(cmake --preset windows && cmake --build --preset windows)")
    return path


@contextlib.contextmanager
def wine_side(s, locale="C.UTF-8"):
    """A Wine scenario (program.SnapwickScenario) beside the native scenario
    s, with the Unix locale that gives Wine its ANSI code page; its output
    goes to <s's output>.wine."""
    from program import SnapwickScenario
    _windows_build_file(WINDOWS_DIST / "snapwick.exe")
    w = SnapwickScenario(f"{s.name}.wine")
    w.dist = WINDOWS_DIST
    try:
        w.setup()
        w.use_locale(locale)
        s.log(f"Wine on {w.display.name} in {w.prefix}, locale {locale}")
        yield w
    finally:
        w.teardown()


def _run_windows_tool(w, exe, *args):
    try:
        r = subprocess.run(["wine", str(_windows_build_file(exe)), *args], env=w.env,
                           stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    except subprocess.TimeoutExpired:
        raise ScenarioFailed(f"{exe.name} did not return within 60 s")
    expect(r.returncode == 0, f"{exe.name} failed ({r.returncode}): {r.stderr.decode(errors='replace')[-500:]}")
    return json.loads(r.stdout.decode("utf-8"))


def window_controls(w, title_start="Snapwick"):
    """The shown window titled title_start...: {"title", "client": [x, y, w, h]
    on the screen, "controls": [{"class", "text", "style", "rect"}]}."""
    return _run_windows_tool(w, WINDOWS_TESTS / "snapwick_window_controls.exe", title_start)


def windows_layout(w):
    """The layout table as the Windows build prints it."""
    return _run_windows_tool(w, WINDOWS_TESTS / "snapwick_layout_json.exe")
