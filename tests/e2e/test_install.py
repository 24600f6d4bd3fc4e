#!/usr/bin/env python3
"""Installing an add-on, as a user does it: build an installer, run it under
Wine, read the dialogs and press their buttons, then look at the disk, the
registry, the message boxes, the debugger lines and the exit status.

Run one class or case by hand:  python3 test_install.py InstallTest.test_default_installation -v
(see README.md for the environment it needs)."""

import gzip
import os
import re
import unittest

import harness
import tryout
import wineplay
from harness import setUpModule, tearDownModule  # noqa: F401 (unittest calls them)

AGREEMENT = "Information"
INSTALLATION = "Installation"
# Controls of the two dialogs and of a message box
AGREEMENT_TEXT, DESTINATION, STATUS_LINE, PROGRESS = 1000, 1002, 1005, 1006
OK, CANCEL = 1, 2

GAME_KEY = r"HKLM\SOFTWARE\Brakmoor\Tundravale"
ADDON_KEY = r"HKLM\SOFTWARE\Brakmoor\Addon One"

# The test add-on. Its default folder comes without a final backslash; its
# sizes add up to 1,049,599 bytes, which is 1024 whole KiB and so 1 MB,
# although it is more than 1 MiB; the first two files are a quarter each.
DEFAULT_FOLDER = r"C:\Games\Tundra Vale\Addon One"
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
# Polish, code page 1250, CR LF line ends, and no line end after the last
# character, which must be shown too.
AGREEMENT_BYTES = ("UMOWA LICENCYJNA \u2014 DODATEK TESTOWY\r\n\r\n"
                   "Zażółć gęślą jaźń. Instalując dodatek, akceptujesz warunki umowy.\r\n"
                   "Ostatni znak tej umowy to ż").encode("cp1250")
SIZE_LINE = "Installation requires 1 MB of free disk space"
DAMAGED = "This installer is damaged and cannot install anything. Please download it again."


def installed_files(root):
    """Every file below a folder, as relative Windows paths."""
    found = set()
    for folder, _dirs, files in os.walk(root):
        for name in files:
            found.add(os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "\\"))
    return found


class Session(harness.InstallerTestCase):
    """The steps a user takes, shared by the tests below."""

    def start_installer(self):
        """Packs the test add-on and starts the installer."""
        self.installer = self.build_installer(SCRIPT, AGREEMENT_BYTES, PAYLOADS)
        return self.wine.start(self.installer)

    def accept_agreement(self):
        self.assertTrue(self.wine.wait_for(AGREEMENT, has=AGREEMENT_TEXT), "no agreement dialog")
        self.wine.press(AGREEMENT, OK)
        self.assertTrue(self.wine.wait_for(INSTALLATION, has=DESTINATION), "no destination dialog")

    def install_into(self, folder=None):
        """Types folder (unless None), presses OK and waits for the success box."""
        if folder is not None:
            self.wine.type_text(INSTALLATION, DESTINATION, folder)
        self.wine.press(INSTALLATION, OK)
        self.assertEqual(self.wine.box_text(INSTALLATION), "Installation successfully completed")

    def assertNoTrace(self, folder):
        """Nothing of the add-on was written: no folder, no registry value."""
        self.assertFalse(os.path.exists(self.wine.unix_path(folder)), folder + " was created")
        self.assertIsNone(self.wine.reg_query(ADDON_KEY, "InstallDir"))

    def assertInstalled(self, folder):
        """The uninstaller copy, the script and every payload, byte for byte."""
        root = self.wine.unix_path(folder)
        self.assertEqual(installed_files(root), {"quillfen.exe", "quillfen.ini"} | set(PAYLOADS))
        for name, content in PAYLOADS.items():
            self.assertEqual(self.read_installed(folder + "\\" + name), content, name)
        with open(tryout.QUILLFEN_EXE, "rb") as stub:
            self.assertEqual(self.read_installed(folder + r"\quillfen.exe"), stub.read(),
                             "the uninstaller copy is not the bare stub")
        self.assertEqual(self.read_installed(folder + r"\quillfen.ini"),
                         wineplay.entry_bytes(self.wine.unix_path(self.installer), "quillfen.ini"))


