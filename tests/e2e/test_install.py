#!/usr/bin/env python3
"""An installation as a user makes and finds it, against `quillpack plan`:
from a folder of the user's own through the real dialogs, then the files,
registry value, progress bar, the hand-over to the runtime redistributable
and the shell links; then the uninstaller answered Yes while another program
holds its mutex, what is left, and what it asks Windows to delete at its next
start (checked while the test's wineserver runs: a cold start carries it out).
Other paths are the flow tests' (tests/flows/); the success box is
test_quillpack.py's. By hand: python3 test_install.py -v (README.md)."""

import os
import re
import unittest

import harness
import tryout
import wineplay
from tryout import (AGREEMENT, AGREEMENT_TEXT, DESTINATION, INSTALLATION, STATUS_LINE, TEMP_COPY, UNINSTALL_MUTEX,
                    UNINSTALLATION, UNINSTALLED, WININIT)
from wineplay import OK, YES

# Typed into a folder with blanks, which the uninstaller hands over in short
# form. 'Data' is listed before 'Data\Sub', which it still holds when its turn
# comes, so it stays. Payloads of one size move the bar in quarters.
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
# Polish in code page 1250 with CR LF, and no line end after the last character, which must show too.
AGREEMENT_BYTES = ("UMOWA LICENCYJNA \u2014 DODATEK TESTOWY\r\n\r\n"
                   "Zażółć gęślą jaźń. Instalując dodatek, akceptujesz warunki umowy.\r\n"
                   "Ostatni znak tej umowy to ż").encode("cp1250")
SESSION_MANAGER = r"HKLM\System\CurrentControlSet\Control\Session Manager"


