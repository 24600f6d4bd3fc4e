#!/usr/bin/env python3
"""What an installation leaves in the system besides its files, as a user
finds it: the program group in the Start menu with its links, the desktop
link, and the runtime redistributable the installer starts at its end.

Run one class or case by hand:  python3 test_system.py ShortcutTest -v
(see README.md for the environment it needs)."""

import os
import unittest

import harness
import tryout
import wineplay
from harness import setUpModule, tearDownModule  # noqa: F401 (unittest calls them)
from tryout import INSTALLATION

# The test add-on of the link tests: four links in the group, one on the
# desktop, each target installed. "game.exe" is the recording stand-in
# program, so that opening a link shows what it starts.
LINKED_FOLDER = r"C:\Games\Linked Addon"
LINKED_SCRIPT = r"""; Linked Addon: test add-on of the link tests
DIR=C:\Games\Linked Addon
PRODUCT= "Linked Addon"
GROUP= "Linked Addon"
LINK= "quillfen.exe" "Uninstallation" "-uninstall"
LINK= "quillfen.exe" "Remove Linked Addon" "-UNINSTALL"
LINK= "Docs\readme.txt" "Readme"
LINK= "game.exe" "Play" "-map north"
DESK= "game.exe" "Linked Addon" "-map north"
DIR 'Docs'
COPY 'game.exe' 'game.exe' {game_size}
COPY 'readme.txt' 'Docs\readme.txt' 23
"""
README = b"Linked Addon, a readme\n"
AGREEMENT_BYTES = b"Test agreement of the system tests.\r\n"

# The add-on of the redistributable tests: it asks for the runtime libraries.
RUNTIME_FOLDER = r"C:\Games\Runtime Addon"
RUNTIME_SCRIPT = r"""; Runtime Addon: test add-on that needs the runtime libraries
DIR=C:\Games\Runtime Addon
PRODUCT= "Runtime Addon"
GROUP= "Runtime Addon"
LINK= "quillfen.exe" "Uninstallation" "-uninstall"
INSTALL_KEY=Brakmoor\Runtime Addon
INSTALL_VALUE=InstallDir
INSTALL_DLLS
DIR 'Maps'
COPY 'north.map' 'Maps\north.map' 4000
"""
RUNTIME_KEY = r"HKLM\SOFTWARE\Brakmoor\Runtime Addon"
NORTH_MAP = bytes((i * 31 + 7) & 0xFF for i in range(4000))


def fake_program():
    with open(harness.FAKE_REDIST_EXE, "rb") as f:
        return f.read()


def read_record(text):
    """The labelled lines of the stand-in program's record, as a dict."""
    return dict(line.split("\t", 1) for line in text.splitlines())


class SystemTestCase(harness.InstallerTestCase):

    def wait_for_record(self, windows_path):
        """The record the stand-in program writes once it has been started."""
        self.assertTrue(self.wine.wait_until(lambda: self.wine.exists(windows_path)),
                        "the program was not started: no " + windows_path)
        return read_record(self.read_installed(windows_path).decode(wineplay.CODE_PAGE))


class ShortcutTest(SystemTestCase):

    def test_links_of_an_installation(self):
        game = fake_program()
        script = LINKED_SCRIPT.format(game_size=len(game))
        self.install(self.build_installer(script, AGREEMENT_BYTES,
                                          {"game.exe": game, "readme.txt": README}))

        group = self.wine.programs_folder() + r"\Linked Addon"
        desktop = self.wine.desktop_folder()
        self.assertEqual(self.wine.listing(group),
                         {"Uninstallation.lnk", "Remove Linked Addon.lnk", "Readme.lnk", "Play.lnk"})
        self.assertEqual(self.wine.listing(desktop), {"Linked Addon.lnk"})
        self.assertTrue(os.path.realpath(self.wine.unix_path(desktop)).startswith(
            os.path.realpath(self.wine.home)), "the desktop is not the test's own")

        # The installer joins the destination (which ends with a backslash)
        # and the target with another backslash; Wine's shell link keeps the
        # path in normal form, with one backslash at the seam.
        def expected(target, arguments, icon_index):
            return {"path": LINKED_FOLDER + "\\" + target, "arguments": arguments,
                    "working-directory": LINKED_FOLDER + "\\", "description": "",
                    "icon-path": "", "icon-index": icon_index}
        self.assertEqual(self.wine.link(group + r"\Uninstallation.lnk"),
                         expected("quillfen.exe", "-uninstall", 0))
        self.assertEqual(self.wine.link(group + r"\Remove Linked Addon.lnk"),
                         expected("quillfen.exe", "-UNINSTALL", 0))
        self.assertEqual(self.wine.link(group + r"\Readme.lnk"), expected(r"Docs\readme.txt", "", 2))
        self.assertEqual(self.wine.link(group + r"\Play.lnk"), expected("game.exe", "-map north", 2))
        self.assertEqual(self.wine.link(desktop + r"\Linked Addon.lnk"),
                         expected("game.exe", "-map north", 2))

        # Opened from the desktop, the link starts the game in its folder.
        opened = self.wine.open_link(desktop + r"\Linked Addon.lnk")
        record = self.wait_for_record(LINKED_FOLDER + r"\game-record.txt")
        self.assertEqual(opened.wait(), 0, "start could not open the link")
        self.assertEqual(record["current-directory"], LINKED_FOLDER)
        self.assertTrue(record["command-line"].endswith(" -map north"), record["command-line"])

    def test_group_folder_without_links(self):
        script = ("DIR=C:\\Games\\Quiet Addon\n"
                  'PRODUCT= "Quiet Addon"\n'
                  'GROUP= "Quiet Group"\n'
                  "COPY 'readme.txt' 'readme.txt' 23\n")
        self.install(self.build_installer(script, AGREEMENT_BYTES, {"readme.txt": README}))

        group = self.wine.programs_folder() + r"\Quiet Group"
        self.assertTrue(os.path.isdir(self.wine.unix_path(group)), "no program group folder")
        self.assertEqual(self.wine.listing(group), set())
        self.assertEqual(self.wine.listing(self.wine.desktop_folder()), set())


