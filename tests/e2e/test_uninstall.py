#!/usr/bin/env python3
"""Uninstalling an add-on, as a user does it: install it, open the
uninstall link from the Start menu, answer the question, and then look at
what is left on the disk, in the Start menu and on the desktop, and at what
the uninstaller hands to Windows for its next start.

The uninstaller works in two processes: the one the link starts removes
the links and the files, copies itself to C:\\windows\\temp and starts the
copy, which removes quillfen.exe and quillfen.ini once the first has let
go of the mutex "Brakmoor quillfen". The copy asks for its own deletion
through wininit.ini and PendingFileRenameOperations, which Wine carries out
whenever its server starts cold: so every check of them is made while the
test's server still runs.

Run one class or case by hand:  python3 test_uninstall.py UninstallTest -v
(see README.md for the environment it needs)."""

import os
import re
import subprocess
import unittest

import harness
import tryout
import wineplay
from harness import setUpModule, tearDownModule  # noqa: F401 (unittest calls them)
from tryout import UNINSTALL_MUTEX, UNINSTALLATION
from wineplay import NO, YES

# The test add-on. 'Data' is listed before its subfolder 'Data\Sub': when
# its turn comes it still holds Sub, so it stays.
SCRIPT = r"""; Addon Two: test add-on of the uninstall tests
DIR={folder}
PRODUCT= "Addon Two"
GROUP= "Addon Two"
LINK= "quillfen.exe" "Uninstallation" "-uninstall"
LINK= "Data\readme.txt" "Readme"
DESK= "Data\readme.txt" "Addon Two Readme"
INSTALL_KEY=Brakmoor\Addon Two
INSTALL_VALUE=InstallDir
DIR 'Data'
DIR 'Data\Sub'
DIR 'Maps'
COPY 'readme.txt' 'Data\readme.txt' 21
COPY 'deep.map' 'Data\Sub\deep.map' 3000
COPY 'north.map' 'Maps\north.map' 5000
COPY 'top.txt' 'top.txt' 12
"""
PAYLOADS = {
    "readme.txt": b"Addon Two: a readme\r\n",
    "deep.map": bytes((i * 13 + 5) & 0xFF for i in range(3000)),
    "north.map": bytes((i * 7 + 1) & 0xFF for i in range(5000)),
    "top.txt": b"top of tree\n",
}
AGREEMENT_BYTES = b"Test agreement of the uninstall tests.\r\n"
INSTALLED = {"quillfen.exe", "quillfen.ini", "top.txt", "Data\\", r"Data\readme.txt", "Data\\Sub\\",
             r"Data\Sub\deep.map", "Maps\\", r"Maps\north.map"}
ADDON_KEY = r"HKLM\SOFTWARE\Brakmoor\Addon Two"
SESSION_MANAGER = r"HKLM\System\CurrentControlSet\Control\Session Manager"

TEMP_COPY = r"C:\windows\temp\quillfen.exe"
WININIT = r"C:\windows\wininit.ini"
# The uninstaller's debugger lines and the processes it starts.
TRACE = "-all,warn+debugstr,trace+process"


