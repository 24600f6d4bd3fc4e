"""End-to-end test equipment beside the shared tools/wineplay.py (Xvfb, the
template prefix, Wine sessions, the UI driver; one display per process,
started on first use) and tools/tryout.py (captions, control IDs, where the
built programs are): the test case base class, with a fresh Wine session per
test and installers packed by quillpack. README.md lists the environment
read here."""

import os
import shutil
import subprocess
import unittest

import tryout
import wineplay
from tryout import QUILLFEN_EXE, QUILLPACK

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SAMPLE = os.path.join(REPO, "examples", "tundra-maps")

FAKE_REDIST_EXE = tryout.located("FAKE_REDIST_EXE", "fake_redist.exe", "windows/tests/e2e/fake_redist.exe")
ARTIFACTS = (os.environ.get("E2E_ARTIFACTS")
             or os.path.join(os.path.dirname(QUILLFEN_EXE), "e2e-artifacts"))


def read(path):
    with open(path, "rb") as f:
        return f.read()


def run(command, cwd=None, env=None, timeout=wineplay.COMMAND_TIMEOUT):
    """(status, stdout, stderr) of a command run in the folder cwd."""
    done = subprocess.run(command, cwd=cwd, env=env, capture_output=True, text=True, errors="replace",
                          stdin=subprocess.DEVNULL, timeout=timeout)
    return done.returncode, done.stdout, done.stderr


class InstallerTestCase(unittest.TestCase):
    """Each test gets a fresh Wine session (self.wine) and a scratch folder
    (self.scratch) for add-ons and installers."""

    def setUp(self):
        name = self.id().split(".", 1)[-1]
        self.wine = wineplay.WineSession(os.path.join(ARTIFACTS, name), tryout.UIDRIVER_EXE,
                                         keep=os.environ.get("E2E_KEEP") == "1")
        self.addCleanup(self.wine.close)
        self.scratch = os.path.join(self.wine.folder, "scratch")
        os.makedirs(self.scratch)

    def build_installer(self, script, agreement, files):
        """Packs an add-on with quillpack into C:\\setup\\Setup.exe of the
        prefix and returns that path. The add-on: quillfen.ini (script),
        Umowa.txt (agreement, bytes) and each file of files (path with '\\'
        -> bytes)."""
        addon = os.path.join(self.scratch, "addon")
        for name, content in {"quillfen.ini": script.encode(), "Umowa.txt": agreement, **files}.items():
            path = os.path.join(addon, *name.split("\\"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(content)
        installer = os.path.join(self.scratch, "Setup.exe")
        status, _out, err = run([QUILLPACK, "build", "--stub", QUILLFEN_EXE, addon, "-o", installer])
        self.assertEqual(status, 0, "quillpack build: " + err)
        shutil.copyfile(installer, self.wine.put_file(r"C:\setup\Setup.exe", b""))
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
        ended = program.wait()
        self.assertIsNotNone(ended, "the program is still running")
        self.assertEqual(ended, status, "exit status")
