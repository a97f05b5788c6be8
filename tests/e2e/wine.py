"""Wine under a scenario: a prefix of its own (cloned from a template booted
once), the environment and code page its programs run with, Windows paths
and drive letters, other Windows programs such as notepad, and Wine's own
tray window.

Facts about Wine 8 on a bare Xvfb that the helpers rely on:
- Controls inside a top-level Wine window are not X windows.
- GetAsyncKeyState sees keys only while a window of the same prefix has the
  X focus, so "another program in front" is a Wine program (notepad).
- Tray icons live in Wine's own "Wine System Tray" window, one 20 px slot per
  icon; Wine unmaps that window when its last icon is removed.
- `wineserver -k` with WINEPREFIX set ends only that prefix's processes.
"""

import fcntl
import os
import shutil
import subprocess
from pathlib import Path

from xdisplay import REPO, Scenario, expect

# The two ANSI code pages a Cyrillic program folder is tried under, as
# (case, Unix locale): Western 1252 has no Cyrillic letters, Russian 1251 has.
CODE_PAGE_LOCALES = [("western", "C.UTF-8"), ("russian", "ru_RU.UTF-8")]

TRAY_SLOT = 20      # width of one icon slot in Wine's tray window
TRAY_ICON = 16


def wine_env(display, prefix):
    env = dict(os.environ)
    env.update({
        "DISPLAY": display,
        "WINEPREFIX": str(prefix),
        "WINEDEBUG": "-all",
        # No desktop menu entries in $HOME, no Mono/Gecko install dialogs.
        "WINEDLLOVERRIDES": "winemenubuilder.exe=d;mscoree=d;mshtml=d",
        # Wine maps Unix file names through the locale's charset: UTF-8, so
        # that a folder with Cyrillic letters reaches the program intact.
        "LANG": "C.UTF-8",
        "LC_ALL": "C.UTF-8",
    })
    env.pop("WINESERVER", None)
    return env


def _prefix_key():
    version = subprocess.run(["wine", "--version"], capture_output=True, text=True,
                             env=dict(os.environ, WINEDEBUG="-all")).stdout.strip()
    stamp = ""
    for inf in ("/usr/share/wine/wine.inf", "/usr/lib/wine/wine.inf"):
        if os.path.exists(inf):
            stamp = str(os.stat(inf).st_mtime_ns)
            break
    return f"{version} {stamp}\n"