class UninstallTestCase(harness.InstallerTestCase):

    def install_addon(self, folder):
        """Installs the test add-on into folder (its proposed destination);
        returns (the group folder, the desktop link) once checked."""
        self.install(self.build_installer(SCRIPT.format(folder=folder), AGREEMENT_BYTES, PAYLOADS))
        self.assertEqual(self.wine.listing(folder), INSTALLED)
        group = self.wine.programs_folder() + r"\Addon Two"
        desktop_link = self.wine.desktop_folder() + r"\Addon Two Readme.lnk"
        self.assertEqual(self.wine.listing(group), {"Uninstallation.lnk", "Readme.lnk"})
        self.assertTrue(self.wine.exists(desktop_link))
        return group, desktop_link

    def confirm(self, answer):
        """The confirmation, checked and answered with YES or NO."""
        self.assertEqual(self.wine.box_text(UNINSTALLATION), "Are you sure to uninstall Addon Two?")
        self.wine.screenshot("confirmation")
        controls = self.wine.controls(UNINSTALLATION, box=True)
        buttons = {cid for cid, cls, visible, _text, _icon in controls if cls == "Button" and visible}
        self.assertEqual(buttons, {YES, NO})
        self.assertTrue(self.wine.box_shows_icon(UNINSTALLATION), "the question shows no icon")
        self.assertFalse(self.wine.is_topmost(UNINSTALLATION, box=True))
        self.wine.answer_box(UNINSTALLATION, answer)

    def assertFinalBox(self):
        self.assertEqual(self.wine.box_text(UNINSTALLATION), "Uninstallation finished")
        self.wine.screenshot("finished")
        self.assertTrue(self.wine.box_shows_icon(UNINSTALLATION), "the final box shows no icon")
        self.assertFalse(self.wine.is_topmost(UNINSTALLATION, box=True))
        self.assertEqual(self.wine.boxes(), [(UNINSTALLATION, "Uninstallation finished")])

    def assertTempCopyDueForDeletion(self):
        """The temporary copy is the uninstaller, and both ways of asking
        Windows to delete it at its next start are in place."""
        with open(tryout.QUILLFEN_EXE, "rb") as stub:
            self.assertEqual(self.read_installed(TEMP_COPY), stub.read(), "the temporary copy")
        self.assertTrue(self.wine.exists(WININIT), "no wininit.ini")
        self.assertEqual(self.read_installed(WININIT).decode("ascii").splitlines(),
                         ["[Rename]", "NUL=" + TEMP_COPY])
        pending = self.wine.reg_query(SESSION_MANAGER, "PendingFileRenameOperations")
        self.assertIsNotNone(pending, "no PendingFileRenameOperations")
        self.assertIn("\\??\\" + TEMP_COPY, pending.split("\\0"))

    def assertHandOver(self, program, folder, short_form):
        """The first process started the temporary copy, once, with its own
        path and the installation folder as one word."""
        self.assertEqual(
            [(app, line) for app, line in program.started_processes() if app.lower() == TEMP_COPY.lower()],
            [(TEMP_COPY, folder + r"\quillfen.exe -uninstallpath " + short_form)])


class UninstallTest(UninstallTestCase):

    def test_uninstall_from_the_start_menu(self):
        folder = r"C:\Games\AddonTwo"
        group, desktop_link = self.install_addon(folder)

        opened = self.wine.open_link(group + r"\Uninstallation.lnk", debug=TRACE)
        self.assertTrue(self.wine.wait_started(folder + r"\quillfen.exe"), "the link started no uninstaller")
        self.confirm(YES)
        self.assertTrue(self.wine.wait_ended(folder + r"\quillfen.exe"), "the uninstaller did not end")
        self.assertFinalBox()
        self.assertEqual(opened.wait(), 0, "start could not open the uninstall link")

        # Only the parent folder listed before its subfolder is left.
        self.assertEqual(self.wine.listing(folder), {"Data\\"})
        self.assertFalse(self.wine.exists(group), "the program group is still there")
        self.assertFalse(self.wine.exists(desktop_link), "the desktop link is still there")
        self.assertTempCopyDueForDeletion()
        # A name without blanks is its own short form.
        self.assertHandOver(opened, folder, folder)
        self.assertEqual(opened.debug_lines(), ["bAreGoodDlls=false\n"] * 2, "not two processes")
        self.assertEqual(self.wine.reg_query(ADDON_KEY, "InstallDir"), folder + "\\")

        self.wine.dismiss_box(UNINSTALLATION)
        self.assertEqual(self.wine.boxes(), [])

    def test_uninstall_from_a_folder_with_blanks(self):
        # The hand-over passes the folder in short form: in long form the
        # copy would get "C:\Program" and delete nothing.
        folder = r"C:\Program Files\Brakmoor\Tundra Vale"
        group, desktop_link = self.install_addon(folder + "\\")
        self.wine.put_file(folder + r"\Maps\my own.map", b"a map the user made")

        # As the link does it: in the installation folder, with "-uninstall".
        first = self.wine.start(folder + r"\quillfen.exe", "-uninstall", cwd=folder, debug=TRACE,
                                name="uninstaller")
        self.confirm(YES)
        self.assertEnds(first, 0)
        self.assertFinalBox()

        self.assertEqual(self.wine.listing(folder), {"Data\\", "Maps\\", r"Maps\my own.map"})
        self.assertFalse(self.wine.exists(group), "the program group is still there")
        self.assertFalse(self.wine.exists(desktop_link), "the desktop link is still there")
        self.assertTempCopyDueForDeletion()
        handed = [line for app, line in first.started_processes() if app.lower() == TEMP_COPY.lower()]
        self.assertEqual(len(handed), 1, handed)
        short_form = re.fullmatch(re.escape(folder) + r"\\quillfen\.exe -uninstallpath (\S+)", handed[0])
        self.assertIsNotNone(short_form, handed[0])
        self.assertNotEqual(short_form.group(1).lower(), folder.lower())
        self.wine.dismiss_box(UNINSTALLATION)

    def test_declined(self):
        folder = r"C:\Games\AddonTwo"
        group, desktop_link = self.install_addon(folder)
        desktop_before = self.wine.listing(self.wine.desktop_folder())

        opened = self.wine.open_link(group + r"\Uninstallation.lnk", debug=TRACE)
        self.assertTrue(self.wine.wait_started(folder + r"\quillfen.exe"), "the link started no uninstaller")
        self.confirm(NO)
        self.assertTrue(self.wine.wait_ended(folder + r"\quillfen.exe"), "the uninstaller did not end")
        self.assertEqual(opened.wait(), 0, "start could not open the uninstall link")

        # The uninstaller has ended: it started nobody and changed nothing.
        self.assertEqual(self.wine.boxes(), [])
        self.assertEqual(self.wine.listing(folder), INSTALLED)
        self.assertEqual(self.wine.listing(group), {"Uninstallation.lnk", "Readme.lnk"})
        self.assertEqual(self.wine.listing(self.wine.desktop_folder()), desktop_before)
        self.assertFalse(self.wine.exists(TEMP_COPY), "a temporary copy was made")
        self.assertFalse(self.wine.exists(WININIT), "wininit.ini was written")
        self.assertEqual(opened.debug_lines(), ["bAreGoodDlls=false\n"], "a second process ran")
        self.assertEqual([app for app, _line in opened.started_processes()
                          if app.lower() == TEMP_COPY.lower()], [])


