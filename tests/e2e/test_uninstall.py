#!/usr/bin/env python3
"""After an installation, as a user finds it: the links, opened as the shell
opens them, and the uninstaller, answered No and then Yes; then what is left
and what the uninstaller hands to Windows for its next start.

The uninstaller works in two processes: the one the link starts removes
the links and the files, copies itself to C:\\windows\\temp and starts the
copy, which removes quillfen.exe and quillfen.ini once the first has let
go of the mutex "Brakmoor quillfen". The copy asks for its own deletion
through wininit.ini and PendingFileRenameOperations, which Wine carries out
whenever its server starts cold: so every check of them is made while the
test's server still runs.

Run one class or case by hand:  python3 test_uninstall.py UninstallTest -v
(see README.md for the environment it needs)."""

import gzip
import os
import re
import unittest

import harness
import tryout
import wineplay
from harness import setUpModule, tearDownModule  # noqa: F401 (unittest calls them)
from tryout import TEMP_COPY, UNINSTALL_MUTEX, UNINSTALLATION, UNINSTALLED, WININIT
from wineplay import NO, YES

# The test add-on, typed into a folder with blanks: the hand-over passes it
# in short form (in long form the copy would get "C:\Program" and delete
# nothing). 'Data' is listed before its subfolder 'Data\Sub': when its turn
# comes it still holds Sub, so it stays. "game.exe" is the recording
# stand-in program, so that opening a link shows what it starts.
FOLDER = r"C:\Program Files\Brakmoor\Addon Two"
SCRIPT = r"""; Addon Two: test add-on of the uninstall tests
DIR=C:\Games\Addon Two
PRODUCT= "Addon Two"
GROUP= "Addon Two"
LINK= "quillfen.exe" "Uninstallation" "-uninstall"
LINK= "Data\readme.txt" "Readme"
DESK= "game.exe" "Addon Two" "-map north"
INSTALL_KEY=Brakmoor\Addon Two
INSTALL_VALUE=InstallDir
DIR 'Data'
DIR 'Data\Sub'
COPY 'game.exe' 'game.exe' {game_size}
COPY 'readme.txt' 'Data\readme.txt' 21
COPY 'deep.map' 'Data\Sub\deep.map' 3000
"""
PAYLOADS = {
    "readme.txt": b"Addon Two: a readme\r\n",
    "deep.map": bytes((i * 13 + 5) & 0xFF for i in range(3000)),
}
INSTALLED_FILES = {"quillfen.exe", "quillfen.ini", "game.exe", "Data\\", r"Data\readme.txt", "Data\\Sub\\",
                   r"Data\Sub\deep.map"}
ADDON_KEY = r"HKLM\SOFTWARE\Brakmoor\Addon Two"
SESSION_MANAGER = r"HKLM\System\CurrentControlSet\Control\Session Manager"
# The uninstaller's debugger lines and the processes it starts.
TRACE = "-all,warn+debugstr,trace+process"


class UninstallTestCase(harness.InstallerTestCase):

    def confirm(self, question, answer):
        """The uninstaller's question, checked and answered with YES or NO."""
        self.assertEqual(self.wine.box_text(UNINSTALLATION), question)
        self.wine.screenshot("question")
        controls = self.wine.controls(UNINSTALLATION, box=True)
        buttons = {cid for cid, cls, visible, _text, _icon in controls if cls == "Button" and visible}
        self.assertEqual(buttons, {YES, NO})
        self.assertTrue(self.wine.box_shows_icon(UNINSTALLATION), "the question shows no icon")
        self.assertFalse(self.wine.is_topmost(UNINSTALLATION, box=True))
        self.wine.answer_box(UNINSTALLATION, answer)

    def assertFinalBox(self):
        self.assertEqual(self.wine.box_text(UNINSTALLATION), UNINSTALLED)
        self.wine.screenshot("finished")
        self.assertTrue(self.wine.box_shows_icon(UNINSTALLATION), "the final box shows no icon")
        self.assertFalse(self.wine.is_topmost(UNINSTALLATION, box=True))
        self.assertEqual(self.wine.boxes(), [(UNINSTALLATION, UNINSTALLED)])

    def assertTempCopyDueForDeletion(self):
        """The temporary copy is the uninstaller, and both ways of asking
        Windows to delete it at its next start are in place."""
        self.assertEqual(self.read_installed(TEMP_COPY), harness.read(tryout.QUILLFEN_EXE), "the temporary copy")
        self.assertEqual(self.read_installed(WININIT).decode("ascii").splitlines(),
                         ["[Rename]", "NUL=" + TEMP_COPY])
        pending = self.wine.reg_query(SESSION_MANAGER, "PendingFileRenameOperations")
        self.assertIsNotNone(pending, "no PendingFileRenameOperations")
        self.assertIn("\\??\\" + TEMP_COPY, pending.split("\\0"))


