#!/usr/bin/env python3
"""An installation as a user makes it, started from a folder of the user's
own: the dialogs, the disk, the registry, the debugger lines, the hand-over
to the runtime redistributable and the exit status. The other paths through
the program are the host flow tests' (tests/flows/); the success box is
test_uninstall.py's, which installs without a redistributable.

Run it by hand:  python3 test_install.py -v (README.md: the environment)."""

import os
import unittest

import harness
import tryout
import wineplay

ADDON_KEY = r"HKLM\SOFTWARE\Brakmoor\Addon One"
# The test add-on: three files and the redistributable, all of one size, so
# that the bar moves in quarters. Its default folder comes without a final
# backslash.
FOLDER = r"C:\Games\Tundra Vale\Addon One"
SCRIPT = r"""; Addon One: test add-on of the end-to-end tests
DIR=C:\Games\Tundra Vale\Addon One
PRODUCT= "Addon One"
INSTALL_KEY=Brakmoor\Addon One
INSTALL_VALUE=InstallDir
INSTALL_DLLS
DIR 'Maps'
COPY 'Maps\north field.map' 'Maps\north field.map' {size}
COPY 'notes.txt' 'notes.txt' {size}
COPY 'Maps\south.map' 'Maps\south.map' {size}
COPY 'vcredist.exe' 'vcredist.exe' {size}
"""
# Polish, code page 1250, CR LF line ends, and no line end after the last
# character, which must be shown too.
AGREEMENT_BYTES = ("UMOWA LICENCYJNA \u2014 DODATEK TESTOWY\r\n\r\n"
                   "Zażółć gęślą jaźń. Instalując dodatek, akceptujesz warunki umowy.\r\n"
                   "Ostatni znak tej umowy to ż").encode("cp1250")


class InstallTest(harness.InstallerTestCase):
    # Wine's msvcrt.dll has the product version "1.0", which the runtime check
    # refuses: the installer finds the runtime libraries too old.

    def test_installation_hands_over_to_the_redistributable(self):
        redistributable = harness.read(harness.FAKE_REDIST_EXE)
        size = len(redistributable)
        payloads = {r"Maps\north field.map": bytes((i * 7919 + (i >> 8) * 31) & 0xFF for i in range(size)),
                    "notes.txt": (b"a line of the notes\r\n" * size)[:size],
                    r"Maps\south.map": bytes((i * i + 17) & 0xFF for i in range(size)),
                    "vcredist.exe": redistributable}
        installer = self.build_installer(SCRIPT.format(size=size), AGREEMENT_BYTES, payloads)
        # The user starts the installer from a folder of their own, not the
        # installer's: the redistributable must run in the same one.
        downloads = r"C:\My Downloads"
        os.makedirs(self.wine.unix_path(downloads))
        program = self.wine.start(installer, cwd=downloads, env={"QUILLFEN_E2E_MARK": "from the installer"})
        agreement, proposed, size_line = self.go_through_dialogs()
        self.assertEqual(agreement, AGREEMENT_BYTES, "the agreement is not shown whole in code page 1250")
        self.assertEqual(proposed, FOLDER + "\\")
        self.assertEqual(size_line, "Installation requires 1 MB of free disk space")

        # The installer ends at once, with no success box: the
        # redistributable takes over, after every other step.
        self.assertEnds(program, 0)
        self.assertEqual(self.wine.boxes(), [])
        self.assertEqual(self.record(FOLDER + r"\vcredist-record.txt"),
                         {"command-line": "vcredist.exe", "current-directory": downloads,
                          "mark": "from the installer"})
        self.assertEqual(program.debug_lines()[0], "bAreGoodDlls=false\n")

        # The uninstaller copy is the bare stub; the script is the package's.
        self.assertEqual(self.wine.listing(FOLDER), {"quillfen.exe", "quillfen.ini", "Maps\\",
                                                     "vcredist-record.txt"} | set(payloads))
        for name, content in payloads.items():
            self.assertEqual(self.read_installed(FOLDER + "\\" + name), content, name)
        self.assertEqual(self.read_installed(FOLDER + r"\quillfen.exe"), harness.read(tryout.QUILLFEN_EXE))
        self.assertEqual(self.read_installed(FOLDER + r"\quillfen.ini"),
                         wineplay.entry_bytes(self.wine.unix_path(installer), "quillfen.ini"))
        self.assertEqual(self.wine.reg_value(ADDON_KEY, "InstallDir"), ("REG_SZ", FOLDER + "\\"))
        # The copy pass as the debugger and the progress bar saw it: the
        # folder (0 %), each file's path and then the bar after it.
        events = program.events()
        start = events.index(("debug", "befora file unpack\n"))
        self.assertEqual(events[start + 1:], [("position", 0)] + [
            event for quarter, name in enumerate(payloads, 1)
            for event in (("debug", FOLDER + "\\" + name), ("position", 25 * quarter))] + [
            ("debug", "after file unpack\n"), ("debug", "after file unpack end dialog\n")])


if __name__ == "__main__":
    unittest.main()
