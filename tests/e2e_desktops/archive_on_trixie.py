"""The Linux archive (tools/linux_archive.sh over dist/snapwick-linux, as
tools/release.sh makes it) on a clean Debian 13 that holds only the runtime
packages the README names (the chroot trixie-base, under a throwaway
overlay): every library resolves (ldd -r), and the program, unpacked and
run there by an ordinary user on an Xvfb of this machine (its socket bound
inside), shows its window and saves a whole 1920x1080 JPEG of the screen
for F8. The README names every package the chroot was made from, and the
archive holds the shipped files and nothing a run from dist/ left there.

    archive_on_trixie.py   (the chroot trixie-base: bash tools/chroots.sh make trixie-base)
"""

import os
import re
import signal
import subprocess
import sys
import tarfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parent / "e2e"))
sys.path.append(str(HERE.parent / "e2e_portals"))

from chroot import CHROOTS_SH, REPO, Chroot, ChrootFailed  # noqa: E402
from shots import SHOT_NAME, check_against_pattern, make_test_pattern, open_jpeg  # noqa: E402
from stacks import ensure_user  # noqa: E402
from xdisplay import ScenarioFailed, expect, run, wait_until  # noqa: E402

SHIPPED = ["snapwick-linux", "snapwick-linux/snapwick", "snapwick-linux/wav", "snapwick-linux/wav/1.wav",
           "snapwick-linux/wav/2.wav", "snapwick-linux/example.kelmont.Snapwick.desktop",
           "snapwick-linux/example.kelmont.Snapwick.png"]
DIST = Path(os.environ.get("SNAPWICK_LINUX_DIST", REPO / "dist" / "snapwick-linux"))


def readme_runtime_packages():
    """The words in backquotes of the README's paragraph on what the Linux
    archive needs."""
    text = (REPO / "README.md").read_text()
    start = text.index("The Linux archive needs")
    paragraph = text[start:text.index("\n\n", start)]
    return {word for quoted in re.findall(r"`([^`]+)`", paragraph) for word in quoted.split()}


def shots(pic):
    return sorted(n for n in os.listdir(pic) if SHOT_NAME.fullmatch(n)) if pic.is_dir() else []


def body(s):
    wanted = subprocess.run(["bash", str(CHROOTS_SH), "packages", "trixie-base"], capture_output=True,
                            text=True, check=True).stdout.split()
    unnamed = sorted(set(wanted) - readme_runtime_packages())
    expect(not unnamed, f"the README's runtime packages leave out {unnamed}, which the archive needs")

    user = ensure_user()
    s.tmp.chmod(0o755)
    home, runtime = s.tmp / "home", s.tmp / "run"
    for folder in (home, runtime):
        folder.mkdir(mode=0o700)
        os.chown(folder, user.pw_uid, user.pw_gid)
    archive = s.tmp / "snapwick-linux-x86_64.tar.gz"
    expect((DIST / "snapwick").is_file(), f"{DIST}/snapwick is missing: build the linux-app preset")
    subprocess.run(["bash", str(REPO / "tools" / "linux_archive.sh"), str(DIST), str(archive)], check=True)
    archive.chmod(0o644)
    # Runs from dist/ leave shots and settings there; none may ship.
    with tarfile.open(archive) as packed:
        members = sorted(packed.getnames())
    expect(members == sorted(SHIPPED), f"the archive holds {members}, not only the shipped files")

    try:
        with Chroot("trixie-base", shared=[s.tmp, Path("/tmp/.X11-unix")], users=[user]) as trixie:
            s.log(f"trixie-base mounted in {trixie.timings['mount'] * 1000:.0f} ms at {trixie.root}")
            trixie.run(["tar", "-C", str(home), "-xzf", str(archive)], user=user)
            program = home / "snapwick-linux" / "snapwick"
            ldd = trixie.run(["ldd", "-r", str(program)])
            unresolved = [line.strip() for line in (ldd.stdout + ldd.stderr).splitlines()
                          if "not found" in line or "undefined symbol" in line]
            expect(not unresolved, f"in trixie-base ldd -r leaves unresolved: {unresolved[:5]}")

            s.paint_root(make_test_pattern(s.tmp / "pattern.png"))
            env = {"PATH": "/usr/bin:/bin", "HOME": str(home), "XDG_RUNTIME_DIR": str(runtime),
                   "DISPLAY": s.display.name, "LANG": "C.UTF-8", "XDG_SESSION_TYPE": "x11"}
            log = open(s.out / "snapwick.log", "ab")
            proc = subprocess.Popen(trixie.user_argv(user, [str(program)], cwd=home), env=env,
                                    stdin=subprocess.DEVNULL, stdout=log, stderr=log)
            log.close()
            s.children.append(proc)

            def shown():
                expect(proc.poll() is None, f"the program ended during start-up (status {proc.returncode}): "
                                            f"{(s.out / 'snapwick.log').read_text(errors='replace')!r}")
                return s.windows(r"Snapwick.*", visible_only=True)
            window = wait_until(shown, 30, "the program's window was not shown")[0]
            s.log(f"window {window.title()!r} shown")

            # The window may be shown before the key is watched: a tap a
            # second until the first shot.
            pic = home / "snapwick-linux" / "pic"

            def tapped():
                s.x(["xdotool", "key", "F8"])
                deadline = time.monotonic() + 1
                while not shots(pic) and time.monotonic() < deadline:
                    time.sleep(0.05)
                return shots(pic)
            names = wait_until(tapped, 15, f"F8 tapped for 15 s made no shot in {pic}")
            shot = open_jpeg(pic / names[0])
            tiles = check_against_pattern(shot, s.visible_window_rects(), names[0])
            expect(tiles >= 12, f"only {tiles} tiles of the pattern left uncovered to compare")

            proc.send_signal(signal.SIGTERM)
            expect(proc.wait(timeout=10) == 0, f"the program ended with status {proc.returncode} on SIGTERM")
    except ChrootFailed as failure:
        raise ScenarioFailed(str(failure)) from failure


run("desktops_archive_on_trixie", body, deadline=120)
