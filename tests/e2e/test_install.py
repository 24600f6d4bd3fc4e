#!/usr/bin/env python3
"""An installation as a user makes and finds it, against what `quillpack
plan` says: started from a folder of the user's own, the dialogs, files,
registry value, the copy pass as the debugger and the progress bar see it,
the hand-over to the runtime redistributable, the links (read back, one
opened); then the uninstaller answered Yes while another program holds its
mutex, what is left and what it hands to Windows for its next start
(wininit.ini, PendingFileRenameOperations: Wine carries them out whenever
its server starts cold, so they are checked while the test's server runs).
Other paths are the host flow tests' (tests/flows/); the success box, which
an installer that hands over does not show, is test_quillpack.py's.

Run it by hand:  python3 test_install.py -v (README.md: the environment)."""

import os
import re
import unittest

import harness
import tryout
import wineplay
from tryout import (AGREEMENT, AGREEMENT_TEXT, DESTINATION, INSTALLATION, STATUS_LINE, TEMP_COPY, UNINSTALL_MUTEX,
                    UNINSTALLATION, UNINSTALLED, WININIT)
from wineplay import OK, YES

# The test add-on, typed into a folder with blanks: the uninstaller's
# hand-over passes it in short form (in long form the copy would get
# "C:\Program" and delete nothing). 'Data' is listed before its subfolder
# 'Data\Sub': when its turn comes it still holds Sub, so it stays. The
# payloads are all of one size, so that the bar moves in quarters; the game
# and the redistributable are the recording stand-in program.
FOLDER = r"C:\Program Files\Brakmoor\Addon Two"
SCRIPT = r"""; Addon Two: test add-on of the end-to-end tests
DIR=C:\Games\Addon Two
PRODUCT= "Addon Two"
GROUP= "Addon Two"
LINK= "quillfen.exe" "Uninstallation" "-uninstall"
LINK= "Data\readme.txt" "Readme"
DESK= "game.exe" "Addon Two" "-map north"
INSTALL_KEY=Brakmoor\Addon Two
INSTALL_VALUE=InstallDir
INSTALL_DLLS
DIR 'Data'
DIR 'Data\Sub'
COPY 'game.exe' 'game.exe' {size}
COPY 'readme.txt' 'Data\readme.txt' {size}
COPY 'deep.map' 'Data\Sub\deep.map' {size}
COPY 'vcredist.exe' 'vcredist.exe' {size}
"""
# Polish, code page 1250, CR LF line ends, and no line end after the last
# character, which must be shown too.
AGREEMENT_BYTES = ("UMOWA LICENCYJNA \u2014 DODATEK TESTOWY\r\n\r\n"
                   "Zażółć gęślą jaźń. Instalując dodatek, akceptujesz warunki umowy.\r\n"
                   "Ostatni znak tej umowy to ż").encode("cp1250")
PROGRESS = 1006   # the progress bar of the destination dialog
SESSION_MANAGER = r"HKLM\System\CurrentControlSet\Control\Session Manager"
# The uninstaller's debugger lines and the processes it starts.
TRACE = "-all,warn+debugstr,trace+process"


