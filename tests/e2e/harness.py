"""The end-to-end tests' base class (a fresh Wine session per test, installers
packed by quillpack) beside the shared tools/wineplay.py and tools/tryout.py.
README.md lists the environment read here."""

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
        self.wine = wineplay.WineSession(os.path.join(ARTIFACTS, self.id().split(".", 1)[-1]), tryout.UIDRIVER_EXE,
                                         keep=os.environ.get("E2E_KEEP") == "1")
        self.addCleanup(self.wine.close)

    def build_installer(self, script, agreement, files):
        """Packs C:\\addon (quillfen.ini, Umowa.txt and files: path -> bytes)
        with quillpack into C:\\setup\\Setup.exe of the prefix; that path."""
        for name, content in {"quillfen.ini": script.encode(), "Umowa.txt": agreement, **files}.items():
            self.wine.put_file("C:\\addon\\" + name, content)
        status, _out, err = run([QUILLPACK, "build", "--stub", QUILLFEN_EXE, self.wine.unix_path("C:\\addon"),
                                 "-o", self.wine.put_file(r"C:\setup\Setup.exe", b"")])
        self.assertEqual(status, 0, "quillpack build: " + err)
        return r"C:\setup\Setup.exe"

    def read_installed(self, windows_path):
        return read(self.wine.unix_path(windows_path))

    def record(self, windows_path):
        """The labelled lines fake_redist.exe records once started, as a dict."""
        self.assertTrue(self.wine.wait_until(lambda: self.wine.exists(windows_path)),
                        "the program was not started: no " + windows_path)
        text = self.read_installed(windows_path).decode(wineplay.CODE_PAGE)
        return dict(line.split("\t", 1) for line in text.splitlines())