class UninstallTest(UninstallTestCase):

    def test_links_then_uninstalling_declined_and_accepted(self):
        game = harness.read(harness.FAKE_REDIST_EXE)
        self.install(self.build_installer(SCRIPT.format(game_size=len(game)), b"Test agreement.\r\n",
                                          {**PAYLOADS, "game.exe": game}), FOLDER)
        group, desktop = self.wine.programs_folder() + r"\Addon Two", self.wine.desktop_folder()
        self.assertEqual(self.wine.listing(FOLDER), INSTALLED_FILES)
        self.assertEqual(self.wine.listing(group), {"Uninstallation.lnk", "Readme.lnk"})
        self.assertEqual(self.wine.listing(desktop), {"Addon Two.lnk"})
        # The installer joins the destination (which ends with a backslash)
        # and the target with another backslash; Wine's shell link keeps the
        # path in normal form, with one backslash at the seam.
        links = ((group + r"\Uninstallation.lnk", "quillfen.exe", "-uninstall", 0),
                 (group + r"\Readme.lnk", r"Data\readme.txt", "", 2),
                 (desktop + r"\Addon Two.lnk", "game.exe", "-map north", 2))
        for link, target, arguments, icon_index in links:
            self.assertEqual(self.wine.link(link), {
                "path": FOLDER + "\\" + target, "arguments": arguments, "working-directory": FOLDER + "\\",
                "description": "", "icon-path": "", "icon-index": icon_index})

        # Opened from the desktop, the link starts the game in its folder.
        opened = self.wine.open_link(desktop + r"\Addon Two.lnk")
        record = self.record(FOLDER + r"\game-record.txt")
        self.assertEqual(opened.wait(), 0, "start could not open the link")
        self.assertEqual(record["current-directory"], FOLDER)
        self.assertTrue(record["command-line"].endswith(" -map north"), record["command-line"])
        self.assertTrue(self.wine.wait_ended(FOLDER + r"\game.exe"), "the game did not end")

        # Declined from the Start menu: the uninstaller ends, having started
        # nobody and changed nothing.
        opened = self.wine.open_link(group + r"\Uninstallation.lnk", debug=TRACE)
        self.assertTrue(self.wine.wait_started(FOLDER + r"\quillfen.exe"), "the link started no uninstaller")
        self.confirm("Are you sure to uninstall Addon Two?", NO)
        self.assertTrue(self.wine.wait_ended(FOLDER + r"\quillfen.exe"), "the uninstaller did not end")
        self.assertEqual(opened.wait(), 0, "start could not open the uninstall link")
        self.assertEqual(self.wine.listing(FOLDER), INSTALLED_FILES | {"game-record.txt"})
        self.assertEqual(self.wine.listing(group), {"Uninstallation.lnk", "Readme.lnk"})
        self.assertFalse(self.wine.exists(TEMP_COPY), "a temporary copy was made")
        self.assertFalse(self.wine.exists(WININIT), "wininit.ini was written")
        self.assertEqual(opened.debug_lines(), ["bAreGoodDlls=false\n"], "a second process ran")

        # Accepted, started as the link starts it (in the installation
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
        self.confirm("Are you sure to uninstall Addon Two?", YES)
        self.assertEnds(first, 0)
        # Longer than one 5-second wait of the clean-up stage and the 5 s it
        # would then spend on the locked quillfen.exe: after the wait, the
        # stage must wait again, not go on.
        self.assertFalse(self.wine.wait_for(UNINSTALLATION, box=True, seconds=11),
                         "the clean-up stage did not wait for the mutex")
        self.assertEqual(self.wine.listing(FOLDER), {"quillfen.exe", "quillfen.ini", "Data\\", "game-record.txt"})
        self.assertFalse(self.wine.exists(WININIT), "wininit.ini was written while the mutex was held")
        self.wine.put_file(release, b"")
        self.assertEqual(holder.wait(), 0)
        self.assertEqual(holder.output().split(), ["held", "released", "unlocked"])
        self.assertFinalBox()
        self.assertEqual(first.debug_lines(), ["bAreGoodDlls=false\n"] * 2, "not two processes")
        # What the game wrote is not the installation's, so its folder stays.
        self.assertEqual(self.wine.listing(FOLDER), {"Data\\", "game-record.txt"})
        self.assertEqual(self.wine.listing(group) | self.wine.listing(desktop), set())
        self.assertTempCopyDueForDeletion()
        handed = [line for app, line in first.started_processes() if app.lower() == TEMP_COPY.lower()]
        self.assertEqual(len(handed), 1, handed)
        short_form = re.fullmatch(re.escape(FOLDER) + r"\\quillfen\.exe -uninstallpath (\S+)", handed[0])
        self.assertIsNotNone(short_form, handed[0])
        self.assertNotEqual(short_form[1].lower(), FOLDER.lower())
        self.assertEqual(self.wine.reg_query(ADDON_KEY, "InstallDir"), FOLDER + "\\")
        self.wine.dismiss_box(UNINSTALLATION)
        self.assertEqual(self.wine.boxes(), [])


