#!/usr/bin/env python3
"""The demo: the sample add-on packed, verified and planned by quillpack,
then installed and uninstalled as a person would, in a fresh Wine prefix
on a virtual display, with what it leaves behind shown at each step (the
same run as `quillpack-try`).

    make demo                # builds first, then runs this
    python3 tools/demo.py    # with the builds already there

Paths, from the environment (defaults in brackets):
  QUILLFEN_EXE   the installer stub        [build/windows/quillfen.exe]
  UIDRIVER_EXE   the UI driver             [build/windows/tools/uidriver/uidriver.exe]
  QUILLPACK      the native quillpack      [build/host/tools/quillpack/quillpack]
  DEMO_DIR       the installer, the screenshots and the Wine logs [build/demo]
INTERACTIVE=1 with a DISPLAY: the installer and the uninstaller open on
that display and you press the buttons yourself.
"""

import os
import subprocess
import sys

import tryout
from tryout import say, step

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
ADDON = os.path.join(REPO, "examples", "tundra-maps")
DEMO_DIR = os.path.abspath(os.environ.get("DEMO_DIR") or os.path.join(REPO, "build", "demo"))
INSTALLER = "TundraMaps-Setup.exe"


def quillpack(*args):
    """Runs quillpack, prints the command and its output; False on failure."""
    shown = [os.path.relpath(a, REPO) if os.path.isabs(a) else a for a in args]
    say("$ quillpack " + " ".join(shown))
    done = subprocess.run([tryout.QUILLPACK] + list(args), capture_output=True, text=True,
                          stdin=subprocess.DEVNULL, timeout=60)
    say((done.stdout + done.stderr).rstrip())
    return done.returncode == 0


def main():
    missing = [path for path in (tryout.QUILLFEN_EXE, tryout.UIDRIVER_EXE, tryout.QUILLPACK)
               if not os.path.isfile(path)]
    if missing:
        print("not built yet: %s\n(run `make demo`, which builds both first, or set QUILLFEN_EXE, "
              "UIDRIVER_EXE and QUILLPACK)" % ", ".join(missing), file=sys.stderr)
        return 1
    os.makedirs(DEMO_DIR, exist_ok=True)
    installer = os.path.join(DEMO_DIR, INSTALLER)
    step("Packing the sample add-on %s into an installer" % os.path.relpath(ADDON, REPO))
    if not quillpack("build", "--stub", tryout.QUILLFEN_EXE, ADDON, "-o", installer):
        return 1
    step("What the installer holds")
    if not quillpack("list", installer):
        return 1
    step("Checking it as the installer and the uninstaller will read it")
    if not quillpack("verify", "--strict", installer):
        return 1
    step("What installing and then uninstalling it will do")
    if not quillpack("plan", installer):
        return 1
    return tryout.try_installer(installer, DEMO_DIR, interactive=os.environ.get("INTERACTIVE") == "1")


if __name__ == "__main__":
    sys.exit(main())
