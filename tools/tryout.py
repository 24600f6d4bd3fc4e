"""An installer tried out as a person would: in a fresh Wine prefix on a
virtual display it accepts the agreement, keeps the proposed folder and
presses OK, then shows what was installed (files, registry value, links),
opens the uninstall link, answers Yes and shows what is left. Every dialog
and message box is printed and photographed on the way.

`make demo` runs it on the sample add-on, quillpack-try on any installer.
"""

import os
import re
import shutil
import struct
import sys
import time

import wineplay
from wineplay import OK, YES

HERE = os.path.dirname(os.path.abspath(__file__))


def located(variable, name, built):
    """A program's path: the environment variable's, else the file called
    name beside this module (an installed copy keeps its programs there),
    else the one in the source tree's build folder (built, '/'-separated)."""
    if os.environ.get(variable):
        return os.path.abspath(os.environ[variable])
    beside = os.path.join(HERE, name)
    if os.path.isfile(beside):
        return beside
    return os.path.normpath(os.path.join(HERE, "..", "build", *built.split("/")))


UIDRIVER_EXE = located("UIDRIVER_EXE", "uidriver.exe", "windows/tools/uidriver/uidriver.exe")
QUILLFEN_EXE = located("QUILLFEN_EXE", "quillfen.exe", "windows/quillfen.exe")
QUILLPACK = located("QUILLPACK", "quillpack", "host/tools/quillpack/quillpack")

# The installer's dialogs and boxes: captions, control IDs, texts.
AGREEMENT = "Information"              # the agreement dialog
INSTALLATION = "Installation"          # the destination dialog and the success box
UNINSTALLATION = "Uninstallation"      # the uninstaller's question and final box
AGREEMENT_TEXT, DESTINATION, STATUS_LINE = 1000, 1002, 1005
INSTALLED = "Installation successfully completed"
UNINSTALLED = "Uninstallation finished"
UNINSTALL_MUTEX = "Brakmoor quillfen"
UNINSTALL_OPTION = "-uninstall"
UNINSTALLER = "quillfen.exe"           # the uninstaller copy in the destination folder
TEMP_COPY = r"C:\windows\temp\quillfen.exe"
WININIT = r"C:\windows\wininit.ini"

COPY_WAIT = 600       # seconds the copy may take before its box shows
PERSON_WAIT = 600     # seconds a person gets for each dialog in interactive mode
POLL = 0.2            # seconds between two looks at the windows


class TryoutFailure(Exception):
    """The installer or the uninstaller did not get through."""


_started = time.monotonic()


def step(title):
    print("\n==> [%5.1f s] %s" % (time.monotonic() - _started, title), flush=True)


def say(text=""):
    for line in str(text).splitlines() or [""]:
        print("    " + line, flush=True)


def script_value(script, keyword):
    """The text after keyword= on the script's first line that starts with
    it, or None."""
    match = re.search(r"^" + re.escape(keyword) + r"=(.*?)\r?$", script, re.M)
    return match.group(1).strip() if match else None


def check_equipment():
    """Raises when Wine, Xvfb, ImageMagick or the UI driver is missing."""
    wineplay.check_programs()
    if not os.path.isfile(UIDRIVER_EXE):
        raise wineplay.WinePlayError("no UI driver at %s: build the Windows build (make windows) or "
                                     "install quillpack (make install), or set UIDRIVER_EXE" % UIDRIVER_EXE)


