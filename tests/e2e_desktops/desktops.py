"""Today's desktops headless, each in a chroot of tools/chroots.sh, as the
portal scenarios' stacks (tests/e2e_portals/stacks.py): the same user,
folders, session bus, PipeWire and teardown, with the desktop's own
programs (bus, media server, compositor, portals) run inside the chroot and
the tests' programs and tools (busctl, the probes, the program itself)
here, by path, against the same sockets:

    with Gnome50() as gnome:                    # or Gnome48, Kwin6, Labwc
        gnome.portal_version("GlobalShortcuts")  # busctl from here
        gnome.spawn_user([program])              # runs here
        gnome.spawn_user(["wayland-info"], desktop=True)   # runs inside

    Gnome48   trixie's GNOME 48 (chroot trixie-gnome)
    Gnome50   forky's GNOME 50 (chroot forky)
    Kwin6     forky's KWin 6.7, Plasma 6's portal and global shortcuts
    Labwc     forky's labwc 0.20, rc.xml's key bindings and window rules given
              by the scenario

forky's sway 1.12 is a sway scenario's session instead: see forky_sway.py.
"""

import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.append(str(Path(__file__).resolve().parents[1] / "e2e_portals"))

from chroot import Chroot, ChrootFailed  # noqa: E402
from stacks import GnomeStack, KdeStack, Stack, StackFailed, wait_until  # noqa: E402

__all__ = ["ChrootStack", "Gnome48", "Gnome50", "Kwin6", "Labwc", "StackFailed"]


class ChrootStack(Stack):
    """A Stack whose desktop runs in chroot `chroot_name`, with the
    stack's folder bound at its own path inside."""

    chroot_name = None

    def __init__(self):
        super().__init__()
        self.chroot = Chroot(self.chroot_name, shared=[self.root], users=[self.user])

    def _desktop_argv(self, argv):
        return self.chroot.user_argv(self.user, argv, cwd=self.home)

    def desktop_file(self, path):
        return str(self.chroot.path(path))

    def __enter__(self):
        try:
            self.chroot.__enter__()
        except ChrootFailed as failure:
            self.close()
            raise StackFailed(f"{self.name}: {failure}") from failure
        self.timings["chroot"] = self.chroot.timings["mount"]
        return super().__enter__()

    def after_close(self):
        try:
            self.chroot.close()
        except ChrootFailed as failure:
            raise StackFailed(f"{self.name}: {failure}") from failure


class _ChrootGnome(ChrootStack, GnomeStack):
    """gnome-shell's private mount namespace made from here: unshare -m
    fails inside a chroot ("cannot change root filesystem propagation")."""

    def _namespace_argv(self, shell):
        return ["unshare", "-m", "--propagation", "private", "/usr/sbin/chroot", str(self.chroot.root),
                "sh", "-c", "mkdir -p /run/systemd /run/dbus\n" + shell]

    def _namespace_user_argv(self):
        return self.chroot.inside_argv(self.user, [], cwd=self.home)


class Gnome48(_ChrootGnome):
    name = "gnome48"
    chroot_name = "trixie-gnome"


class Gnome50(_ChrootGnome):
    name = "gnome50"
    chroot_name = "forky"


class Kwin6(ChrootStack, KdeStack):
    """kwin_wayland 6.7 --virtual with Plasma 6's portal; KWin loads the
    global shortcuts daemon itself. The services' cache (kbuildsycoca6)
    is made first, or the portal finds no application."""

    name = "kwin6"
    chroot_name = "forky"
    plasma = "6"
    window_list = "workspace.windowList()"
    active_window = "workspace.activeWindow"

    def up(self):
        started = time.monotonic()
        self.run_user(["kbuildsycoca6"], desktop=True, timeout=60,
                      env={"XDG_CURRENT_DESKTOP": "KDE"})
        self.timings["sycoca"] = time.monotonic() - started
        super().up()


class Labwc(ChrootStack):
    """labwc on the headless backend with one 1920x1080 output; `keybinds`
    is rc.xml's <keyboard> content (a <keybind> that runs a command),
    `window_rules` its <windowRules> content (where windows go)."""

    name = "labwc"
    chroot_name = "forky"
    display = "wayland-0"

    def __init__(self, keybinds="", window_rules=""):
        super().__init__()
        self.keybinds = keybinds
        self.window_rules = window_rules

    def up(self):
        started = time.monotonic()
        self.env.update({"XDG_CURRENT_DESKTOP": "labwc:wlroots", "WAYLAND_DISPLAY": self.display,
                         "WLR_BACKENDS": "headless", "WLR_RENDERER": "pixman",
                         "WLR_LIBINPUT_NO_DEVICES": "1", "WLR_HEADLESS_OUTPUTS": "1"})
        self.start_session_bus()
        config = self.home / ".config" / "labwc"
        self.user_file(".config/labwc/rc.xml", (
            '<?xml version="1.0"?>\n<labwc_config>\n'
            f"<keyboard>\n{self.keybinds}\n</keyboard>\n"
            f"<windowRules>\n{self.window_rules}\n</windowRules>\n</labwc_config>\n").encode())
        compositor = self.spawn_user(["labwc", "-C", str(config)], log="labwc", desktop=True)
        wait_until("labwc's socket",
                   lambda: (self.runtime / self.display).exists() or compositor.poll() is not None,
                   20)
        if compositor.poll() is not None:
            raise StackFailed("labwc exited:\n" + self.log_tail("labwc"))
        self.run_user(["wlr-randr", "--output", "HEADLESS-1", "--custom-mode", "1920x1080"],
                      desktop=True)
        self.timings["compositor"] = time.monotonic() - started
