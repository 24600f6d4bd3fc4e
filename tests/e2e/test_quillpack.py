#!/usr/bin/env python3
"""quillpack and quillpack-try as an author runs them: the one line each
quillpack command prints, init's script for the sample add-on, the stub found where `make install` puts it (and
beside quillpack.exe under Wine), and quillpack-try's report and exit status
for an installer that goes through and for one that does not.

Run one class by hand:  python3 test_quillpack.py QuillpackTest -v
(see README.md for the environment it needs)."""

import os
import shutil
import subprocess
import tempfile
import unittest

import harness
import tryout
import wineplay
from harness import setUpModule, tearDownModule  # noqa: F401 (unittest calls them)

ADDON = os.path.join(harness.REPO, "examples", "tundra-maps")
QUILLPACK_EXE = (os.environ.get("QUILLPACK_EXE") or
                 os.path.join(os.path.dirname(tryout.QUILLFEN_EXE), "tools", "quillpack", "quillpack.exe"))
QUILLPACK_TRY = os.path.join(harness.REPO, "tools", "quillpack-try")


def run(command, cwd, env=None, timeout=wineplay.COMMAND_TIMEOUT):
    """(status, stdout, stderr) of a command run in the folder cwd."""
    done = subprocess.run(command, cwd=cwd, env=env, capture_output=True, text=True,
                          stdin=subprocess.DEVNULL, timeout=timeout)
    return done.returncode, done.stdout, done.stderr


class ScratchTestCase(unittest.TestCase):

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="quillfen-quillpack-")
        self.addCleanup(shutil.rmtree, self.folder)

    def build(self, *options, quillpack=harness.QUILLPACK, name="Setup.exe"):
        status, out, err = run([quillpack, "build", *options, ADDON, "-o", name], self.folder)
        self.assertEqual((status, err), (0, ""))
        return out