def prefix_template(cache_dir, display, log):
    """A booted prefix, made once per cache folder and shared read-only.

    wineboot costs about ten seconds; every scenario clones this instead.
    """
    cache_dir.mkdir(parents=True, exist_ok=True)
    template = cache_dir / "prefix"
    key = _prefix_key()
    with open(cache_dir / "prefix.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        key_file = template / ".snapwick-key"
        if key_file.exists() and key_file.read_text() == key:
            return template
        # Half-made templates of runs killed while booting (made only under
        # this lock, so none is in use).
        for stale in cache_dir.glob("prefix.new.*"):
            shutil.rmtree(stale, ignore_errors=True)
        fresh = cache_dir / f"prefix.new.{os.getpid()}"
        env = wine_env(display, fresh)
        log(f"booting a Wine prefix template in {template}")
        subprocess.run(["wineboot", "-i"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=180)
        # The registry is written to disk when the prefix's server exits.
        subprocess.run(["wineserver", "-w"], env=env, timeout=120)
        expect((fresh / "system.reg").exists(), "wineboot did not create a prefix")
        (fresh / ".snapwick-key").write_text(key)
        shutil.rmtree(template, ignore_errors=True)
        os.rename(fresh, template)
        return template


def clone_prefix(template, target):
    """Copies a prefix; the big system DLLs are hard-linked, never written."""
    for root, dirs, files in os.walk(template):
        rel = Path(root).relative_to(template)
        out = target / rel
        out.mkdir(parents=True, exist_ok=True)
        in_windows = rel.parts[:2] == ("drive_c", "windows")
        for name in dirs + files:
            src = Path(root) / name
            if src.is_symlink():
                os.symlink(os.readlink(src), out / name)
                if name in dirs:
                    dirs.remove(name)
        for name in files:
            src = Path(root) / name
            if src.is_symlink():
                continue
            if in_windows and src.stat().st_size >= 64 * 1024:
                try:
                    os.link(src, out / name)
                    continue
                except OSError:
                    pass  # another file system: copy instead
            shutil.copy2(src, out / name)
    (target / ".snapwick-key").unlink(missing_ok=True)


def windows_path(path):
    """The Windows name of a Unix path, through Wine's drive Z:."""
    return "Z:" + str(Path(path)).replace("/", "\\")


def map_drive(s, letter, folder):
    """Makes folder the prefix's drive letter (for instance "e")."""
    link = s.prefix / "dosdevices" / f"{letter.lower()}:"
    expect(not os.path.lexists(link), f"drive {letter}: is mapped already")
    os.symlink(folder, link)


class WineScenario(Scenario):
    """A scenario with a Wine prefix of its own on its display."""

    default_output = REPO / "build" / "windows" / "e2e-output"

    def __init__(self, name):
        super().__init__(name)
        self.cache = Path(os.environ.get("SNAPWICK_E2E_CACHE",
                                         REPO / "build" / "windows" / "e2e-cache"))
        self.prefix = self.tmp / "prefix"

    def setup(self):
        super().setup()
        self.env = wine_env(self.display.name, self.prefix)
        clone_prefix(prefix_template(self.cache, self.display.name, self.log), self.prefix)

    def teardown(self):
        if self.env:
            self.end_wine()
        super().teardown()

    def end_wine(self):
        """Ends every Wine process of the prefix and waits for its server."""
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)
        self.end_children()
        # The server lingers a moment after its last client.
        subprocess.run(["wineserver", "-w"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)

    def use_locale(self, name):
        """The Unix locale for the next Wine session; Wine takes its ANSI code
        page from it (C.UTF-8: 1252, ru_RU.UTF-8: 1251). Call it while no Wine
        process of the prefix runs."""
        self.env["LANG"] = self.env["LC_ALL"] = name

    def start_wine_program(self, *argv, log_path=None):
        return self.spawn(["wine", *argv], log_path)

    def start_notepad(self):
        """Starts Wine's notepad, gives it the focus and returns its window."""
        self.start_wine_program("notepad")
        window = self.wait_window(r".*Notepad", what="notepad's window was not shown")
        window.focus()
        return window

    def prefix_processes(self, image_name):
        """Pids of this prefix's Wine processes whose command line names image_name."""
        pids = []
        wanted = f"WINEPREFIX={self.prefix}".encode()
        for entry in Path("/proc").iterdir():
            if not entry.name.isdigit():
                continue
            try:
                environ = (entry / "environ").read_bytes().split(b"\0")
                cmdline = (entry / "cmdline").read_bytes().replace(b"\0", b" ")
                state = (entry / "stat").read_text().rsplit(")", 1)[1].split()[0]
            except OSError:
                continue
            if state != "Z" and wanted in environ and image_name.lower().encode() in cmdline.lower():
                pids.append(int(entry.name))
        return pids

    # -- Wine's tray window

    def tray_window(self):
        found = self.windows(r"Wine System Tray")
        return found[0] if found else None

    def tray_icons(self):
        """Number of occupied icon slots in Wine's tray window (0 if it is hidden)."""
        tray = self.tray_window()
        if tray is None or not tray.viewable():
            return 0
        r = self.x(["import", "-window", str(tray.id), "png:-"], check=False, timeout=20)
        if r.returncode != 0:
            return 0
        from io import BytesIO
        from PIL import Image
        img = Image.open(BytesIO(r.stdout)).convert("RGB")
        background = max(img.getcolors(img.width * img.height))[1]
        count = 0
        for slot in range(img.width // TRAY_SLOT):
            box = img.crop((slot * TRAY_SLOT + 2, 2, slot * TRAY_SLOT + 2 + TRAY_ICON, 2 + TRAY_ICON))
            pixels = list(box.getdata())
            if sum(p != background for p in pixels) > len(pixels) // 8:
                count += 1
        return count

    def point_at_tray_icon(self):
        """Puts the pointer on the first icon of Wine's tray window."""
        tray = self.tray_window()
        expect(tray is not None and tray.viewable(), "Wine System Tray window is not shown")
        x, y, _, _, _ = tray.info()
        self.move_pointer(x + TRAY_SLOT // 2, y + TRAY_SLOT // 2)

    def click_tray_icon(self, double=False, button=1):
        self.point_at_tray_icon()
        if double:
            self.x(["xdotool", "click", "--repeat", "2", "--delay", "80", str(button)])
        else:
            self.x(["xdotool", "click", str(button)])
