"""End-to-end test equipment beside the shared tools/wineplay.py (Xvfb, the
template prefix, Wine sessions, the UI driver; one display per process,
started on first use) and tools/tryout.py (captions, control IDs, where the
built programs are): the test case base class, with a fresh Wine session per
test and installers packed by quillpack. README.md lists the environment
read here."""

import os
import subprocess
import unittest

import tryout
import wineplay
from tryout import QUILLFEN_EXE, QUILLPACK

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SAMPLE = os.path.join(REPO, "examples", "tundra-maps")

FAKE_REDIST_EXE = tryout.located("FAKE_REDIST_EXE", "fake_redist.exe", "windows/tests/e2e/fake_redist.exe")
ARTIFACTS = os.environ.get("E2E_ARTIFACTS") or os.path.join(os.path.dirname(QUILLFEN_EXE), "e2e-artifacts")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def run(command, cwd=None, env=None, timeout=wineplay.COMMAND_TIMEOUT):
    """(status, stdout, stderr) of a command run in the folder cwd."""
    done = subprocess.run(command, cwd=cwd, env=env, capture_output=True, text=True, errors="replace",
                          stdin=subprocess.DEVNULL, timeout=timeout)
    return done.returncode, done.stdout, done.stderr


class InstallerTestCase(unittest.TestCase):
    """Each test gets a fresh Wine session (self.wine)."""

    def setUp(self):
        name = self.id().split(".", 1)[-1]
        self.wine = wineplay.WineSession(os.path.join(ARTIFACTS, name), tryout.UIDRIVER_EXE,
                                         keep=os.environ.get("E2E_KEEP") == "1")
        self.addCleanup(self.wine.close)

    def build_installer(self, script, agreement, files):
        """Packs an add-on with quillpack into C:\\setup\\Setup.exe of the
        prefix and returns that path. The add-on, written to C:\\addon:
        quillfen.ini (script), Umowa.txt (agreement, bytes) and each file of
        files (path with '\\' -> bytes)."""
        for name, content in {"quillfen.ini": script.encode(), "Umowa.txt": agreement, **files}.items():
            self.wine.put_file("C:\\addon\\" + name, content)
        status, _out, err = run([QUILLPACK, "build", "--stub", QUILLFEN_EXE, self.wine.unix_path("C:\\addon"),
                                 "-o", self.wine.put_file(r"C:\setup\Setup.exe", b"")])
        self.assertEqual(status, 0, "quillpack build: " + err)
        return r"C:\setup\Setup.exe"

    def read_installed(self, windows_path):
        return read(self.wine.unix_path(windows_path))

    def record(self, windows_path):
        """The labelled lines fake_redist.exe records once it has been
        started, as a dict."""
        self.assertTrue(self.wine.wait_until(lambda: self.wine.exists(windows_path)),
                        "the program was not started: no " + windows_path)
        text = self.read_installed(windows_path).decode(wineplay.CODE_PAGE)
        return dict(line.split("\t", 1) for line in text.splitlines())

    def assertEnds(self, program, status):
        """The program ended by itself, with that exit status."""
        self.assertEqual(program.wait(), status, "exit status (None: the program is still running)")
