#!/usr/bin/env python3
"""quillpack and quillpack-try as an author runs them: the stub found where
`make install` puts it and beside quillpack.exe under Wine; quillpack-try on an
installer that goes through and on a damaged one. By hand: python3
test_quillpack.py -v (README.md: the environment)."""

import os
import pathlib
import shutil
import tempfile
import unittest

import harness
import tryout
import wineplay
from harness import QUILLPACK, SAMPLE, read, run

QUILLPACK_EXE = tryout.located("QUILLPACK_EXE", "quillpack.exe", "windows/tools/quillpack/quillpack.exe")
QUILLPACK_TRY = os.path.join(harness.REPO, "tools", "quillpack-try")


class QuillpackTest(unittest.TestCase):

    def setUp(self):
        self.folder = self.enterContext(tempfile.TemporaryDirectory(prefix="quillfen-quillpack-"))

    def build(self, name, *options, quillpack=QUILLPACK):
        """The bytes of the sample add-on's installer, built into name."""
        status, _out, err = run([quillpack, "build", *options, SAMPLE, "-o", name], self.folder)
        self.assertEqual((status, err), (0, ""))
        return read(os.path.join(self.folder, name))

    def test_quillpack_takes_the_installed_stub(self):
        given = self.build("given.exe", "--stub", tryout.QUILLFEN_EXE)
        # The layout of `make install`: PREFIX/bin/quillpack, PREFIX/share/quillfen/quillfen.exe.
        for program, place in ((QUILLPACK, "bin"), (tryout.QUILLFEN_EXE, os.path.join("share", "quillfen"))):
            os.makedirs(os.path.join(self.folder, place))
            shutil.copy(program, os.path.join(self.folder, place))
        self.assertEqual(self.build("installed.exe", quillpack=os.path.join(self.folder, "bin", "quillpack")), given)
        # quillpack.exe under Wine, with the stub beside it.
        for program in (QUILLPACK_EXE, tryout.QUILLFEN_EXE):
            shutil.copy(program, self.folder)
        shutil.copytree(SAMPLE, os.path.join(self.folder, "addon"))
        session = wineplay.WineSession(headless=True)
        self.addCleanup(session.close)
        status, out, _err = run(["wine", "quillpack.exe", "build", "addon", "-o", "windows.exe"], self.folder,
                                env=dict(session.env, WINEDEBUG="-all"))
        self.assertEqual(status, 0)
        self.assertIn("quillpack: wrote windows.exe: ", out)
        self.assertEqual(read(os.path.join(self.folder, "windows.exe")), given)

    def test_an_installer_that_goes_through_then_a_damaged_one(self):
        installer = self.build("Setup.exe", "--stub", tryout.QUILLFEN_EXE)
        status, out, err = run([QUILLPACK_TRY, "Setup.exe", "--out", "try"], self.folder, timeout=300)
        self.assertEqual(status, 0, err)
        for line in ('message box "Installation": Installation successfully completed',
                     r"Maps\Arctic\glacier.map                    204298 bytes",
                     'message box "Uninstallation": Uninstallation finished',
                     "installed files: all gone", "installed folders: all gone",
                     "nothing the installation made is left"):
            self.assertIn(line, out)
        self.assertLessEqual({"agreement.png", "destination.png", "success.png", "uninstall-question.png",
                              "uninstall-finished.png"}, set(os.listdir(os.path.join(self.folder, "try"))))

        # One bit of a member's CRC-32 changed: the real error box and exit status under Wine.
        path = os.path.join(self.folder, "Setup.exe")
        glacier = {e.name: e for e in wineplay.read_package(path)}[r"Maps\Arctic\glacier.map.gz"]
        at = glacier.offset + glacier.size - 8   # the first byte of its CRC-32
        pathlib.Path(path).write_bytes(installer[:at] + bytes([installer[at] ^ 1]) + installer[at + 1:])
        status, out, err = run([QUILLPACK_TRY, "Setup.exe", "--out", "failed"], self.folder, timeout=300)
        self.assertEqual(status, 1)
        self.assertIn('message box "Error": This installer is damaged and cannot install anything. '
                      'Please download it again.', out)
        self.assertIn("the installer ended with status 1", out)
        self.assertIn("failed: the installer stopped before its agreement dialog", err)
        self.assertTrue(os.path.exists(os.path.join(self.folder, "failed", "box-1.png")))


if __name__ == "__main__":
    unittest.main()