SAMPLE = os.path.join(harness.REPO, "examples", "tundra-maps")
PLACES = r"<(?:destination|Programs|Desktop)>"


def plan_steps(plan, places):
    """(step, Windows path, size or None) of every line of a quillpack plan
    that names a place below <destination>, <Programs> or <Desktop>."""
    steps = []
    for line in plan.splitlines():
        match = re.fullmatch(r"  (\w+) +(%s)\\(.*?)(?:, ([\d,]+) bytes? from .*| \(.*\))?" % PLACES, line)
        if match:
            size = match[4] and int(match[4].replace(",", ""))
            steps.append((match[1], places[match[2]] + "\\" + match[3], size))
    return steps


class SampleAddonTest(UninstallTestCase):

    def test_installs_and_uninstalls_as_its_plan_says(self):
        installer = harness.quillpack_build(SAMPLE, os.path.join(self.scratch, "Setup.exe"))
        done = subprocess.run([harness.QUILLPACK, "plan", installer], capture_output=True, timeout=60)
        self.assertEqual((done.returncode, done.stderr), (0, b""))
        plan = done.stdout.decode("cp1250")
        folder = re.search(r"^  destination  (.+)\\$", plan, re.M)[1]
        places = {"<destination>": folder, "<Programs>": self.wine.programs_folder(),
                  "<Desktop>": self.wine.desktop_folder()}
        steps = plan_steps(plan, places)

        def resolve(text):
            return re.sub(PLACES, lambda place: places[place[0]], text, count=1)

        def below(*names):
            return {path[len(folder) + 1:] + ("\\" if step in ("folder", "leaves") else "")
                    for step, path, _size in steps if step in names and path.startswith(folder + "\\")}

        self.install(self.place_installer(installer))
        self.assertEqual(self.wine.listing(folder), below("folder", "file"))
        for step, path, size in steps:
            if size is not None:
                self.assertEqual(len(self.read_installed(path)), size, path)
        links = re.findall(r"^  link +(.+)\n    target +(.+)\n    arguments +(.+)\n    working folder +(.+)\n"
                           r"    icon +index (\d+)", plan, re.M)
        self.assertEqual(len(links), 2)
        for link, target, arguments, working, icon in links:
            fields = self.wine.link(resolve(link))
            self.assertEqual(fields["path"].replace("\\\\", "\\"), resolve(target))
            self.assertEqual(fields["arguments"], "" if arguments == "(none)" else arguments)
            self.assertEqual(fields["working-directory"], resolve(working) + "\\")
            self.assertEqual(fields["icon-index"], int(icon))

        uninstall_link = next(resolve(link) for link, _t, arguments, _w, _i in links if arguments == "-uninstall")
        opened = self.wine.open_link(uninstall_link)
        self.assertTrue(self.wine.wait_started(folder + r"\quillfen.exe"), "the link started no uninstaller")
        self.assertEqual(self.wine.box_text(UNINSTALLATION), re.search(r"^  asks +(.+)$", plan, re.M)[1])
        self.wine.answer_box(UNINSTALLATION, YES)
        self.assertTrue(self.wine.wait_ended(folder + r"\quillfen.exe"), "the uninstaller did not end")
        self.assertFinalBox()
        self.assertEqual(opened.wait(), 0)
        self.assertEqual(self.wine.listing(folder), below("leaves"))
        self.assertEqual(below("leaves"), set())
        for step, path, _size in steps:
            if step in ("delete", "remove"):
                self.assertFalse(self.wine.exists(path), path)
        self.wine.dismiss_box(UNINSTALLATION)


