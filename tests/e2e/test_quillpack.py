#!/usr/bin/env python3
"""quillpack and quillpack-try as an author runs them: the stub found where
`make install` puts it (and beside quillpack.exe under Wine), and
quillpack-try's report and exit status for an installer that goes through
and for one that does not.

Run one class by hand:  python3 test_quillpack.py QuillpackTest -v
(see README.md for the environment it needs)."""

import os
import shutil
import tempfile
import unittest

import harness
import tryout
import wineplay
from harness import QUILLPACK, SAMPLE, read, run, setUpModule, tearDownModule  # noqa: F401 (unittest calls them)

QUILLPACK_EXE = (os.environ.get("QUILLPACK_EXE") or
                 os.path.join(os.path.dirname(tryout.QUILLFEN_EXE), "tools", "quillpack", "quillpack.exe"))
QUILLPACK_TRY = os.path.join(harness.REPO, "tools", "quillpack-try")


class ScratchTestCase(unittest.TestCase):

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="quillfen-quillpack-")
        self.addCleanup(shutil.rmtree, self.folder)

    def build(self, name, *options, quillpack=QUILLPACK):
        """The bytes of the sample add-on's installer, built into name."""
        status, _out, err = run([quillpack, "build", *options, SAMPLE, "-o", name], self.folder)
        self.assertEqual((status, err), (0, ""))
        return read(os.path.join(self.folder, name))


class QuillpackTest(ScratchTestCase):

    def test_installed_quillpack_takes_the_installed_stub(self):
        # The layout of `make install`: PREFIX/bin/quillpack and
        # PREFIX/share/quillfen/quillfen.exe.
        for program, place in ((QUILLPACK, "bin"), (tryout.QUILLFEN_EXE, os.path.join("share", "quillfen"))):
            os.makedirs(os.path.join(self.folder, place))
            shutil.copy(program, os.path.join(self.folder, place))
        self.assertEqual(self.build("installed.exe", quillpack=os.path.join(self.folder, "bin", "quillpack")),
                         self.build("given.exe", "--stub", tryout.QUILLFEN_EXE))

    def test_windows_quillpack_takes_the_stub_beside_it(self):
        for program in (QUILLPACK_EXE, tryout.QUILLFEN_EXE):
            shutil.copy(program, self.folder)
        shutil.copytree(SAMPLE, os.path.join(self.folder, "addon"))
        session = wineplay.WineSession(headless=True)
        self.addCleanup(session.close)
        status, out, _err = run(["wine", "quillpack.exe", "build", "addon", "-o", "windows.exe"], self.folder,
                                env=dict(session.env, WINEDEBUG="-all"))
        self.assertEqual(status, 0)
        self.assertIn("quillpack: wrote windows.exe: ", out)
        self.assertEqual(read(os.path.join(self.folder, "windows.exe")),
                         self.build("linux.exe", "--stub", tryout.QUILLFEN_EXE))


class TryTest(ScratchTestCase):

    def try_installer(self):
        return run([QUILLPACK_TRY, "Setup.exe", "--out", "try"], self.folder, timeout=300)

    def test_an_installer_that_goes_through(self):
        self.build("Setup.exe", "--stub", tryout.QUILLFEN_EXE)
        status, out, err = self.try_installer()
        self.assertEqual(status, 0, err)
        for line in ('message box "Installation": Installation successfully completed',
                     r"Maps\Arctic\glacier.map                    204298 bytes",
                     'message box "Uninstallation": Uninstallation finished',
                     "installed files: all gone", "installed folders: all gone",
                     "nothing the installation made is left"):
            self.assertIn(line, out)
        self.assertLessEqual({"agreement.png", "destination.png", "success.png", "uninstall-question.png",
                              "uninstall-finished.png"}, set(os.listdir(os.path.join(self.folder, "try"))))

    def test_an_installer_that_fails(self):
        installer = self.build("Setup.exe", "--stub", tryout.QUILLFEN_EXE)
        path = os.path.join(self.folder, "Setup.exe")
        glacier = {e.name: e for e in wineplay.read_package(path)}[r"Maps\Arctic\glacier.map.gz"]
        at = glacier.offset + glacier.size - 8   # the first byte of its CRC-32
        with open(path, "r+b") as f:
            f.seek(at)
            f.write(bytes([installer[at] ^ 1]))
        status, out, err = self.try_installer()
        self.assertEqual(status, 1)
        self.assertIn('message box "Error": This installer is damaged and cannot install anything. '
                      'Please download it again.', out)
        self.assertIn("the installer ended with status 1", out)
        self.assertIn("failed: the installer stopped before its agreement dialog", err)
        self.assertTrue(os.path.exists(os.path.join(self.folder, "try", "box-1.png")))


if __name__ == "__main__":
    unittest.main()
