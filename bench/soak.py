#!/usr/bin/python3
"""Soak test: a couple of thousand shots in one run of dist/Snapwick/snapwick.exe.

Under Wine on a virtual display of its own (Xvfb 1920x1080x24), with a busy
picture on the screen and `wine notepad` in front, F8 is held down in bursts
of 100 shots until --shots shots exist. Every shot is checked as soon as the
program has moved on to the next one (a whole 1920x1080 JPEG that decodes,
ending in its end-of-image marker), its name is recorded and the file is
deleted, so the disk holds only a few shots at a time. At the end:

- every name is unique and the counters run 1, 2, 3, ... with no gap and no
  repeat, each name carrying a real time within the run, never going back;
- the process's memory, sampled between bursts (the key up, the program
  idle), stays flat after the first 100 shots: the figures after 100, 500,
  1000, 1500 and 2000 shots are printed, with the growth from the first
  sample on, and both the growth and the trend over all samples are bounded;
- the open files of the program and of Wine's server (where a leaked file
  handle would stay open) and the X server's memory (where a leaked bitmap
  or window could live) do not grow.

Not a ctest test: it takes about ten minutes.

    /usr/bin/python3 bench/soak.py [--shots 2000] [--dist dist/Snapwick] [--max-growth-mb 8]
                                   [--max-trend-bytes 2048]

Exit status 0 when every check holds, 1 otherwise.
"""

import argparse
import datetime
import os
import shutil
import signal
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))
os.environ.setdefault("SNAPWICK_E2E_OUTPUT", str(REPO / "build" / "windows" / "bench-output"))

from program import SnapwickScenario  # noqa: E402
from shots import SHOT_NAME  # noqa: E402
from xdisplay import SCREEN_H, SCREEN_W, ScenarioFailed, ScenarioInterrupted, expect, wait_until  # noqa: E402

MB = 1024 * 1024
BURST = 100
CHECKPOINTS = (100, 500, 1000, 1500, 2000)
STALL = 60  # seconds without a new shot while the key is down


def open_files(pid):
    return len(os.listdir(f"/proc/{pid}/fd"))


def rss(pid):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1]) * 1024
    return 0


def memory(pid):
    """The process's memory in bytes: resident anonymous (RssAnon), its
    proportional set (Pss) and its private pages (Private_Clean + Dirty)."""
    status = Path(f"/proc/{pid}/status").read_text()
    figures = {"rss_anon": 0, "pss": 0, "private": 0}
    for line in status.splitlines():
        if line.startswith("RssAnon:"):
            figures["rss_anon"] = int(line.split()[1]) * 1024
    for line in Path(f"/proc/{pid}/smaps_rollup").read_text().splitlines():
        key, _, rest = line.partition(":")
        if key == "Pss":
            figures["pss"] = int(rest.split()[0]) * 1024
        elif key in ("Private_Clean", "Private_Dirty"):
            figures["private"] += int(rest.split()[0]) * 1024
    return figures