class InstallTest(harness.InstallerTestCase):

    def plan(self, installer):
        """quillpack plan's steps as (step, what) and its links as (link,
        target, arguments, working folder, icon index), the places in them
        resolved with FOLDER as the destination."""
        status, plan, err = harness.run([harness.QUILLPACK, "plan", self.wine.unix_path(installer)])
        self.assertEqual(status, 0, err)
        places = {"destination": FOLDER, "Programs": self.wine.programs_folder(), "Desktop": self.wine.desktop_folder()}

        def resolve(text):
            return re.sub(r"<(destination|Programs|Desktop)>", lambda place: places[place[1]], text)
        steps = [(m[1], resolve(m[2])) for m in re.finditer(
            r"^  (\S+(?: line)?) {2,}(.*?)(?:, [\d,]+ bytes from .*| \(.*\))?$", plan, re.M)]
        links = re.findall(r"^  link +(.+)\n    target +(.+)\n    arguments +(.+)\n    working folder +(.+)\n"
                           r"    icon +index (\d+)", plan, re.M)
        return steps, [tuple(resolve(field) for field in link) for link in links]

    def below(self, steps, *kinds):
        """The paths below FOLDER that steps of those kinds name, as listing() gives them."""
        return {path[len(FOLDER) + 1:] + ("\\" if kind in ("folder", "leaves") else "")
                for kind, path in steps if kind in kinds and path.startswith(FOLDER + "\\")}

    def test_installed_handed_over_and_uninstalled_as_planned(self):
        stand_in = harness.read(harness.FAKE_REDIST_EXE)
        size = len(stand_in)
        payloads = {"game.exe": stand_in, "readme.txt": (b"Addon Two: a readme\r\n" * size)[:size],
                    "deep.map": bytes((i * 13 + 5) & 0xFF for i in range(size)), "vcredist.exe": stand_in}
        installer = self.build_installer(SCRIPT.format(size=size), AGREEMENT_BYTES, payloads)
        steps, links = self.plan(installer)
        copied = [path for kind, path in steps if kind == "file"][2:]   # after the uninstaller and its script

        # The user starts the installer from a folder of their own, not the
        # installer's: the redistributable must run in the same one.
        downloads = r"C:\My Downloads"
        os.makedirs(self.wine.unix_path(downloads))
        program = self.wine.start(installer, cwd=downloads, env={"QUILLFEN_E2E_MARK": "from the installer"})
        self.assertTrue(self.wine.wait_for(AGREEMENT, has=AGREEMENT_TEXT), "no agreement dialog")
        self.wine.screenshot("agreement")
        self.assertEqual(self.wine.text_bytes(AGREEMENT, AGREEMENT_TEXT), AGREEMENT_BYTES,
                         "the agreement is not shown whole in code page 1250")
        self.wine.press(AGREEMENT, OK)
        self.assertTrue(self.wine.wait_for(INSTALLATION, has=DESTINATION), "no destination dialog")
        self.wine.screenshot("destination")
        self.assertEqual([self.wine.text(INSTALLATION, DESTINATION), self.wine.text(INSTALLATION, STATUS_LINE)],
                         [what for kind, what in steps if kind in ("destination", "size line")])
        self.assertEqual(self.wine.progress(INSTALLATION, PROGRESS), (0, 0, 100), "the bar is not empty")
        self.wine.type_text(INSTALLATION, DESTINATION, FOLDER)
        self.wine.press(INSTALLATION, OK)

        # Wine's msvcrt.dll has the product version "1.0", which the runtime
        # check refuses: after every other step the installer hands over to
        # the redistributable and ends at once, with no success box.
        self.assertEnds(program, 0)
        self.assertEqual(self.wine.boxes(), [])
        self.assertEqual(program.debug_lines()[0], "bAreGoodDlls=false\n")
        self.assertEqual(self.record(FOLDER + r"\vcredist-record.txt"),
                         {"command-line": "vcredist.exe", "current-directory": downloads,
                          "mark": "from the installer"})
        self.assertTrue(self.wine.wait_ended(FOLDER + r"\vcredist.exe"), "the redistributable did not end")

        # The files as planned: the uninstaller copy is the bare stub, the
        # script is the package's.
        self.assertEqual(self.wine.listing(FOLDER), self.below(steps, "file", "folder") | {"vcredist-record.txt"})
        for path, content in zip(copied, payloads.values(), strict=True):
            self.assertEqual(self.read_installed(path), content, path)
        self.assertEqual(self.read_installed(FOLDER + r"\quillfen.exe"), harness.read(tryout.QUILLFEN_EXE))
        self.assertEqual(self.read_installed(FOLDER + r"\quillfen.ini"),
                         wineplay.entry_bytes(self.wine.unix_path(installer), "quillfen.ini"))
        key, value = re.fullmatch(r"(.+), value (\S+) = " + re.escape(FOLDER),
                                  next(what for kind, what in steps if kind == "registry")).groups()
        self.assertEqual(self.wine.reg_value(key, value), ("REG_SZ", FOLDER + "\\"))
        # The copy pass as the debugger and the progress bar saw it: each
        # folder (0 %), each file's path and then the bar after it.
        events = program.events()
        self.assertEqual(events[events.index(("debug", "befora file unpack\n")) + 1:], [("position", 0)] * 2 + [
            event for quarter, path in enumerate(copied, 1) for event in (("debug", path), ("position", 25 * quarter))]
            + [("debug", "after file unpack\n"), ("debug", "after file unpack end dialog\n")])

        # The installer joins the destination (which ends with a backslash)
        # and the target with another backslash; Wine's shell link keeps the
        # path in normal form, with one backslash at the seam.
        self.assertEqual(len(links), 3)
        for link, target, arguments, working, icon in links:
            self.assertEqual(self.wine.link(link), {
                "path": target, "arguments": "" if arguments == "(none)" else arguments,
                "working-directory": working + "\\", "description": "", "icon-path": "", "icon-index": int(icon)})
        # Opened from the desktop, the link starts the game in its folder.
        opened = self.wine.open_link(self.wine.desktop_folder() + r"\Addon Two.lnk")
        record = self.record(FOLDER + r"\game-record.txt")
        self.assertEqual(opened.wait(), 0, "start could not open the link")
        self.assertEqual(record["current-directory"], FOLDER)
        self.assertTrue(record["command-line"].endswith(" -map north"), record["command-line"])
        self.assertTrue(self.wine.wait_ended(FOLDER + r"\game.exe"), "the game did not end")

        # The uninstaller, started as its link starts it (in the installation
        # folder, with "-uninstall") so that its exit status shows, while the
        # driver holds the uninstall mutex the way a slow first process would.
        # Once it lets go, it keeps quillfen.exe open for 2 s more, as the
        # executable of a process that is still ending: well within the 5 s
        # the clean-up stage keeps trying to delete it.
        release = r"C:\release-the-mutex"
        holder = self.wine.start(tryout.UIDRIVER_EXE, "hold-mutex", UNINSTALL_MUTEX, wineplay.PROGRAM_TIMEOUT * 2,
                                 "--until", release, "--lock", FOLDER + r"\quillfen.exe", 2,
                                 cwd="C:\\", debug="-all", name="holder")
        self.assertTrue(self.wine.wait_until(lambda: "held" in holder.output().split()), "the mutex is not held")
        first = self.wine.start(FOLDER + r"\quillfen.exe", "-uninstall", debug=TRACE, name="uninstaller")
        self.assertEqual(self.wine.box_text(UNINSTALLATION), next(what for kind, what in steps if kind == "asks"))
        self.wine.screenshot("question")
        self.wine.answer_box(UNINSTALLATION, YES)
        self.assertEnds(first, 0)
        # Longer than one 5-second wait of the clean-up stage and the 5 s it
        # would then spend on the locked quillfen.exe: after the wait, the
        # stage must wait again, not go on.
        self.assertFalse(self.wine.wait_for(UNINSTALLATION, box=True, seconds=11),
                         "the clean-up stage did not wait for the mutex")
        records = {"game-record.txt", "vcredist-record.txt"}   # what the stand-ins wrote is not the installation's
        self.assertEqual(self.wine.listing(FOLDER), {"quillfen.exe", "quillfen.ini", "Data\\"} | records)
        self.assertFalse(self.wine.exists(WININIT), "wininit.ini was written while the mutex was held")
        self.wine.put_file(release, b"")
        self.assertEqual(holder.wait(), 0)
        self.assertEqual(holder.output().split(), ["held", "released", "unlocked"])
        self.assertEqual(self.wine.box_text(UNINSTALLATION), UNINSTALLED)
        self.wine.screenshot("finished")
        self.assertEqual(self.wine.boxes(), [(UNINSTALLATION, UNINSTALLED)])
        self.assertEqual(first.debug_lines(), ["bAreGoodDlls=false\n"] * 2, "not two processes")
        # What the plan leaves stays; what it deletes and removes is gone.
        self.assertEqual(self.wine.listing(FOLDER), self.below(steps, "leaves") | records)
        self.assertEqual([path for kind, path in steps if kind in ("delete", "remove") and self.wine.exists(path)],
                         [])
        self.assertEqual(self.wine.reg_query(key, value), FOLDER + "\\", "the plan says the value stays")

        # The temporary copy is the uninstaller, handed the folder in short
        # form, and both ways of asking Windows to delete it at its next
        # start are in place.
        self.assertEqual(self.read_installed(TEMP_COPY), harness.read(tryout.QUILLFEN_EXE), "the temporary copy")
        self.assertEqual(self.read_installed(WININIT).decode("ascii").splitlines(), ["[Rename]", "NUL=" + TEMP_COPY])
        pending = self.wine.reg_query(SESSION_MANAGER, "PendingFileRenameOperations")
        self.assertIn("\\??\\" + TEMP_COPY, (pending or "").split("\\0"))
        handed = [line for app, line in first.started_processes() if app.lower() == TEMP_COPY.lower()]
        self.assertEqual(len(handed), 1, handed)
        short_form = re.fullmatch(re.escape(FOLDER) + r"\\quillfen\.exe -uninstallpath (\S+)", handed[0])
        self.assertIsNotNone(short_form, handed[0])
        self.assertNotEqual(short_form[1].lower(), FOLDER.lower())
        self.wine.dismiss_box(UNINSTALLATION)
        self.assertEqual(self.wine.boxes(), [])


if __name__ == "__main__":
    unittest.main()