class Tryout:
    """One run of an installer and its uninstaller."""

    def __init__(self, installer, out_dir, interactive=False):
        self.installer = os.path.abspath(installer)
        self.out_dir = os.path.abspath(out_dir)
        self.interactive = interactive
        self.setup = "C:\\setup\\" + os.path.basename(installer)
        self.record_key = self.record_value = None
        self.session = None

    def run(self):
        """True when the installation and the uninstallation went through."""
        self.read_script()
        os.makedirs(self.out_dir, exist_ok=True)
        self.start_wine()
        try:
            shutil.copyfile(self.installer, self.session.put_file(self.setup, b""))
            say("installer placed as " + self.setup)
            before = self.link_places()
            folder = self.install_by_hand() if self.interactive else self.install_driven()
            links, groups = self.show_installation(folder, before)
            if self.interactive:
                finish = self.uninstall_by_hand(folder, links)
            else:
                finish = self.uninstall_driven(folder, links)
            if finish:
                self.show_what_is_left(folder, links, groups)
                finish()
            return finish is not None
        finally:
            step("Stopping Wine")
            self.session.close()

    # -- Setting up --

    def read_script(self):
        """The registry record the installer's own script names."""
        try:
            script = wineplay.entry_bytes(self.installer, "quillfen.ini").decode("cp1250")
        except OSError as failure:
            raise TryoutFailure(str(failure))
        except (KeyError, ValueError, struct.error):
            raise TryoutFailure("%s: not an installer (no package at its end, or no quillfen.ini in it)"
                                % self.installer)
        key, self.record_value = script_value(script, "INSTALL_KEY"), script_value(script, "INSTALL_VALUE")
        if key and self.record_value:
            self.record_key = "HKLM\\SOFTWARE\\" + key

    def start_wine(self):
        display_name = os.environ["DISPLAY"] if self.interactive else None
        step("Starting a fresh Wine prefix" + (" on your display " + display_name if display_name
                                               else " on a virtual display (Xvfb)"))
        if not wineplay.template_ready():
            say("making the template prefix first (wineboot, once; about 15 s) in " + wineplay.wine_folder())
        self.session = wineplay.WineSession(os.path.join(self.out_dir, "logs"), UIDRIVER_EXE,
                                            display_name=display_name)
        say("prefix %s (removed at the end), Windows user %s" % (self.session.prefix, self.session.user_name()))

    def screenshot(self, name):
        path = os.path.join(self.out_dir, name + ".png")
        shutil.move(self.session.screenshot(name), path)
        say("screenshot: " + path)

    def link_places(self):
        """Everything in the Start menu's Programs folder and on the desktop."""
        return {folder: self.session.listing(folder)
                for folder in (self.session.programs_folder(), self.session.desktop_folder())}

    # -- Windows as they come --

    def next_window(self, program, caption=None, seconds=wineplay.WINDOW_WAIT):
        """Waits for the dialog of that caption or for any message box;
        (caption, text, is a box) of the first seen, or None once the program
        has ended or the time is up."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            for window in self.session.windows():
                if window[2] or window[0] == caption:
                    return window
            if not program.running():
                return None
            time.sleep(POLL)
        return None

    def report_boxes(self, program, first):
        """Shows, photographs and dismisses each message box from first on,
        until the program has ended; the (caption, text) of each."""
        seen, window = [], first
        while window:
            box = (window[0], window[1])
            say("message box \"%s\": %s" % box)
            self.screenshot("success" if box == (INSTALLATION, INSTALLED) else "box-%d" % (len(seen) + 1))
            seen.append(box)
            say("pressing OK")
            self.session.dismiss_box(box[0])
            window = self.next_window(program, seconds=wineplay.PROGRAM_TIMEOUT)
        return seen

    def ended(self, program, what):
        status = program.wait()
        if status is None:
            raise TryoutFailure("the %s did not end" % what)
        say("the %s ended with status %d" % (what, status))
        return status

    # -- Installing --

    def install_driven(self):
        step("Running the installer (the UI driver presses the buttons)")
        session = self.session
        program = session.start(self.setup)
        window = self.next_window(program, AGREEMENT)
        if not window or window[2]:
            self.report_boxes(program, window)
            self.ended(program, "installer")
            raise TryoutFailure("the installer stopped before its agreement dialog")
        agreement = [line for line in session.text(AGREEMENT, AGREEMENT_TEXT).splitlines() if line.strip()]
        say("agreement dialog \"%s\", %d lines of text, beginning:" % (AGREEMENT, len(agreement)))
        say("\n".join("  " + line for line in agreement[:3]))
        self.screenshot("agreement")
        say("pressing OK")
        session.press(AGREEMENT, OK)

        window = self.next_window(program, INSTALLATION)
        if not window or window[2]:
            self.report_boxes(program, window)
            self.ended(program, "installer")
            raise TryoutFailure("the destination dialog did not open")
        folder = session.text(INSTALLATION, DESTINATION)
        say("destination dialog \"%s\" proposes: %s" % (INSTALLATION, folder))
        say("status line: " + session.text(INSTALLATION, STATUS_LINE))
        self.screenshot("destination")
        say("keeping the proposed folder, pressing OK")
        session.press(INSTALLATION, OK)

        boxes = self.report_boxes(program, self.next_window(program, seconds=COPY_WAIT))
        status = self.ended(program, "installer")
        if status != 0 or any(box != (INSTALLATION, INSTALLED) for box in boxes):
            raise TryoutFailure("the installation did not go through")
        if not boxes:
            say("(no success box)")
        return folder.rstrip("\\")

    def install_by_hand(self):
        step("Running the installer on your display: click through it")
        program = self.session.start(self.setup)
        say("waiting for the installer to end (up to %d s)" % PERSON_WAIT)
        if self.ended(program, "installer") != 0:
            raise TryoutFailure("the installation did not go through")
        folder = self.record_key and self.session.reg_query(self.record_key, self.record_value)
        if not folder:
            raise TryoutFailure("no installation folder recorded (cancelled, or the script names no "
                                "INSTALL_KEY and INSTALL_VALUE)")
        return folder.rstrip("\\")

    def show_installation(self, folder, before):
        """Prints the installed files, the registry record and the links the
        installer made; returns the links and the new program groups."""
        session = self.session
        step("Installed files below " + folder)
        root = session.unix_path(folder)
        for entry in sorted(session.listing(folder), key=str.lower):
            if entry.endswith("\\"):
                say("%-40s  (folder)" % entry)
            else:
                say("%-40s %8d bytes" % (entry, os.path.getsize(os.path.join(root, *entry.split("\\")))))

        if self.record_key:
            step("Registry record")
            say("$ wine reg query %s /v %s" % (self.record_key, self.record_value))
            _status, out = session.wine("reg", "query", self.record_key, "/v", self.record_value)
            say("\n".join(line for line in out.decode(wineplay.CODE_PAGE, errors="replace").splitlines()
                          if line.strip() and "operation completed" not in line))

        step("Links, read back through IShellLink (uidriver link)")
        links, groups = [], []
        for place, was in before.items():
            for name in sorted(session.listing(place) - was, key=str.lower):
                if name.endswith("\\"):
                    groups.append(place + "\\" + name.rstrip("\\"))
                elif name.lower().endswith(".lnk"):
                    links.append(place + "\\" + name)
        for link in links:
            fields = session.link(link)
            say(link)
            say("    target %s   arguments \"%s\"" % (fields["path"], fields["arguments"]))
            say("    working directory %s   icon index %d" % (fields["working-directory"], fields["icon-index"]))
        if not links:
            say("(none)")
        return links, groups

    # -- Uninstalling --

    def open_uninstaller(self, folder, links):
        """Opens the uninstall link as a double click does, or, without one,
        starts the uninstaller copy the way the link would; returns the
        uninstaller's path."""
        for link in links:
            fields = self.session.link(link)
            if fields["arguments"].strip().lower() == UNINSTALL_OPTION:
                step("Opening the uninstall link, as a double click does (wine start)")
                say(link)
                if self.session.open_link(link).wait() != 0:
                    raise TryoutFailure("start could not open " + link)
                return fields["path"]
        uninstaller = folder + "\\" + UNINSTALLER
        step("No uninstall link: starting %s %s" % (uninstaller, UNINSTALL_OPTION))
        self.session.start(uninstaller, UNINSTALL_OPTION, debug="-all", name="uninstaller")
        return uninstaller

    def uninstall_driven(self, folder, links):
        session = self.session
        uninstaller = self.open_uninstaller(folder, links)
        if not session.wait_for(UNINSTALLATION, box=True):
            raise TryoutFailure("the uninstaller asked nothing")
        say("message box \"%s\": %s" % (UNINSTALLATION, session.box_text(UNINSTALLATION)))
        self.screenshot("uninstall-question")
        say("answering Yes")
        session.answer_box(UNINSTALLATION, YES)
        if not session.wait_ended(uninstaller):
            raise TryoutFailure("the uninstaller did not end")
        say("the uninstaller has removed the links and files and handed over to its copy " + TEMP_COPY)
        if not session.wait_for(UNINSTALLATION, box=True):
            raise TryoutFailure("no message after the uninstallation")
        text = session.box_text(UNINSTALLATION)
        say("message box \"%s\": %s" % (UNINSTALLATION, text))
        self.screenshot("uninstall-finished")
        if text != UNINSTALLED:
            raise TryoutFailure("the uninstallation did not finish")
        return lambda: (say("pressing OK"), session.dismiss_box(UNINSTALLATION))

    def uninstall_by_hand(self, folder, links):
        session = self.session
        uninstaller = self.open_uninstaller(folder, links)
        say("answer the question on your display")
        if not session.wait_started(uninstaller):
            raise TryoutFailure("the uninstaller did not start")
        if not session.wait_ended(uninstaller, seconds=PERSON_WAIT):
            raise TryoutFailure("the uninstaller question is still open")
        if not session.exists(TEMP_COPY):
            say("you answered No: nothing was removed")
            return None
        say("waiting for you to close \"%s\" (up to %d s)" % (UNINSTALLED, PERSON_WAIT))
        session.wait_for(UNINSTALLATION, box=True)
        # What is left is shown while the box is open: wininit.ini and the
        # temporary copy are acted on at Wine's next cold start.
        return lambda: session.wait_ended(TEMP_COPY, seconds=PERSON_WAIT)

    def show_what_is_left(self, folder, links, groups):
        session = self.session
        step("What is left after the uninstallation")
        left = sorted(session.listing(folder), key=str.lower)
        if not session.exists(folder):
            say(folder + ": gone")
        else:
            files_left = [entry for entry in left if not entry.endswith("\\")]
            folders_left = [entry for entry in left if entry.endswith("\\")]
            say("installed files: " + (", ".join(files_left) + " still there" if files_left else "all gone"))
            say("installed folders: " + (", ".join(folders_left) + " still there" if folders_left else "all gone"))
            say("%s itself: %s" % (folder, "still holds " + ", ".join(left) if left else
                                    "empty (the uninstaller never removes the installation folder)"))
        places_left = [place for place in groups + links if session.exists(place)]
        for group in groups:
            say("program group %s: %s" % (group, "still there" if group in places_left else "gone"))
        for link in links:
            say("link %s: %s" % (link, "still there" if link in places_left else "gone"))
        say("temporary uninstaller copy %s: %s" % (TEMP_COPY, "present" if session.exists(TEMP_COPY) else "absent"))
        if session.exists(WININIT):
            with open(session.unix_path(WININIT), "rb") as f:
                say("%s asks Windows to delete it at its next start:" % WININIT)
                say(f.read().decode("ascii", errors="replace").strip())
        if left or places_left:
            say("(quillpack plan names everything the uninstaller leaves, and verify says why)")
        else:
            say("nothing the installation made is left")


def try_installer(installer, out_dir, interactive=False):
    """Runs a Tryout and reports the outcome; the exit status (0: the
    installation and the uninstallation went through)."""
    if interactive and not os.environ.get("DISPLAY"):
        print("interactive mode needs a DISPLAY; running on a virtual display instead", file=sys.stderr)
        interactive = False
    try:
        check_equipment()
    except wineplay.WinePlayError as failure:
        print(failure, file=sys.stderr)
        return 1
    out_dir = os.path.abspath(out_dir)
    try:
        done = Tryout(installer, out_dir, interactive).run()
    except (TryoutFailure, wineplay.WinePlayError) as failure:
        sys.stdout.flush()
        print("\nfailed: %s" % failure, file=sys.stderr)
        if os.path.isdir(out_dir):
            print("(screenshots and logs in %s)" % out_dir, file=sys.stderr)
        return 1
    step("Done. Screenshots and logs are in " + out_dir)
    return 0 if done else 1
