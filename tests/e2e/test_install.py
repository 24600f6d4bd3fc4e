#!/usr/bin/env python3
"""Installing an add-on, as a user does it: build an installer, run it under
Wine, read the dialogs and press their buttons, then look at the disk, the
registry, the message boxes, the debugger lines and the exit status. The
host flow tests (tests/flows/) cover the other paths through the program:
cancelling, another folder, unsafe names, every kind of damage.

Run one class or case by hand:  python3 test_install.py InstallTest -v
(see README.md for the environment it needs)."""

import gzip
import os
import unittest

import harness
import tryout
import wineplay
from harness import setUpModule, tearDownModule  # noqa: F401 (unittest calls them)

ADDON_KEY = r"HKLM\SOFTWARE\Brakmoor\Addon One"

# The test add-on. Its default folder comes without a final backslash; its
# sizes add up to 1,049,599 bytes, which is 1024 whole KiB and so 1 MB,
# although it is more than 1 MiB; the first two files are a quarter each.
FOLDER = r"C:\Games\Tundra Vale\Addon One"
SCRIPT = r"""; Addon One: test add-on of the end-to-end tests
DIR=C:\Games\Tundra Vale\Addon One
PRODUCT= "Addon One"
INSTALL_KEY=Brakmoor\Addon One
INSTALL_VALUE=InstallDir
DIR 'Maps'
COPY 'Maps\north field.map' 'Maps\north field.map' 262400
COPY 'notes.txt' 'notes.txt' 262400
COPY 'Maps\south.map' 'Maps\south.map' 524799
"""
PAYLOADS = {
    r"Maps\north field.map": bytes((i * 7919 + (i >> 8) * 31) & 0xFF for i in range(262400)),
    "notes.txt": b"".join(b"line %06d of the notes\r\n" % i for i in range(10934))[:262400],
    r"Maps\south.map": bytes((i * i + 17) & 0xFF for i in range(524799)),
}
INSTALLED_FILES = {"quillfen.exe", "quillfen.ini", "Maps\\"} | set(PAYLOADS)
# Polish, code page 1250, CR LF line ends, and no line end after the last
# character, which must be shown too.
AGREEMENT_BYTES = ("UMOWA LICENCYJNA \u2014 DODATEK TESTOWY\r\n\r\n"
                   "Zażółć gęślą jaźń. Instalując dodatek, akceptujesz warunki umowy.\r\n"
                   "Ostatni znak tej umowy to ż").encode("cp1250")


class InstallTest(harness.InstallerTestCase):

    def test_default_installation(self):
        # Marlett draws the caption buttons (without it the close button
        # shows a letter "r"); MS Sans Serif is the dialogs' font.
        for face in ("Marlett", "MS Sans Serif"):
            self.assertEqual(self.wine.driver("face", face), (0, face.encode() + b"\n"))
        installer = self.build_installer(SCRIPT, AGREEMENT_BYTES, PAYLOADS)
        program, (agreement, proposed, size_line) = self.install(installer)
        self.assertEqual(agreement, AGREEMENT_BYTES, "the agreement is not shown whole in code page 1250")
        self.assertEqual(proposed, FOLDER + "\\")
        self.assertEqual(size_line, "Installation requires 1 MB of free disk space")

        # The uninstaller copy is the bare stub; the script is the package's.
        self.assertEqual(self.wine.listing(FOLDER), INSTALLED_FILES)
        for name, content in PAYLOADS.items():
            self.assertEqual(self.read_installed(FOLDER + "\\" + name), content, name)
        self.assertEqual(self.read_installed(FOLDER + r"\quillfen.exe"), harness.read(tryout.QUILLFEN_EXE))
        self.assertEqual(self.read_installed(FOLDER + r"\quillfen.ini"),
                         wineplay.entry_bytes(self.wine.unix_path(installer), "quillfen.ini"))
        self.assertEqual(self.wine.reg_value(ADDON_KEY, "InstallDir"), ("REG_SZ", FOLDER + "\\"))
        # The copy pass as the debugger and the progress bar saw it: the
        # folder (0 %), each file's path and then the bar after it.
        events = program.events()
        start = events.index(("debug", "befora file unpack\n"))
        self.assertEqual(events[start + 1:], [
            ("position", 0),
            ("debug", FOLDER + r"\Maps\north field.map"), ("position", 25),
            ("debug", FOLDER + r"\notes.txt"), ("position", 50),
            ("debug", FOLDER + r"\Maps\south.map"), ("position", 100),
            ("debug", "after file unpack\n"),
            ("debug", "after file unpack end dialog\n"),
        ])


