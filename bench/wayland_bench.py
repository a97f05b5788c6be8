"""Shots and keys on a headless sway, side by side in one run; prints
figures, not a test. Run by bench/run-wayland.sh, which builds the parts:

    wayland_bench.py BUILD_DIR [--rounds N] [--sizes "WxH ..."]

At each size a fresh sway (as tests/e2e_wayland starts it) shows the
benchmark's desktop picture, and, round-robin over the rounds so that a
change of load falls on all of them:
- the bare probe (bench/wayland_probe.cpp): screencopy, TurboJPEG q80 4:2:0,
  one write, timed inside it from the byte that asks for a shot;
- the Wayland layer's ScreencopyGrabber::Grab, through its test client;
- `grim -t ppm FILE` and `grim -t ppm - | cjpeg -quality 80 >FILE`, each
  started as a whole process, from the spawn to its end.
Then the hotkey: F8 pressed and released through a virtual keyboard
(bench/wayland_key_injector.cpp), from the moment the key event left for
sway to the moment the layer's SwayHotkey reported the edge.
"""

import argparse
import statistics
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e_wayland"))

from PIL import Image  # noqa: E402

import sway_session  # noqa: E402
from sway_session import expect, wait_until  # noqa: E402

KEY_F8 = 66
VK_F8 = 0x77


def figures(values):
    values = sorted(values)
    return f"{values[0]:7.2f} / {statistics.median(values):7.2f} / {values[-1]:7.2f}"


def whole_process(argv, env, shell=False):
    start = time.monotonic()
    r = subprocess.run(argv, env=env, shell=shell, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = (time.monotonic() - start) * 1000
    expect(r.returncode == 0, f"{argv} failed: {r.stderr.decode(errors='replace')}")
    return elapsed


def bench_size(s, build, size, rounds, results):
    width, height = size
    ppm = s.tmp / f"desktop-{width}x{height}.ppm"
    with open(ppm, "wb") as out:
        subprocess.run([str(build / "bench" / "snapwick_bench_desktop_ppm"), str(width), str(height)],
                       stdout=out, check=True)
    png = s.tmp / f"desktop-{width}x{height}.png"
    Image.open(ppm).save(png)
    sway = s.sway(f"b{width}", mode=f"{width}x{height}")
    sway.swaymsg(f"output HEADLESS-1 bg {sway.readable_file(png, 'desktop.png')} stretch")
    env = sway.env()
    client = sway.start_client(build / "tests" / "e2e_wayland" / "snapwick_wayland_client",
                               tag=f"client-{width}")
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

    probe_total, probe_copy, layer, grim_ppm, grim_cjpeg = [], [], [], [], []
    for n in range(rounds):
        turns = ["probe", "layer", "grim", "cjpeg"]
        turns = turns[n % 4:] + turns[:n % 4]
        for turn in turns:
            if turn == "probe":
                probe.stdin.write(b"x")
                probe.stdin.flush()
                words = probe.stdout.readline().decode().split()
                expect(words[:1] == ["shot"], f"the probe said {words}")
                probe_copy.append(float(words[2]))
                probe_total.append(float(words[3]))
            elif turn == "layer":
                got = client.grab("")
                expect(got and got[:2] == (width, height), f"the layer's grab gave {got}")
                layer.append(got[4])
            elif turn == "grim":
                grim_ppm.append(whole_process(["grim", "-t", "ppm", str(s.tmp / "grim.ppm")], env))
            else:
                grim_cjpeg.append(whole_process(
                    f"grim -t ppm - | cjpeg -quality 80 >{s.tmp / 'grim.jpg'}", env, shell=True))
    probe.stdin.close()
    probe.wait(timeout=10)
    jpeg_bytes = (out_dir / "probe-1.jpg").stat().st_size

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
    client.quit()

    results.append((f"{width}x{height}", [
        ("bare probe: screencopy + TurboJPEG q80 + write", figures(probe_total)),
        ("  of which the copy", figures(probe_copy)),
        ("ScreencopyGrabber::Grab (the layer)", figures(layer)),
        ("grim -t ppm FILE, whole process", figures(grim_ppm)),
        ("grim -t ppm - | cjpeg -quality 80, whole", figures(grim_cjpeg)),
        ("grim|cjpeg / probe (medians)", f"{statistics.median(grim_cjpeg) / statistics.median(probe_total):7.2f} x"),
        ("key down sent -> SwayHotkey edge", figures(down)),
        ("key up sent -> SwayHotkey edge", figures(up)),
        ("probe's JPEG (bytes)", str(jpeg_bytes)),
    ]))
    sway.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", type=Path)
    parser.add_argument("--rounds", type=int, default=30)
    parser.add_argument("--sizes", default="1920x1080 3840x2160")
    args = parser.parse_args()
    sizes = [tuple(int(v) for v in size.split("x")) for size in args.sizes.split()]
    results = []

    def body(s):
        for size in sizes:
            bench_size(s, args.build.resolve(), size, args.rounds, results)
        with open("/proc/loadavg") as f:
            load = f.read().split()[:3]
        print(f"\nmin / median / max in ms over {args.rounds} rounds each, load {' '.join(load)}")
        for size, rows in results:
            print(f"\n{size}")
            for label, value in rows:
                print(f"  {label:48} {value}")

    sway_session.run("wayland_bench", body, deadline=1800)


main()