class InstallTest(Session):

    def test_default_installation(self):
        program = self.start_installer()

        self.assertTrue(self.wine.wait_for(AGREEMENT, has=AGREEMENT_TEXT))
        self.wine.screenshot("1-agreement")
        self.assertEqual(self.wine.text_bytes(AGREEMENT, AGREEMENT_TEXT), AGREEMENT_BYTES,
                         "the agreement is not shown whole in code page 1250")
        self.wine.press(AGREEMENT, OK)

        self.assertTrue(self.wine.wait_for(INSTALLATION, has=DESTINATION))
        self.wine.screenshot("2-destination")
        self.assertEqual(self.wine.text(INSTALLATION, DESTINATION), DEFAULT_FOLDER + "\\")
        self.assertEqual(self.wine.text(INSTALLATION, STATUS_LINE), SIZE_LINE)
        self.assertEqual(self.wine.progress(INSTALLATION, PROGRESS), (0, 0, 100))

        self.install_into()
        self.wine.screenshot("3-success")
        self.assertTrue(self.wine.box_shows_icon(INSTALLATION))
        self.assertEqual(self.wine.boxes(), [(INSTALLATION, "Installation successfully completed")])
        self.wine.dismiss_box(INSTALLATION)
        self.assertEnds(program, 0)

        self.assertInstalled(DEFAULT_FOLDER)
        self.assertEqual(self.wine.reg_query(ADDON_KEY, "InstallDir"), DEFAULT_FOLDER + "\\")
        # The copy pass as the debugger and the progress bar saw it: the
        # folder (0 %), each file's path and then the bar after it.
        events = program.events()
        self.assertIn(("debug", "befora file unpack\n"), events)
        start = events.index(("debug", "befora file unpack\n"))
        self.assertEqual(events[start + 1:], [
            ("position", 0),
            ("debug", DEFAULT_FOLDER + r"\Maps\north field.map"), ("position", 25),
            ("debug", DEFAULT_FOLDER + r"\notes.txt"), ("position", 50),
            ("debug", DEFAULT_FOLDER + r"\Maps\south.map"), ("position", 100),
            ("debug", "after file unpack\n"),
            ("debug", "after file unpack end dialog\n"),
        ])

    def test_dialogs_get_wines_own_fonts(self):
        # Marlett draws the caption buttons (without it the close button
        # shows a letter "r"); MS Sans Serif is the dialogs' font.
        for face in ("Marlett", "MS Sans Serif"):
            self.assertEqual(self.wine.driver("face", face), (0, face.encode() + b"\n"))

    def test_sample_addon(self):
        addon = os.path.join(harness.REPO, "examples", "tundra-maps")
        self.installer = self.place_installer(
            harness.quillpack_build(addon, os.path.join(self.scratch, "TundraMaps-Setup.exe")))
        folder = r"C:\Program Files\Brakmoor\Tundra Vale"
        with open(os.path.join(addon, "quillfen.ini"), "rb") as f:
            copies = re.findall(rb"^COPY '([^']*)' '([^']*)' (\d+)", f.read(), re.M)
        with open(os.path.join(addon, "Umowa.txt"), "rb") as f:
            agreement = f.read()
        program = self.wine.start(self.installer)

        self.assertTrue(self.wine.wait_for(AGREEMENT, has=AGREEMENT_TEXT))
        self.wine.screenshot("1-agreement")
        self.assertEqual(self.wine.text_bytes(AGREEMENT, AGREEMENT_TEXT), harness.with_crlf(agreement))
        self.wine.press(AGREEMENT, OK)
        self.assertTrue(self.wine.wait_for(INSTALLATION, has=DESTINATION))
        self.wine.screenshot("2-destination")
        self.assertEqual(self.wine.text(INSTALLATION, DESTINATION), folder + "\\")
        total = sum(int(size) for _entry, _target, size in copies)
        self.assertEqual(self.wine.text(INSTALLATION, STATUS_LINE),
                         "Installation requires %d MB of free disk space" % ((total // 1024 + 1023) // 1024))
        self.install_into()
        self.wine.dismiss_box(INSTALLATION)
        self.assertEnds(program, 0)

        for entry, target, size in copies:
            with open(os.path.join(addon, *entry.decode().split("\\")), "rb") as f:
                content = f.read()
            if entry.endswith(b".gz"):
                content = gzip.decompress(content)
            installed = self.read_installed(folder + "\\" + target.decode())
            self.assertEqual(installed, content, target)
            self.assertEqual(len(installed), int(size))
        self.assertEqual(self.wine.reg_query(GAME_KEY, "MapsDir"), folder + "\\")
        paths = [text for text in program.debug_lines() if text.startswith("C:")]
        self.assertEqual(paths, [folder + "\\" + target.decode() for _entry, target, _size in copies])
        positions = [n for kind, n in program.events() if kind == "position"]
        self.assertEqual(positions[-1], 100)
        self.assertEqual(positions, sorted(positions), "the progress bar went back")


class DestinationChoiceTest(Session):

    def test_game_folder_from_registry(self):
        # Taken as it is: no backslash added in the field, one added on OK.
        self.wine.reg_add(GAME_KEY, "DestinationDir", r"C:\Games\Tundra")
        program = self.start_installer()
        self.accept_agreement()
        self.assertEqual(self.wine.text(INSTALLATION, DESTINATION), r"C:\Games\Tundra")
        self.install_into()
        self.wine.dismiss_box(INSTALLATION)
        self.assertEnds(program, 0)

        self.assertInstalled(r"C:\Games\Tundra")
        self.assertEqual(self.wine.reg_query(ADDON_KEY, "InstallDir"), "C:\\Games\\Tundra\\")
        self.assertIn(r"C:\Games\Tundra\notes.txt", program.debug_lines())
        self.assertFalse(os.path.exists(self.wine.unix_path(DEFAULT_FOLDER)))

    def test_wrong_path_then_good_path(self):
        not_a_folder = r"C:\Games\not a folder.txt"
        self.wine.put_file(not_a_folder, b"a file, not a folder\r\n")
        program = self.start_installer()
        self.accept_agreement()

        self.wine.type_text(INSTALLATION, DESTINATION, not_a_folder)
        self.wine.press(INSTALLATION, OK)
        self.assertEqual(self.wine.box_text("Error"), "Wrong path")
        self.wine.screenshot("wrong-path")
        self.assertFalse(self.wine.box_shows_icon("Error"))
        self.wine.dismiss_box("Error")
        self.assertTrue(self.wine.wait_for(INSTALLATION, has=DESTINATION, seconds=0),
                        "the destination dialog closed after the wrong path")

        self.install_into(r"C:\Games\Good Place")
        self.wine.dismiss_box(INSTALLATION)
        self.assertEnds(program, 0)
        self.assertInstalled(r"C:\Games\Good Place")
        self.assertEqual(self.wine.reg_query(ADDON_KEY, "InstallDir"), "C:\\Games\\Good Place\\")
        self.assertEqual(self.read_installed(not_a_folder), b"a file, not a folder\r\n")
        self.assertEqual(program.debug_lines().count("befora file unpack\n"), 1)


class CancelTest(Session):
    # A message box would keep the program from ending by itself, so an
    # installer that ends after Cancel has shown none.

    def test_cancel_agreement(self):
        program = self.start_installer()
        self.assertTrue(self.wine.wait_for(AGREEMENT, has=AGREEMENT_TEXT))
        self.wine.press(AGREEMENT, CANCEL)
        self.assertEnds(program, 0)
        self.assertNoTrace(r"C:\Games")
        self.assertNotIn("position", [kind for kind, _ in program.events()],
                         "the destination dialog was shown")

    def test_cancel_destination(self):
        program = self.start_installer()
        self.accept_agreement()
        self.wine.press(INSTALLATION, CANCEL)
        self.assertEnds(program, 0)
        self.assertNoTrace(r"C:\Games")
        self.assertNotIn("befora file unpack\n", program.debug_lines())


class BrokenInstallerTest(Session):

    def damaged_installer(self, damage):
        """The test add-on packed by quillpack, then damaged in place by
        damage(bytearray of the file, its entries)."""
        path = harness.quillpack_build(harness.make_addon(
            os.path.join(self.scratch, "addon"), SCRIPT, AGREEMENT_BYTES, PAYLOADS),
            os.path.join(self.scratch, "Setup.exe"))
        with open(path, "rb") as f:
            data = bytearray(f.read())
        damage(data, {e.name: e for e in wineplay.read_package(path)})
        with open(path, "wb") as f:
            f.write(data)
        self.installer = self.place_installer(path)
        return self.wine.start(self.installer)

    def assertRefusedAsDamaged(self, program):
        """One box, status 1, and nothing made: no folder, no registry value."""
        self.assertEqual(self.wine.box_text("Error"), DAMAGED)
        self.assertEqual(len(self.wine.boxes()), 1)
        self.wine.dismiss_box("Error")
        self.assertEnds(program, 1)
        self.assertFalse(os.path.exists(self.wine.unix_path(DEFAULT_FOLDER)))
        self.assertIsNone(self.wine.reg_query(ADDON_KEY, "InstallDir"))

    def test_cut_short_beside_planted_files(self):
        # A damaged installer reads nothing beside it either: not a script,
        # an agreement, a payload or an uninstaller put there to be found.
        for name, content in (("quillfen.ini", b"DIR=C:\\Planted\r\nCOPY 'p.gz' 'p.txt' 1\r\n"),
                              ("Umowa.txt", b"planted"), ("p.gz", gzip.compress(b"p")),
                              ("quillfen.exe", b"MZ planted")):
            self.wine.put_file("C:\\setup\\" + name, content)
        program = self.damaged_installer(lambda data, entries: data.pop())
        self.wine.screenshot("damaged")
        self.assertRefusedAsDamaged(program)
        self.assertFalse(os.path.exists(self.wine.unix_path("C:\\Planted")))

    def test_a_sample_of_single_field_damage(self):
        # The host tests sweep every field; here a few of them under Wine.
        def field(entry_name, at, change):
            def damage(data, entries):
                where = entries[entry_name].record_offset + at
                value = int.from_bytes(data[where:where + 4], "little")
                data[where:where + 4] = ((value + change) & 0xFFFFFFFF).to_bytes(4, "little")
            return damage

        def flip_member_crc(data, entries):
            notes = entries["notes.txt.gz"]
            data[notes.offset + notes.size - 8] ^= 0x01
        for what, damage in (("the script's offset + 1", field("quillfen.ini", 0, 1)),
                             ("a member's size + 18", field("notes.txt.gz", 4, 18)),
                             ("a raw length of 1", field("notes.txt.gz", 8, 1)),
                             ("a member's CRC-32", flip_member_crc)):
            with self.subTest(what):
                program = self.damaged_installer(damage)
                self.assertRefusedAsDamaged(program)


class UnsafeScriptTest(Session):
    # quillpack refuses these scripts, so the installers are written here.

    def unsafe_installer(self, after, line):
        """The test add-on with line put into its script after the line
        that starts with after."""
        script = re.sub("^(" + re.escape(after) + ".*\n)", lambda m: m.group(1) + line + "\n", SCRIPT,
                        count=1, flags=re.M)
        self.assertIn(line, script)
        entries = [("quillfen.ini", harness.with_crlf(script.encode())),
                   ("umowa.txt", AGREEMENT_BYTES)]
        entries += [(name + ".gz", harness.gzip_member(content)) for name, content in PAYLOADS.items()]
        path = harness.write_package(tryout.QUILLFEN_EXE, entries, os.path.join(self.scratch, "Setup.exe"))
        self.installer = self.place_installer(path)
        return self.wine.start(self.installer)

    def assertNothingOutside(self):
        parent = self.wine.unix_path(r"C:\Games\Tundra Vale")
        self.assertEqual(os.listdir(parent), ["Addon One"])
        self.assertIsNone(self.wine.reg_query(ADDON_KEY, "InstallDir"))

    def test_copy_leaving_destination(self):
        program = self.unsafe_installer("COPY 'Maps", r"COPY 'notes.txt' '..\outside.txt' 262400")
        self.accept_agreement()
        self.wine.press(INSTALLATION, OK)
        self.assertEqual(self.wine.box_text("Error"), r"..\outside.txt")
        self.wine.dismiss_box("Error")
        self.assertEnds(program, 1)
        self.assertNothingOutside()
        self.assertEqual(installed_files(self.wine.unix_path(DEFAULT_FOLDER)),
                         {"quillfen.exe", "quillfen.ini", r"Maps\north field.map"})

    def test_dir_leaving_destination(self):
        program = self.unsafe_installer("DIR 'Maps'", r"DIR '..\Elsewhere'")
        self.accept_agreement()
        self.wine.press(INSTALLATION, OK)
        self.assertEqual(self.wine.box_text("Error"), r"..\Elsewhere")
        self.wine.dismiss_box("Error")
        self.assertEqual(self.wine.box_text("Error"), "Error while installing files")
        self.wine.dismiss_box("Error")
        self.assertEnds(program, 1)
        self.assertNothingOutside()
        self.assertEqual(program.debug_lines()[-2:], ["after file unpack\n", "after file unpack error\n"])


if __name__ == "__main__":
    unittest.main()