class InstallTest(harness.InstallerTestCase):

    def plan(self, installer):
        """quillpack plan's steps as (step, what) and its links as (link,
        target, arguments, working folder, icon index), with FOLDER as the destination."""
        status, plan, err = harness.run([harness.QUILLPACK, "plan", self.wine.unix_path(installer)])
        self.assertEqual(status, 0, err)
        places = {"destination": FOLDER, "Programs": self.wine.programs_folder(), "Desktop": self.wine.desktop_folder()}
        plan = re.sub(r"<(destination|Programs|Desktop)>", lambda place: places[place[1]], plan)
        return (re.findall(r"^  (\S+(?: line)?) {2,}(.*?)(?:, [\d,]+ bytes from .*| \(.*\))?$", plan, re.M),
                re.findall(r"^  link +(.+)\n    target +(.+)\n    arguments +(.+)\n    working folder +(.+)\n"
                           r"    icon +index (\d+)", plan, re.M))

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

        # Started from the user's own folder, in which the redistributable must run too.
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
        self.assertEqual(self.wine.progress(INSTALLATION, 1006), (0, 0, 100), "the progress bar is not empty")
        self.wine.type_text(INSTALLATION, DESTINATION, FOLDER)
        self.wine.press(INSTALLATION, OK)

        # The runtime check refuses Wine's msvcrt.dll (version "1.0"): after every other
        # step the installer hands over to the redistributable and ends, with no success box.
        self.assertEqual(program.wait(), 0)
        self.assertEqual(self.wine.boxes(), [])
        self.assertEqual(self.record(FOLDER + r"\vcredist-record.txt"),
                         {"command-line": "vcredist.exe", "current-directory": downloads,
                          "mark": "from the installer"})
        self.assertTrue(self.wine.wait_ended(FOLDER + r"\vcredist.exe"), "the redistributable did not end")

        # The files as planned (the uninstaller's copy is checked as the temporary copy below).
        self.assertEqual(self.wine.listing(FOLDER), self.below(steps, "file", "folder") | {"vcredist-record.txt"})
        self.assertEqual([self.read_installed(path) for path in copied], list(payloads.values()))
        key, value = re.fullmatch(r"(.+), value (\S+) = " + re.escape(FOLDER),
                                  next(what for kind, what in steps if kind == "registry")).groups()
        self.assertEqual(self.wine.reg_value(key, value), ("REG_SZ", FOLDER + "\\"))
        # The real bar through the copy pass: 0 % at each folder, a quarter more after each file.
        positions = [n for kind, n in program.events() if kind == "position"]
        self.assertEqual(positions[-6:], [0, 0, 25, 50, 75, 100])

        # The installer joins destination (ending with '\') and target with another '\';
        # Wine's shell link keeps the path in normal form, with one at the seam.
        self.assertEqual(len(links), 3)
        for link, target, arguments, working, icon in links:
            self.assertEqual(self.wine.link(link), {
                "path": target, "arguments": "" if arguments == "(none)" else arguments,
                "working-directory": working + "\\", "description": "", "icon-path": "", "icon-index": int(icon)})
        # Opened from the desktop, the link starts the game in its folder.
        opened = self.wine.open_link(self.wine.desktop_folder() + r"\Addon Two.lnk")
        record = self.record(FOLDER + r"\game-record.txt")
        self.assertEqual(opened.wait(), 0, "start could not open the link")
        self.assertEqual((record["current-directory"], record["command-line"][-11:]), (FOLDER, " -map north"))
        self.assertTrue(self.wine.wait_ended(FOLDER + r"\game.exe"), "the game did not end")

        # The uninstaller, started as its link starts it, while the driver holds the
        # uninstall mutex like a slow first process; once it lets go, it keeps
        # quillfen.exe open 2 s more, within the 5 s the clean-up stage retries.
        release = r"C:\release-the-mutex"
        holder = self.wine.start(tryout.UIDRIVER_EXE, "hold-mutex", UNINSTALL_MUTEX, wineplay.PROGRAM_TIMEOUT * 2,
                                 "--until", release, "--lock", FOLDER + r"\quillfen.exe", 2,
                                 cwd="C:\\", debug="-all", name="holder")
        self.assertTrue(self.wine.wait_until(lambda: "held" in holder.output().split()), "the mutex is not held")
        first = self.wine.start(FOLDER + r"\quillfen.exe", "-uninstall", name="uninstaller",
                                debug="-all,warn+debugstr,trace+process")   # and the processes it starts
        self.assertEqual(self.wine.box_text(UNINSTALLATION), next(what for kind, what in steps if kind == "asks"))
        self.wine.screenshot("question")
        self.wine.answer_box(UNINSTALLATION, YES)
        self.assertEqual(first.wait(), 0)
        # Longer than one 5-second wait for the mutex and the 5 s spent on the
        # locked quillfen.exe: after the wait, the stage must wait again.
        self.assertFalse(self.wine.wait_for(UNINSTALLATION, box=True, seconds=11),
                         "the clean-up stage did not wait for the mutex")
        records = {"game-record.txt", "vcredist-record.txt"}   # what the stand-ins wrote is not the installation's
        self.assertEqual(self.wine.listing(FOLDER), {"quillfen.exe", "quillfen.ini", "Data\\"} | records)
        self.assertFalse(self.wine.exists(WININIT), "wininit.ini was written while the mutex was held")
        self.wine.put_file(release, b"")
        self.assertEqual((holder.wait(), holder.output().split()), (0, ["held", "released", "unlocked"]))
        self.assertEqual(self.wine.box_text(UNINSTALLATION), UNINSTALLED)
        self.wine.screenshot("finished")
        # What the plan leaves stays; what it deletes and removes is gone.
        self.assertEqual(self.wine.listing(FOLDER), self.below(steps, "leaves") | records)
        self.assertFalse([path for kind, path in steps if kind in ("delete", "remove") and self.wine.exists(path)])
        self.assertEqual(self.wine.reg_query(key, value), FOLDER + "\\", "the plan says the value stays")

        # The temporary copy: the bare stub, handed the folder in short form, deleted at the next start.
        self.assertEqual(self.read_installed(TEMP_COPY), harness.read(tryout.QUILLFEN_EXE), "the temporary copy")
        self.assertEqual(self.read_installed(WININIT).decode("ascii").splitlines(), ["[Rename]", "NUL=" + TEMP_COPY])
        pending = self.wine.reg_query(SESSION_MANAGER, "PendingFileRenameOperations")
        self.assertIn("\\??\\" + TEMP_COPY, (pending or "").split("\\0"))
        handed = [line for app, line in first.started_processes() if app.lower() == TEMP_COPY.lower()]
        self.assertRegex("\n".join(handed), r"\A%s\\quillfen\.exe -uninstallpath \S+\Z" % re.escape(FOLDER))
        self.wine.dismiss_box(UNINSTALLATION)
        self.assertEqual(self.wine.boxes(), [])


if __name__ == "__main__":
    unittest.main()
