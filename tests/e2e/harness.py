"""End-to-end test equipment: the real quillfen.exe under Wine on a virtual
display, through the shared module tools/wineplay.py (Xvfb, the template
prefix, Wine sessions, the UI driver) and tools/tryout.py (the installer's
captions and control IDs, where the built programs are).

What is only the tests' own is here: the unittest base class that gives each
test a fresh Wine session, add-on folders written by a test, and installers
written without quillpack's checks (for scripts and packages that quillpack
rightly refuses). Each test module imports setUpModule and tearDownModule:
one display for all its tests.

Configuration, from the environment (ctest sets all of it):
  QUILLFEN_EXE       the bare installer stub (quillfen.exe of the Windows build)
  UIDRIVER_EXE       uidriver.exe of the Windows build
  FAKE_REDIST_EXE    fake_redist.exe of the Windows build (a stand-in vcredist.exe)
  QUILLPACK          the native quillpack
  QUILLFEN_WINE_DIR  where the template prefix lives (default ~/.cache/quillfen/wine)
  E2E_ARTIFACTS      where screenshots and installer logs go
  E2E_KEEP=1         keep each test's prefix folder (its path is printed)
"""

import os
import re
import shutil
import struct
import subprocess
import unittest
import zlib

import tryout
import wineplay
from tryout import AGREEMENT, AGREEMENT_TEXT, DESTINATION, INSTALLATION, QUILLFEN_EXE, QUILLPACK
from wineplay import OK

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))

FAKE_REDIST_EXE = (os.environ.get("FAKE_REDIST_EXE")
                   or os.path.join(os.path.dirname(QUILLFEN_EXE), "tests", "e2e", "fake_redist.exe"))
ARTIFACTS = (os.environ.get("E2E_ARTIFACTS")
             or os.path.join(os.path.dirname(QUILLFEN_EXE), "e2e-artifacts"))


class HarnessError(Exception):
    """The test equipment failed, as opposed to the program under test."""


# ---- Installers written by hand ----------------------------------------------

def gzip_member(content):
    """A gzip member as the packer writes it: the fixed 10-byte header
    1F 8B 08 00 00000000 00 0B, raw deflate data, CRC-32 and length."""
    packer = zlib.compressobj(9, zlib.DEFLATED, -15)
    body = packer.compress(content) + packer.flush()
    header = bytes.fromhex("1f8b080000000000000b")
    trailer = struct.pack("<II", zlib.crc32(content), len(content) & 0xFFFFFFFF)
    return header + body + trailer


def write_package(stub_path, entries, out_path):
    """Writes an installer without quillpack's checks, for scripts that
    quillpack rightly refuses. entries: (name, stored bytes) pairs, written
    after the stub, which becomes entry 0 "quillfen.exe"."""
    with open(stub_path, "rb") as f:
        stub = f.read()
    blob = bytearray(stub)
    records = [("quillfen.exe", 0, len(stub))]
    for name, stored in entries:
        records.append((name, len(blob), len(stored)))
        blob += stored
    directory = len(blob)
    blob += struct.pack("<I", len(records))
    for name, offset, size in records:
        raw = name.encode("latin-1") + b"\0"
        blob += struct.pack("<IIII", offset, size, 0, len(raw)) + raw
    blob += struct.pack("<I", directory)
    with open(out_path, "wb") as f:
        f.write(blob)
    return out_path


def with_crlf(text):
    """Lone LFs as CR LF, as the packer stores the script and the agreement."""
    return re.sub(rb"(?<!\r)\n", b"\r\n", text)


# ---- Add-on folders and quillpack --------------------------------------------

def make_addon(folder, script, agreement, files):
    """Writes an add-on folder: quillfen.ini (script, str), Umowa.txt
    (agreement, bytes, or None for none) and each payload (path with '\\' ->
    bytes). Returns folder."""
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "quillfen.ini"), "wb") as f:
        f.write(script.encode("ascii"))
    if agreement is not None:
        with open(os.path.join(folder, "Umowa.txt"), "wb") as f:
            f.write(agreement)
    for name, content in files.items():
        path = os.path.join(folder, *name.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)
    return folder


def quillpack_build(addon_folder, out_path):
    """Packs an add-on folder behind the stub with quillpack; returns out_path."""
    if not os.access(QUILLPACK, os.X_OK):
        raise HarnessError("no quillpack at %s: build the host build (make host) "
                           "or set QUILLPACK" % QUILLPACK)
    done = subprocess.run([QUILLPACK, "build", "--stub", QUILLFEN_EXE, addon_folder, "-o", out_path],
                          stdin=subprocess.DEVNULL, capture_output=True, timeout=wineplay.COMMAND_TIMEOUT)
    if done.returncode != 0:
        raise HarnessError("quillpack build failed: " + done.stderr.decode(errors="replace"))
    return out_path


# A test module imports these two: one display for all its tests.
def setUpModule():
    wineplay.display()


def tearDownModule():
    wineplay.stop_display()


# ---- Test case base ----------------------------------------------------------

class InstallerTestCase(unittest.TestCase):
    """Each test gets a fresh Wine session (self.wine) and a scratch folder
    (self.scratch) for add-ons and installers."""

    def setUp(self):
        name = self.id().split(".", 1)[-1]
        self.wine = wineplay.WineSession(os.path.join(ARTIFACTS, name), tryout.UIDRIVER_EXE,
                                         keep=os.environ.get("E2E_KEEP") == "1")
        self.addCleanup(self.wine.close)
        self.scratch = os.path.join(self.wine.folder, "scratch")
        os.makedirs(self.scratch)

    def build_installer(self, script, agreement, files, name="Setup.exe"):
        """An installer from an add-on folder written now, packed by quillpack
        and placed in C:\\setup of the prefix; returns its Windows path."""
        addon = make_addon(os.path.join(self.scratch, "addon"), script, agreement, files)
        return self.place_installer(quillpack_build(addon, os.path.join(self.scratch, name)))

    def place_installer(self, path):
        """Copies an installer file into C:\\setup of the prefix."""
        windows_path = "C:\\setup\\" + os.path.basename(path)
        target = self.wine.put_file(windows_path, b"")
        shutil.copyfile(path, target)
        return windows_path

    def install(self, installer, folder=None):
        """Installs as a person does: accepts the agreement, types folder
        into the destination field (unless None: the proposed one is kept),
        presses OK, waits for the success box and presses OK on it. The
        installer must then end by itself with status 0."""
        program = self.wine.start(installer)
        self.assertTrue(self.wine.wait_for(AGREEMENT, has=AGREEMENT_TEXT), "no agreement dialog")
        self.wine.press(AGREEMENT, OK)
        self.assertTrue(self.wine.wait_for(INSTALLATION, has=DESTINATION), "no destination dialog")
        if folder is not None:
            self.wine.type_text(INSTALLATION, DESTINATION, folder)
        self.wine.press(INSTALLATION, OK)
        self.assertEqual(self.wine.box_text(INSTALLATION), "Installation successfully completed")
        self.wine.dismiss_box(INSTALLATION)
        self.assertEnds(program, 0)
        return program

    def read_installed(self, windows_path):
        with open(self.wine.unix_path(windows_path), "rb") as f:
            return f.read()

    def assertEnds(self, program, status):
        """The program ended by itself, with that exit status."""
        ended = program.wait()
        self.assertIsNotNone(ended, "the installer is still running")
        self.assertEqual(ended, status, "exit status")