PLACES = r"<(?:destination|Programs|Desktop)>"


def plan_steps(plan, places):
    """(step, Windows path, size, package entry) of every line of a
    quillpack plan that names a place below <destination>, <Programs> or
    <Desktop>; size and entry only for the files unpacked from the package."""
    steps = []
    for line in plan.splitlines():
        match = re.fullmatch(r"  (\w+) +(%s)\\(.*?)(?:, ([\d,]+) bytes? from (.*)| \(.*\))?" % PLACES, line)
        if match:
            size = match[4] and int(match[4].replace(",", ""))
            steps.append((match[1], places[match[2]] + "\\" + match[3], size, match[5]))
    return steps


class SampleAddonTest(UninstallTestCase):

    def test_installs_and_uninstalls_as_its_plan_says(self):
        installer = self.build_installer(addon=harness.SAMPLE)
        status, plan, err = harness.run([harness.QUILLPACK, "plan", self.wine.unix_path(installer)])
        self.assertEqual((status, err), (0, ""))
        folder = re.search(r"^  destination  (.+)\\$", plan, re.M)[1]
        places = {"<destination>": folder, "<Programs>": self.wine.programs_folder(),
                  "<Desktop>": self.wine.desktop_folder()}
        steps = plan_steps(plan, places)

        def resolve(text):
            return re.sub(PLACES, lambda place: places[place[0]], text, count=1)

        program, (agreement, proposed, size_line) = self.install(installer)
        self.assertEqual(agreement, harness.read(os.path.join(harness.SAMPLE, "Umowa.txt")))
        self.assertEqual(proposed, folder + "\\")
        self.assertEqual(size_line, re.search(r"^  size line +(.+) \(", plan, re.M)[1])

        made = {path[len(folder) + 1:] + ("\\" if step == "folder" else "")
                for step, path, _size, _entry in steps if step in ("folder", "file") and path.startswith(folder)}
        self.assertEqual(self.wine.listing(folder), made)
        unpacked = [(path, size, entry) for _step, path, size, entry in steps if entry]
        for path, size, entry in unpacked:
            source = os.path.join(harness.SAMPLE, *entry.split("\\"))
            if os.path.exists(source):   # shipped packed
                content = gzip.decompress(harness.read(source))
            else:
                content = harness.read(source[:-3])
            self.assertEqual((len(content), self.read_installed(path)), (size, content), path)
        self.assertEqual(sorted(line for line in program.debug_lines() if line.startswith("C:")),
                         sorted(path for path, _size, _entry in unpacked))
        key, value = re.search(r"^  registry +(.+), value (\S+) = <destination>$", plan, re.M).groups()
        self.assertEqual(self.wine.reg_value(key, value), ("REG_SZ", folder + "\\"))
        links = re.findall(r"^  link +(.+)\n    target +(.+)\n    arguments +(.+)\n    working folder +(.+)\n"
                           r"    icon +index (\d+)", plan, re.M)
        self.assertEqual(len(links), 2)
        for link, target, arguments, working, icon in links:
            self.assertEqual(self.wine.link(resolve(link)), {
                "path": resolve(target), "arguments": "" if arguments == "(none)" else arguments,
                "working-directory": resolve(working) + "\\", "description": "", "icon-path": "",
                "icon-index": int(icon)})

        uninstall_link = next(resolve(link) for link, _t, arguments, _w, _i in links if arguments == "-uninstall")
        opened = self.wine.open_link(uninstall_link)
        self.assertTrue(self.wine.wait_started(folder + r"\quillfen.exe"), "the link started no uninstaller")
        self.confirm(re.search(r"^  asks +(.+)$", plan, re.M)[1], YES)
        self.assertTrue(self.wine.wait_ended(folder + r"\quillfen.exe"), "the uninstaller did not end")
        self.assertFinalBox()
        self.assertEqual(opened.wait(), 0)
        self.assertIn("  leaves       <destination> itself, empty\n", plan)
        self.assertEqual(self.wine.listing(folder), set())
        for step, path, _size, _entry in steps:
            if step in ("delete", "remove"):
                self.assertFalse(self.wine.exists(path), path)
        self.assertEqual(self.wine.reg_query(key, value), folder + "\\", "the plan says the value stays")
        self.wine.dismiss_box(UNINSTALLATION)


if __name__ == "__main__":
    unittest.main()
