#!/usr/bin/python3
"""How close a held hotkey comes to the shot rate the 50 ms timer allows.

Starts dist/Snapwick/snapwick.exe under Wine on a virtual display of its own,
puts `wine notepad` in front, holds F8 for a few seconds and counts the shots
in pic/. A shot that takes t ms lets the next tick come only on the timer's
next 50 ms step, so the best rate is 1000 / (t rounded up to 50 ms) per
second; t is the median shot time that the shot bench measured (--shot-ms),
or, without it, the script runs the shot bench first.

    held_key_bench.py [--shot-ms MS] [--hold SECONDS] [--dist DIR] [--shot-bench EXE]
"""

import argparse
import math
import os
import random
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
TIMER_MS = 50
SCREEN = "1920x1080x24"
SHOT_NAME = re.compile(r"\d{2}\.\d{2}\.\d{4}_\d{2}\.\d{2}\.\d{2}_(\d+)\.jpg")


class BenchError(Exception):
    pass


def wait_until(probe, timeout, what, interval=0.05):
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise BenchError(f"{what} (waited {timeout:g} s)")
        time.sleep(interval)


class Session:
    """One Xvfb display, one Wine prefix and one temporary folder, all
    removed again by close()."""

    def __init__(self):
        self.tmp = Path(tempfile.mkdtemp(prefix="snapwick-held-key-"))
        self.prefix = self.tmp / "prefix"
        self.xvfb = None
        self.display = None
        self.env = None
        self.procs = []

    def start_display(self):
        numbers = list(range(100, 141))
        random.shuffle(numbers)
        for n in numbers[:15]:
            if os.path.exists(f"/tmp/.X{n}-lock") or os.path.exists(f"/tmp/.X11-unix/X{n}"):
                continue
            proc = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", SCREEN, "-nolisten", "tcp",
                                     "-noreset"], stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + 10
            while proc.poll() is None and time.monotonic() < deadline:
                if subprocess.run(["xdpyinfo", "-display", f":{n}"], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL).returncode == 0:
                    self.xvfb, self.display = proc, f":{n}"
                    break
                time.sleep(0.05)
            if self.xvfb:
                break
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        if not self.xvfb:
            raise BenchError("could not start Xvfb on any display :100-:140")
        self.env = dict(os.environ, DISPLAY=self.display, WINEPREFIX=str(self.prefix),
                        WINEDEBUG="-all", LANG="C.UTF-8", LC_ALL="C.UTF-8",
                        WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d")
        self.env.pop("WINESERVER", None)

    def boot_prefix(self):
        subprocess.run(["wineboot", "-i"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=180)
        # The registry reaches the disk when the prefix's server ends.
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=120)
        if not (self.prefix / "system.reg").exists():
            raise BenchError("wineboot did not create the prefix")

    def wine(self, *argv):
        proc = subprocess.Popen(["wine", *argv], cwd=self.tmp, env=self.env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        self.procs.append(proc)
        return proc

    def x(self, *argv, timeout=15):
        r = subprocess.run(argv, env=self.env, stdin=subprocess.DEVNULL, capture_output=True,
                           timeout=timeout)
        if r.returncode != 0:
            raise BenchError(f"{' '.join(argv)} failed: {r.stderr.decode(errors='replace').strip()}")
        return r.stdout.decode(errors="replace")

    def visible_window(self, title_regex):
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title_regex],
                           env=self.env, capture_output=True, timeout=15)
        ids = r.stdout.split()
        return ids[0].decode() if ids else None

    def close(self):
        if self.env:
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30)
            for proc in self.procs:
                try:
                    proc.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
            subprocess.run(["wineserver", "-w"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30)
        if self.xvfb and self.xvfb.poll() is None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
        shutil.rmtree(self.tmp, ignore_errors=True)


def shot_ms_from_bench(s, bench_exe):
    """Runs the shot bench in this session and takes its median shot time."""
    folder = s.tmp / "shot-bench"
    folder.mkdir()
    shutil.copy2(bench_exe, folder / bench_exe.name)
    shutil.copytree(s.dist / "wav", folder / "wav")
    r = subprocess.run(["wine", str(folder / bench_exe.name), "--rounds", "20", "--memory-shots",
                        "2"], cwd=s.tmp, env=s.env, stdin=subprocess.DEVNULL,
                       capture_output=True, timeout=300)
    out = r.stdout.decode(errors="replace")
    found = re.search(r"^median_shot_ms=([\d.]+)", out, re.M)
    if not found:
        raise BenchError(f"the shot bench gave no median (exit {r.returncode}):\n{out}")
    print(f"  shot bench run first: median shot {found.group(1)} ms", flush=True)
    return float(found.group(1))


def run(args):
    s = Session()
    s.dist = Path(args.dist).resolve()
    exe = s.dist / "snapwick.exe"
    if not exe.is_file():
        raise BenchError(f"{exe} does not exist: build the windows preset first")
    try:
        s.start_display()
        print(f"held_key_bench: Xvfb {s.display} ({SCREEN}, pid {s.xvfb.pid}), "
              f"prefix {s.prefix}", flush=True)
        s.boot_prefix()

        shot_ms = args.shot_ms
        if shot_ms is None:
            shot_ms = shot_ms_from_bench(s, Path(args.shot_bench).resolve())

        app = s.tmp / "Snapwick"
        app.mkdir()
        shutil.copy2(exe, app / "snapwick.exe")
        shutil.copytree(s.dist / "wav", app / "wav")
        pic = app / "pic"
        s.wine(str(app / "snapwick.exe"))
        wait_until(lambda: s.visible_window("^Snapwick"), 60, "Snapwick's window was not shown")
        s.wine("notepad")
        notepad = wait_until(lambda: s.visible_window("Notepad"), 60,
                             "notepad's window was not shown")
        s.x("xdotool", "windowfocus", "--sync", notepad)
        s.x("xdotool", "windowraise", notepad)
        time.sleep(0.5)  # let the program settle after its start

        pressed = time.monotonic()
        s.x("xdotool", "keydown", "F8")
        try:
            time.sleep(args.hold)
        finally:
            s.x("xdotool", "keyup", "F8")
        held = time.monotonic() - pressed

        def settled():
            before = len(list(pic.glob("*.jpg"))) if pic.is_dir() else 0
            time.sleep(1.0)
            return before if before == len(list(pic.glob("*.jpg"))) else None
        wait_until(lambda: settled() is not None, 30, "shots kept coming after the key was up")
        return report(pic, held, shot_ms, args.hold)
    finally:
        s.close()


def report(pic, held, shot_ms, hold):
    files = sorted(pic.iterdir()) if pic.is_dir() else []
    named = [(int(m.group(1)), f) for f in files if (m := SHOT_NAME.fullmatch(f.name))]
    named.sort()
    counters = [c for c, _ in named]
    consecutive = counters == list(range(1, len(counters) + 1))
    strangers = len(files) - len(named)

    rate = len(files) / held
    step_ms = math.ceil(shot_ms / TIMER_MS) * TIMER_MS
    best = 1000.0 / step_ms
    percent = 100.0 * rate / best
    print(f"  F8 held {held:.2f} s (asked {hold:g} s) with notepad in front", flush=True)
    print(f"  files in pic/: {len(files)}; names _1.._{len(counters)} consecutive: "
          f"{'yes' if consecutive and not strangers else 'NO'}"
          + (f" (counters {counters})" if not consecutive else "")
          + (f"; {strangers} file(s) not named as shots" if strangers else ""))
    print(f"  shots per second: {rate:.2f}")
    print(f"  best the {TIMER_MS} ms timer allows: median shot {shot_ms:.1f} ms, rounded up to "
          f"{step_ms} ms -> {best:.2f} per second")
    print(f"  rate / best: {percent:.1f} % (target >= 90 %) {'MET' if percent >= 90 else 'MISSED'}")
    if len(named) >= 2:
        # The time a file was last written is when its save ended.
        ends = [f.stat().st_mtime_ns / 1e6 for _, f in named]
        gaps = [b - a for a, b in zip(ends, ends[1:])]
        print(f"  time between consecutive files' writes: min {min(gaps):.1f}  median "
              f"{statistics.median(gaps):.1f}  max {max(gaps):.1f} ms")
    print(f"held_key_percent={percent:.1f}")
    sys.stdout.flush()
    return consecutive and not strangers


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--shot-ms", type=float, help="median shot time from the shot bench")
    parser.add_argument("--hold", type=float, default=3.0, help="seconds F8 is held down")
    parser.add_argument("--dist", default=str(REPO / "dist" / "Snapwick"))
    parser.add_argument("--shot-bench",
                        default=str(REPO / "build" / "windows" / "bench" / "snapwick_shot_bench.exe"))
    args = parser.parse_args()

    def on_signal(signum, _frame):
        raise BenchError(f"interrupted by signal {signum}")
    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    try:
        names_ok = run(args)
    except BenchError as e:
        print(f"held_key_bench: {e}", file=sys.stderr, flush=True)
        return 1
    return 0 if names_ok else 2


if __name__ == "__main__":
    sys.exit(main())