def busy_picture(path):
    """Tiles of colour with fine noise over them: shots of a few hundred KB,
    as of a real desktop, not the few KB of a flat one."""
    from PIL import Image, ImageChops, ImageDraw
    img = Image.new("RGB", (SCREEN_W, SCREEN_H))
    draw = ImageDraw.Draw(img)
    for row in range(0, SCREEN_H, 120):
        for col in range(0, SCREEN_W, 160):
            draw.rectangle([col, row, col + 159, row + 119],
                           fill=(40 + col // 9 % 180, 50 + row // 5 % 170, 200 - col // 12 % 150))
    noise = Image.effect_noise((SCREEN_W, SCREEN_H), 24).convert("RGB")
    img = ImageChops.add(img, noise, scale=1.0, offset=-128)
    img.save(path)
    return path


class Shots:
    """Checks and deletes the finished shots in pic/ and remembers their names."""

    def __init__(self, pic, started):
        self.pic = pic
        self.started = started
        self.names = {}          # counter -> name
        self.sizes = []

    def count(self):
        """Shots made so far: those checked and those still in pic/."""
        return len(self.names) + (len(os.listdir(self.pic)) if self.pic.is_dir() else 0)

    def check_finished(self, everything=False):
        """Checks and deletes every shot but the newest, which the program
        may still be writing (all of them once the program is idle)."""
        from PIL import Image
        listed = {}
        for name in os.listdir(self.pic):
            m = SHOT_NAME.fullmatch(name)
            expect(m, f"{name!r} in pic/ is not a shot's name")
            listed[int(m.group(7))] = name
        # Files that appear after this listing are left for the next call.
        newest = max(listed, default=0)
        for counter, name in sorted(listed.items()):
            if counter == newest and not everything:
                continue
            path = self.pic / name
            expect(counter not in self.names, f"counter {counter} used twice: {self.names.get(counter)} "
                                              f"and {name}")
            data = path.read_bytes()
            expect(data[:2] == b"\xff\xd8" and data[-2:] == b"\xff\xd9",
                   f"{name} ({len(data)} bytes) does not begin and end as a whole JPEG")
            try:
                with Image.open(path) as img:
                    fmt, size = img.format, img.size
                    img.load()
            except Exception as e:
                raise ScenarioFailed(f"{name} does not decode: {e}")
            expect(fmt == "JPEG" and size == (SCREEN_W, SCREEN_H), f"{name} is {fmt} {size}")
            m = SHOT_NAME.fullmatch(name)
            day, month, year, hour, minute, second = (int(g) for g in m.groups()[:6])
            try:
                taken = datetime.datetime(year, month, day, hour, minute, second)
            except ValueError:
                raise ScenarioFailed(f"{name} does not carry a real date and time")
            expect(self.started - datetime.timedelta(seconds=2) <= taken
                   <= datetime.datetime.now() + datetime.timedelta(seconds=2),
                   f"{name} carries {taken}, outside the run")
            self.names[counter] = name
            self.sizes.append(len(data))
            path.unlink()

    def check_sequence(self):
        counters = sorted(self.names)
        expect(counters == list(range(1, len(counters) + 1)),
               f"counters are not 1..{len(counters)}: missing "
               f"{sorted(set(range(1, max(counters) + 1)) - set(counters))[:20]}")
        expect(len(set(self.names.values())) == len(self.names), "a name was used twice")
        times = []
        for c in counters:
            m = SHOT_NAME.fullmatch(self.names[c])
            day, month, year, hour, minute, second = (int(g) for g in m.groups()[:6])
            times.append(datetime.datetime(year, month, day, hour, minute, second))
        back = [self.names[c] for c, a, b in zip(counters[1:], times, times[1:]) if b < a]
        expect(not back, f"a later counter carries an earlier time: {back[:5]}")


def burst(s, shots, target):
    """Holds F8 until `target` shots exist, checking them as they come, then
    lets go and waits for the program to be idle."""
    s.x(["xdotool", "keydown", "F8"])
    try:
        last_count, last_change = shots.count(), time.monotonic()
        while shots.count() < target:
            shots.check_finished()
            now = shots.count()
            if now != last_count:
                last_count, last_change = now, time.monotonic()
            expect(time.monotonic() - last_change < STALL,
                   f"no new shot for {STALL} s with F8 down, at {now} shots")
            time.sleep(0.2)
    finally:
        s.x(["xdotool", "keyup", "F8"])

    def idle():
        before = sorted(os.listdir(shots.pic))
        sizes = [os.path.getsize(shots.pic / n) for n in before]
        time.sleep(1.0)
        after = sorted(os.listdir(shots.pic))
        return before == after and sizes == [os.path.getsize(shots.pic / n) for n in after]
    wait_until(idle, 30, "shots kept coming after F8 was let go", interval=0)
    shots.check_finished(everything=True)


def soak(s, args):
    free = shutil.disk_usage(s.tmp).free
    print(f"soak: {free / MB / 1024:.1f} GB free in {s.tmp.parent}; shots are deleted once checked",
          flush=True)
    expect(free > 2 * 1024 * MB, "less than 2 GB free for the run")
    s.paint_root(busy_picture(s.out / "busy.png"))
    folder = s.install_app()
    app, _ = s.start_snapwick(folder)
    pid = app.proc.pid
    cmdline = Path(f"/proc/{pid}/cmdline").read_bytes().replace(b"\0", b" ").decode(errors="replace")
    expect("snapwick.exe" in cmdline.lower(), f"pid {pid} is {cmdline!r}, not the program")
    s.start_notepad()
    wait_until(lambda: app.pic.is_dir(), 10, "pic/ was not created")

    shots = Shots(app.pic, datetime.datetime.now())
    samples = []
    started = time.monotonic()
    # A leaked file handle stays open in Wine's server and usually in the
    # program too; a leaked bitmap or window could live in the X server.
    server = s.prefix_processes("wineserver")
    expect(len(server) == 1, f"Wine servers of the prefix: {server}")
    others = {"program fds": lambda: open_files(pid), "server fds": lambda: open_files(server[0]),
              "Xvfb MB": lambda: rss(s.display.proc.pid) / MB}
    print(f"{'shots':>6} {'minutes':>8} {'shots/s':>8} {'RssAnon MB':>11} {'Pss MB':>8} "
          f"{'private MB':>11} " + " ".join(f"{k:>11}" for k in others), flush=True)
    target = 0
    while target < args.shots:
        target = min(target + BURST, args.shots)
        burst(s, shots, target)
        expect(app.alive(), f"the program ended after {len(shots.names)} shots")
        figures = memory(pid)
        figures.update({k: probe() for k, probe in others.items()})
        made = len(shots.names)
        elapsed = time.monotonic() - started
        samples.append((made, figures))
        print(f"{made:6d} {elapsed / 60:8.1f} {made / elapsed:8.2f} {figures['rss_anon'] / MB:11.1f} "
              f"{figures['pss'] / MB:8.1f} {figures['private'] / MB:11.1f} "
              + " ".join(f"{figures[k]:11.1f}" if k.endswith("MB") else f"{figures[k]:11d}"
                         for k in others), flush=True)

    shots.check_sequence()
    sizes = sorted(shots.sizes)
    print(f"\n{len(shots.names)} shots, counters 1..{max(shots.names)} with no gap or repeat, every "
          f"one a whole {SCREEN_W}x{SCREEN_H} JPEG; sizes {sizes[0] // 1024}..{sizes[-1] // 1024} KB "
          f"(median {sizes[len(sizes) // 2] // 1024} KB); {(time.monotonic() - started) / 60:.1f} min",
          flush=True)

    print("\nmemory after warm-up (first sample: after the first 100 shots):")
    base_made, base = samples[0]
    # The first sample at or past each checkpoint (a burst ends a shot or two late).
    shown = sorted({next(i for i, (made, _) in enumerate(samples) if made >= c or i == len(samples) - 1)
                    for c in CHECKPOINTS})
    for made, figures in (samples[i] for i in shown):
        parts = [f"{label} {figures[key] / MB:7.1f} MB ({(figures[key] - base[key]) / MB:+6.1f})"
                 for label, key in (("RssAnon", "rss_anon"), ("Pss", "pss"), ("private", "private"))]
        print(f"  after {made:5d} shots: " + ", ".join(parts), flush=True)
    peak = max(f["private"] for _, f in samples)
    growth = samples[-1][1]["private"] - base["private"]
    xs = [made for made, _ in samples]
    ys = [f["private"] for _, f in samples]
    mean_x, mean_y = sum(xs) / len(xs), sum(ys) / len(ys)
    spread = sum((x - mean_x) ** 2 for x in xs)
    slope = sum((x - mean_x) * (y - mean_y) for x, y in zip(xs, ys)) / spread if spread else 0.0
    print(f"  private memory: {growth / MB:+.1f} MB from {base_made} to {samples[-1][0]} shots "
          f"(trend {slope:+.0f} bytes per shot over all {len(samples)} samples), "
          f"peak {peak / MB:.1f} MB; "
          f"allowed growth {args.max_growth_mb} MB and trend {args.max_trend_bytes} bytes per shot",
          flush=True)
    expect(growth < args.max_growth_mb * MB,
           f"private memory grew by {growth / MB:.1f} MB over {samples[-1][0] - base_made} shots")
    expect(slope < args.max_trend_bytes, f"private memory trends up by {slope:.0f} bytes per shot")
    last = samples[-1][1]
    print(f"  open files: program {base['program fds']} -> {last['program fds']}, Wine server "
          f"{base['server fds']} -> {last['server fds']}; Xvfb {base['Xvfb MB']:.1f} -> "
          f"{last['Xvfb MB']:.1f} MB", flush=True)
    for key in ("program fds", "server fds"):
        expect(last[key] <= base[key] + 4, f"{key} grew from {base[key]} to {last[key]}")
    expect(last["Xvfb MB"] - base["Xvfb MB"] < args.max_growth_mb,
           f"the X server grew by {last['Xvfb MB'] - base['Xvfb MB']:.1f} MB")
    expect(app.alive(), "the program ended")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--shots", type=int, default=2000)
    parser.add_argument("--dist", default=str(REPO / "dist" / "Snapwick"))
    # One 1920x1080 bitmap of 32 bits is about 8 MB: a leak of one per shot
    # would pass that within the first burst.
    parser.add_argument("--max-growth-mb", type=float, default=8.0)
    # The samples scatter by a megabyte or two (heap pages come and go); over
    # twenty samples that is a few hundred bytes per shot of trend.
    parser.add_argument("--max-trend-bytes", type=float, default=2048)
    args = parser.parse_args()
    sys.argv[1:] = [args.dist]  # Scenario takes the program's folder from here

    def on_signal(signum, _frame):
        raise ScenarioInterrupted(f"interrupted by signal {signum}")
    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)

    s = SnapwickScenario("soak")
    verdict = 1
    try:
        s.setup()
        soak(s, args)
        verdict = 0
        print("PASS: soak", flush=True)
    except (ScenarioFailed, ScenarioInterrupted) as e:
        print(f"FAIL: soak: {e}", flush=True)
        try:
            s.screenshot("failure.png")
        except Exception:
            pass
    finally:
        s.teardown()
    sys.exit(verdict)


if __name__ == "__main__":
    main()