class CleanUpOrderTest(UninstallTestCase):
    # The clean-up stage started by hand, as the hand-over starts it, while
    # the driver holds the mutex the way a slow first process would.

    FOLDER = r"C:\Games\HeldAddon"
    RELEASE = r"C:\release-the-mutex"

    def setUp(self):
        super().setUp()
        with open(tryout.QUILLFEN_EXE, "rb") as stub:
            self.stub = stub.read()
        self.wine.put_file(self.FOLDER + r"\quillfen.exe", self.stub)
        self.wine.put_file(self.FOLDER + r"\quillfen.ini", SCRIPT.format(folder=self.FOLDER).encode())
        self.wine.put_file(self.FOLDER + r"\notes.txt", b"not the uninstaller's\r\n")
        self.wine.put_file(TEMP_COPY, self.stub)

    def hold_mutex(self, *options):
        holder = self.wine.start(tryout.UIDRIVER_EXE, "hold-mutex", UNINSTALL_MUTEX, wineplay.PROGRAM_TIMEOUT * 2,
                                 "--until", self.RELEASE, *options, cwd="C:\\", debug="-all", name="holder")
        self.assertTrue(self.wine.wait_until(lambda: "held" in holder.output().split()),
                        "the driver does not hold the mutex")
        return holder

    def start_clean_up(self):
        clean_up = self.wine.start(TEMP_COPY, "-uninstallpath", self.FOLDER, cwd=r"C:\windows\temp",
                                   name="clean-up")
        self.assertTrue(self.wine.wait_until(lambda: clean_up.debug_lines() == ["bAreGoodDlls=false\n"]),
                        "the clean-up stage did not start")
        return clean_up

    def assertWaitsForTheHolder(self):
        # Longer than one 5-second wait of the clean-up stage: after it, the
        # stage must wait again, not go on.
        self.assertFalse(self.wine.wait_for(UNINSTALLATION, box=True, seconds=7),
                         "the clean-up stage did not wait for the mutex")
        self.assertEqual(self.wine.listing(self.FOLDER), {"quillfen.exe", "quillfen.ini", "notes.txt"})
        self.assertFalse(self.wine.exists(WININIT), "wininit.ini was written while the mutex was held")

    def assertCleanedUp(self, clean_up):
        self.assertFinalBox()
        self.assertEqual(self.wine.listing(self.FOLDER), {"notes.txt"})
        self.assertTempCopyDueForDeletion()
        self.wine.dismiss_box(UNINSTALLATION)
        self.assertEnds(clean_up, 0)

    def test_waits_until_the_mutex_is_released(self):
        holder = self.hold_mutex()
        clean_up = self.start_clean_up()
        self.assertWaitsForTheHolder()

        self.wine.put_file(self.RELEASE, b"")
        self.assertEqual(holder.wait(), 0)
        self.assertEqual(holder.output().split(), ["held", "released"])
        self.assertCleanedUp(clean_up)

    def test_retries_while_the_uninstaller_is_still_in_use(self):
        # The first process releases the mutex as its last act, but its
        # executable stays in use until it has ended: the holder keeps
        # quillfen.exe open for 2 s more, well within the 5 s the clean-up
        # stage keeps trying to delete it.
        holder = self.hold_mutex("--lock", self.FOLDER + r"\quillfen.exe", 2)
        clean_up = self.start_clean_up()
        self.wine.put_file(self.RELEASE, b"")
        self.assertEqual(holder.wait(), 0)
        self.assertEqual(holder.output().split(), ["held", "released", "unlocked"])
        self.assertCleanedUp(clean_up)

    def test_goes_on_when_the_holder_ends_without_releasing(self):
        holder = self.hold_mutex("--abandon")
        clean_up = self.start_clean_up()
        self.assertWaitsForTheHolder()

        self.wine.put_file(self.RELEASE, b"")
        self.assertEqual(holder.wait(), 0)
        self.assertEqual(holder.output().split(), ["held", "abandoned"])
        self.assertCleanedUp(clean_up)


if __name__ == "__main__":
    unittest.main()