class QuillpackTest(ScratchTestCase):

    def test_each_command_says_what_it_did(self):
        out = self.build("--stub", tryout.QUILLFEN_EXE)
        entries = wineplay.read_package(os.path.join(self.folder, "Setup.exe"))
        size = os.path.getsize(os.path.join(self.folder, "Setup.exe"))
        self.assertRegex(out, r"\Aquillpack: wrote Setup\.exe: %d entries, %s bytes in \d+\.\d\d s\n\Z"
                         % (len(entries), format(size, ",")))

        with open(os.path.join(ADDON, "quillfen.ini")) as f:
            sizes = [int(line.rsplit(" ", 1)[1]) for line in f if line.startswith("COPY '")]
        status, out, err = run([harness.QUILLPACK, "verify", "Setup.exe"], self.folder)
        self.assertEqual((status, err), (0, ""))
        self.assertRegex(out, r"\AOK: %d files, %s bytes unpacked in \d+\.\d\d s\n\Z"
                         % (len(sizes), format(sum(sizes), ",")))

        status, out, err = run([harness.QUILLPACK, "extract", "Setup.exe", "out"], self.folder)
        self.assertEqual((status, err), (0, ""))
        self.assertRegex(out, r"\Aquillpack: extracted to out: %d entries, %s bytes in \d+\.\d\d s\n\Z"
                         % (len(entries), format(sum(e.size for e in entries), ",")))

    def planned(self, installer):
        """The folders and files (with sizes) that quillpack plan says the
        installer makes."""
        status, out, err = run([harness.QUILLPACK, "plan", installer], self.folder)
        self.assertEqual((status, err), (0, ""))
        return {line for line in out.splitlines() if line.startswith(("  folder ", "  file "))}

    def test_init_writes_a_script_that_builds_verifies_and_plans_clean(self):
        shutil.copytree(ADDON, os.path.join(self.folder, "addon"), ignore=shutil.ignore_patterns("quillfen.ini"))
        for command in (["init", "addon", "--product", "Tundra Vale Maps"],
                        ["build", "--stub", tryout.QUILLFEN_EXE, "addon", "-o", "init.exe"],
                        ["verify", "--strict", "init.exe"]):
            status, _out, err = run([harness.QUILLPACK, *command], self.folder)
            self.assertEqual((status, err), (0, ""), command)
        self.build("--stub", tryout.QUILLFEN_EXE)
        self.assertEqual(self.planned("init.exe"), self.planned("Setup.exe"))

    def test_installed_quillpack_takes_the_installed_stub(self):
        # The layout of `make install`: PREFIX/bin/quillpack and
        # PREFIX/share/quillfen/quillfen.exe.
        quillpack = os.path.join(self.folder, "bin", "quillpack")
        stub = os.path.join(self.folder, "share", "quillfen", "quillfen.exe")
        os.makedirs(os.path.dirname(quillpack))
        shutil.copy(harness.QUILLPACK, quillpack)
        status, out, err = run([quillpack, "build", ADDON, "-o", "Setup.exe"], self.folder)
        self.assertEqual((status, out), (2, ""))
        self.assertIn(os.path.join(self.folder, "bin", "..", "share", "quillfen", "quillfen.exe"), err)
        self.assertIn("give one with --stub", err)

        os.makedirs(os.path.dirname(stub))
        shutil.copy(tryout.QUILLFEN_EXE, stub)
        self.build(quillpack=quillpack, name="installed.exe")
        self.build("--stub", tryout.QUILLFEN_EXE, name="given.exe")
        with open(os.path.join(self.folder, "installed.exe"), "rb") as a, \
                open(os.path.join(self.folder, "given.exe"), "rb") as b:
            self.assertEqual(a.read(), b.read())

    def test_windows_quillpack_takes_the_stub_beside_it(self):
        for program in (QUILLPACK_EXE, tryout.QUILLFEN_EXE):
            shutil.copy(program, self.folder)
        shutil.copytree(ADDON, os.path.join(self.folder, "addon"))
        session = wineplay.WineSession(headless=True)
        self.addCleanup(session.close)
        status, out, _err = run(["wine", "quillpack.exe", "build", "addon", "-o", "windows.exe"], self.folder,
                                env=dict(session.env, WINEDEBUG="-all"))
        self.assertEqual(status, 0)
        self.assertIn("quillpack: wrote windows.exe: ", out)
        self.build("--stub", tryout.QUILLFEN_EXE, name="linux.exe")
        with open(os.path.join(self.folder, "windows.exe"), "rb") as a, \
                open(os.path.join(self.folder, "linux.exe"), "rb") as b:
            self.assertEqual(a.read(), b.read())


class TryTest(ScratchTestCase):

    def try_installer(self, path):
        return run([QUILLPACK_TRY, path, "--out", "try"], self.folder, timeout=300)

    def test_an_installer_that_goes_through(self):
        self.build("--stub", tryout.QUILLFEN_EXE)
        status, out, err = self.try_installer("Setup.exe")
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
        self.build("--stub", tryout.QUILLFEN_EXE)
        path = os.path.join(self.folder, "Setup.exe")
        with open(path, "r+b") as f:
            glacier = {e.name: e for e in wineplay.read_package(path)}[r"Maps\Arctic\glacier.map.gz"]
            f.seek(glacier.offset + glacier.size - 8)   # the first byte of the CRC-32
            f.write(bytes([f.read(1)[0] ^ 1]))
        status, out, err = self.try_installer("Setup.exe")
        self.assertEqual(status, 1)
        self.assertIn('message box "Error": This installer is damaged and cannot install anything. '
                      'Please download it again.', out)
        self.assertIn("the installer ended with status 1", out)
        self.assertIn("failed: the installer stopped before its agreement dialog", err)
        self.assertTrue(os.path.exists(os.path.join(self.folder, "try", "box-1.png")))


if __name__ == "__main__":
    unittest.main()