class DamagedInstallerTest(harness.InstallerTestCase):
    # The host sweep (tests/flows/damage_sweep_test.cpp) tries every cut and
    # every field change; here one of them, under Wine.

    def test_cut_short_beside_planted_files(self):
        # A damaged installer reads nothing beside it either: not a script,
        # an agreement, a payload or an uninstaller put there to be found.
        for name, content in (("quillfen.ini", b"DIR=C:\\Planted\r\nCOPY 'p.gz' 'p.txt' 1\r\n"),
                              ("Umowa.txt", b"planted"), ("p.gz", gzip.compress(b"p")),
                              ("quillfen.exe", b"MZ planted")):
            self.wine.put_file("C:\\setup\\" + name, content)
        installer = self.build_installer(SCRIPT, AGREEMENT_BYTES, PAYLOADS)
        path = self.wine.unix_path(installer)
        os.truncate(path, os.path.getsize(path) - 1)
        program = self.wine.start(installer)

        self.assertEqual(self.wine.box_text("Error"), "This installer is damaged and cannot install anything. "
                                                      "Please download it again.")
        self.wine.screenshot("damaged")
        self.assertEqual(len(self.wine.boxes()), 1)
        self.wine.dismiss_box("Error")
        self.assertEnds(program, 1)
        self.assertFalse(self.wine.exists(FOLDER))
        self.assertFalse(self.wine.exists("C:\\Planted"))
        self.assertIsNone(self.wine.reg_query(ADDON_KEY, "InstallDir"))


class RedistributableTest(harness.InstallerTestCase):
    # Wine's msvcrt.dll has the product version "1.0", which the runtime check
    # refuses: every installer here finds the runtime libraries too old.

    def test_redistributable_started(self):
        redistributable = harness.read(harness.FAKE_REDIST_EXE)
        script = SCRIPT + "INSTALL_DLLS\nCOPY 'vcredist.exe' 'vcredist.exe' %d\n" % len(redistributable)
        installer = self.build_installer(script, AGREEMENT_BYTES, {**PAYLOADS, "vcredist.exe": redistributable})
        # The user starts the installer from a folder of their own, not the
        # installer's: the redistributable must run in the same one.
        downloads = r"C:\My Downloads"
        os.makedirs(self.wine.unix_path(downloads))
        program = self.wine.start(installer, cwd=downloads, env={"QUILLFEN_E2E_MARK": "from the installer"})
        self.go_through_dialogs()

        # The installer ends at once, with no success box: the
        # redistributable takes over, after every other step.
        self.assertEnds(program, 0)
        self.assertEqual(self.wine.boxes(), [])
        self.assertEqual(self.record(FOLDER + r"\vcredist-record.txt"),
                         {"command-line": "vcredist.exe", "current-directory": downloads,
                          "mark": "from the installer"})
        self.assertEqual(program.debug_lines()[0], "bAreGoodDlls=false\n")
        self.assertEqual(self.wine.listing(FOLDER), INSTALLED_FILES | {"vcredist.exe", "vcredist-record.txt"})
        self.assertEqual(self.wine.reg_query(ADDON_KEY, "InstallDir"), FOLDER + "\\")


if __name__ == "__main__":
    unittest.main()