class RedistributableTest(SystemTestCase):
    # Wine's msvcrt.dll has the product version "1.0", which the runtime check
    # refuses: every installer here finds the runtime libraries too old.

    def assertInstalledBeforeTheRedistributable(self, extra_files=()):
        """Files, registry record and links are all in place."""
        self.assertEqual(self.wine.listing(RUNTIME_FOLDER),
                         {"quillfen.exe", "quillfen.ini", "Maps\\", r"Maps\north.map"} | set(extra_files))
        self.assertEqual(self.read_installed(RUNTIME_FOLDER + r"\Maps\north.map"), NORTH_MAP)
        self.assertEqual(self.wine.reg_query(RUNTIME_KEY, "InstallDir"), RUNTIME_FOLDER + "\\")
        self.assertEqual(self.wine.listing(self.wine.programs_folder() + r"\Runtime Addon"),
                         {"Uninstallation.lnk"})

    def test_redistributable_missing(self):
        program = self.wine.start(self.build_installer(RUNTIME_SCRIPT, AGREEMENT_BYTES,
                                                       {"north.map": NORTH_MAP}))
        self.assertTrue(self.wine.wait_for(tryout.AGREEMENT, has=tryout.AGREEMENT_TEXT))
        self.wine.press(tryout.AGREEMENT, wineplay.OK)
        self.assertTrue(self.wine.wait_for(INSTALLATION, has=tryout.DESTINATION))
        self.wine.press(INSTALLATION, wineplay.OK)

        self.assertEqual(self.wine.box_text("Error"), "VCRedits.exe couldn't be spawned")
        self.wine.screenshot("redistributable-missing")
        self.assertTrue(self.wine.box_shows_icon("Error"), "the box shows no icon")
        self.assertTrue(self.wine.is_topmost("Error", box=True), "the box is not system-modal")
        self.assertEqual(self.wine.boxes(), [("Error", "VCRedits.exe couldn't be spawned")])
        self.wine.dismiss_box("Error")
        # A success box would keep the installer from ending by itself; the
        # runtime it needed is missing, so the status says it failed.
        self.assertEnds(program, 1)

        self.assertEqual(program.debug_lines()[0], "bAreGoodDlls=false\n")
        self.assertInstalledBeforeTheRedistributable()

    def test_redistributable_started(self):
        redistributable = fake_program()
        script = RUNTIME_SCRIPT + "COPY 'vcredist.exe' 'vcredist.exe' %d\n" % len(redistributable)
        installer = self.build_installer(script, AGREEMENT_BYTES,
                                         {"north.map": NORTH_MAP, "vcredist.exe": redistributable})
        # The user starts the installer from a folder of their own, not the
        # installer's: the redistributable must run in the same one.
        start_folder = r"C:\My Downloads"
        os.makedirs(self.wine.unix_path(start_folder))
        program = self.wine.start(installer, cwd=start_folder, env={"QUILLFEN_E2E_MARK": "from the installer"})
        self.assertTrue(self.wine.wait_for(tryout.AGREEMENT, has=tryout.AGREEMENT_TEXT))
        self.wine.press(tryout.AGREEMENT, wineplay.OK)
        self.assertTrue(self.wine.wait_for(INSTALLATION, has=tryout.DESTINATION))
        self.wine.press(INSTALLATION, wineplay.OK)

        # The installer ends at once: nobody pressed anything after OK.
        self.assertEnds(program, 0)
        self.assertEqual(self.wine.boxes(), [])
        record = self.wait_for_record(RUNTIME_FOLDER + r"\vcredist-record.txt")
        self.assertEqual(record, {"command-line": "vcredist.exe", "current-directory": start_folder,
                                  "mark": "from the installer"})
        self.assertEqual(program.debug_lines()[0], "bAreGoodDlls=false\n")
        self.assertInstalledBeforeTheRedistributable({"vcredist.exe", "vcredist-record.txt"})
        self.assertEqual(self.read_installed(RUNTIME_FOLDER + r"\vcredist.exe"), redistributable)


if __name__ == "__main__":
    unittest.main()
