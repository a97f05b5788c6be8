"""forky's sway 1.12, headless in the chroot forky of tools/chroots.sh, as a
sway scenario's session (tests/e2e_wayland/sway_session.py): sway and the
tools run as the session's user (wtype, grim, wev, swaybg) are forky's,
started inside the chroot; the scenario's temporary folder is bound at its
own path inside, so the program built here, the test client and swaymsg
use the session by path as on Debian 12's sway:

    sway = s.sway("shots", session_class=ForkySway, config=...)
    sway.wtype("-P", "F8", "-s", "20", "-p", "F8")      # forky's wtype
    app = start(s, sway, install(sway))                 # the program, here

Stopping the session ends what still runs inside and unmounts the chroot.
"""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e_wayland"))

from chroot import Chroot, ChrootFailed  # noqa: E402
from sway_session import ScenarioFailed, SwaySession  # noqa: E402

__all__ = ["ForkySway"]


class ForkySway(SwaySession):
    chroot_name = "forky"

    def __init__(self, scenario, name, **kw):
        super().__init__(scenario, name, **kw)
        self.chroot = Chroot(self.chroot_name, shared=[scenario.tmp], users=[self.user])

    def user_command(self, env, argv):
        return self.chroot.user_argv(
            self.user, ["env", "-i", *(f"{k}={v}" for k, v in env.items()), *argv], cwd=self.home)

    def start(self):
        try:
            self.chroot.__enter__()
        except ChrootFailed as failure:
            raise ScenarioFailed(str(failure)) from failure
        return super().start()

    def stop(self):
        try:
            super().stop()
        finally:
            try:
                self.chroot.close()
            except ChrootFailed as failure:
                raise ScenarioFailed(str(failure)) from failure
