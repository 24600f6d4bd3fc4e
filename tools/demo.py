#!/usr/bin/env python3
"""The demo: the sample add-on packed, installed and uninstalled as a person
would, in a fresh Wine prefix on a virtual display, with what it leaves
behind shown at each step.

    make demo                # builds first, then runs this
    python3 tools/demo.py    # with the builds already there

Paths, from the environment like the end-to-end tests (defaults in brackets):
  QUILLFEN_EXE   the installer stub        [build/windows/quillfen.exe]
  UIDRIVER_EXE   the UI driver             [build/windows/tools/uidriver/uidriver.exe]
  QUILLPACK      the native quillpack      [build/host/tools/quillpack/quillpack]
  DEMO_DIR       the installer, the screenshots and the Wine logs [build/demo]
INTERACTIVE=1 with a DISPLAY: the installer and the uninstaller open on
that display and you press the buttons yourself.
"""

import os
import re
import shutil
import subprocess
import sys
import time

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
ADDON = os.path.join(REPO, "examples", "tundra-maps")
DEMO_DIR = os.path.abspath(os.environ.get("DEMO_DIR") or os.path.join(REPO, "build", "demo"))
# The Wine logs of the demo go with its screenshots.
os.environ["E2E_ARTIFACTS"] = DEMO_DIR
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))
import harness  # noqa: E402
from harness import AGREEMENT, AGREEMENT_TEXT, DESTINATION, INSTALLATION, OK, UNINSTALLATION, YES  # noqa: E402

STATUS_LINE = 1005                 # the destination dialog's status line
TEMP_COPY = r"C:\windows\temp\quillfen.exe"
WININIT = r"C:\windows\wininit.ini"
PERSON_WAIT = 600                  # seconds a person gets for each dialog in INTERACTIVE mode

_started = time.monotonic()


def step(title):
    print("\n==> [%5.1f s] %s" % (time.monotonic() - _started, title), flush=True)


def say(text=""):
    for line in str(text).splitlines() or [""]:
        print("    " + line, flush=True)


class DemoError(Exception):
    pass


def script_settings():
    """GROUP=, INSTALL_KEY= and INSTALL_VALUE= of the sample's install script."""
    with open(os.path.join(ADDON, "quillfen.ini"), encoding="ascii") as f:
        text = f.read()
    group = re.search(r'^GROUP=\s*"([^"]*)"', text, re.M)
    key = re.search(r"^INSTALL_KEY=(.*)$", text, re.M)
    value = re.search(r"^INSTALL_VALUE=(.*)$", text, re.M)
    return (group.group(1) if group else "", r"HKLM\SOFTWARE" + "\\" + key.group(1).strip(),
            value.group(1).strip())


def check_tools():
    missing = [path for path in (harness.QUILLFEN_EXE, harness.UIDRIVER_EXE, harness.QUILLPACK)
               if not os.path.isfile(path)]
    if missing:
        raise DemoError("not built yet: %s\n(run `make demo`, which builds both first, or set "
                        "QUILLFEN_EXE, UIDRIVER_EXE and QUILLPACK)" % ", ".join(missing))


def build_installer():
    step("Packing the sample add-on %s into an installer" % os.path.relpath(ADDON, REPO))
    os.makedirs(DEMO_DIR, exist_ok=True)
    installer = os.path.join(DEMO_DIR, "TundraMaps-Setup.exe")
    say("$ quillpack build --stub %s %s -o %s" % (harness.QUILLFEN_EXE, ADDON, installer))
    harness.quillpack_build(ADDON, installer)
    say("%s: %d bytes" % (installer, os.path.getsize(installer)))
    step("What the installer holds (quillpack list)")
    listed = subprocess.run([harness.QUILLPACK, "list", installer], capture_output=True, text=True,
                            stdin=subprocess.DEVNULL, timeout=harness.COMMAND_TIMEOUT)
    if listed.returncode != 0:
        raise DemoError("quillpack list failed: " + listed.stderr)
    say(listed.stdout.rstrip())
    return installer


def start_wine(interactive):
    step("Starting a fresh Wine prefix" + (" on your display " + os.environ["DISPLAY"] if interactive
                                           else " on a virtual display (Xvfb)"))
    if not os.path.exists(os.path.join(harness.WORK_DIR, "wine-template", "ready")):
        say("making the template prefix first (wineboot, once per build folder; about 15 s)")
    session = harness.WineSession("logs", display_name=os.environ["DISPLAY"] if interactive else None)
    say("prefix %s (removed at the end), Windows user %s" % (session.prefix, session.user_name()))
    return session


def screenshot(session, name):
    path = os.path.join(DEMO_DIR, name + ".png")
    shutil.move(session.screenshot(name), path)
    say("screenshot: " + path)


def expect(condition, what):
    if not condition:
        raise DemoError(what)


def install_driven(session, setup):
    step("Running the installer (the UI driver presses the buttons)")
    program = session.start(setup)
    expect(session.wait_for(AGREEMENT, has=AGREEMENT_TEXT), "the agreement dialog did not open")
    agreement = session.text(AGREEMENT, AGREEMENT_TEXT).splitlines()
    say("agreement dialog \"%s\", %d lines, beginning: %s" % (AGREEMENT, len(agreement), agreement[0]))
    screenshot(session, "agreement")
    say("pressing OK")
    session.press(AGREEMENT, OK)

    expect(session.wait_for(INSTALLATION, has=DESTINATION), "the destination dialog did not open")
    folder = session.text(INSTALLATION, DESTINATION)
    say("destination dialog proposes: " + folder)
    say("status line: " + session.text(INSTALLATION, STATUS_LINE))
    screenshot(session, "destination")
    say("keeping the proposed folder, pressing OK")
    session.press(INSTALLATION, OK)

    expect(session.wait_for(INSTALLATION, box=True), "no message box after the installation")
    text = session.box_text(INSTALLATION)
    say("message box \"%s\": %s" % (INSTALLATION, text))
    expect(text == "Installation successfully completed", "the installation did not succeed")
    screenshot(session, "success")
    say("pressing OK")
    session.dismiss_box(INSTALLATION)
    status = program.wait()
    expect(status is not None, "the installer did not end")
    say("the installer ended with status %d" % status)
    return folder.rstrip("\\")


def install_by_hand(session, setup, record_key, record_value):
    step("Running the installer on your display: click through it")
    program = session.start(setup)
    say("waiting for the installer to end (up to %d s)" % PERSON_WAIT)
    status = program.wait(PERSON_WAIT)
    expect(status is not None, "the installer is still open")
    say("the installer ended with status %d" % status)
    folder = session.reg_query(record_key, record_value)
    expect(folder, "nothing was installed (cancelled?)")
    return folder.rstrip("\\")


def show_installation(session, folder, group, record_key, record_value):
    step("Installed files below " + folder)
    root = session.unix_path(folder)
    for entry in sorted(session.listing(folder), key=str.lower):
        if entry.endswith("\\"):
            say("%-40s  (folder)" % entry)
        else:
            say("%-40s %8d bytes" % (entry, os.path.getsize(os.path.join(root, *entry.split("\\")))))

    step("Registry record")
    say("$ wine reg query %s /v %s" % (record_key, record_value))
    _status, out = session.wine("reg", "query", record_key, "/v", record_value)
    say("\n".join(line for line in out.decode(harness.CODE_PAGE, errors="replace").splitlines()
                  if line.strip() and "operation completed" not in line))

    group_folder = session.programs_folder() + "\\" + group
    step("Links, read back through IShellLink (uidriver link)")
    links = [group_folder + "\\" + n for n in sorted(session.listing(group_folder))]
    links += [session.desktop_folder() + "\\" + n for n in sorted(session.listing(session.desktop_folder()))
              if n.lower().endswith(".lnk") and "\\" not in n]
    uninstall_link = uninstaller = None
    for link in links:
        fields = session.link(link)
        say(link)
        say("    target %s   arguments \"%s\"" % (fields["path"], fields["arguments"]))
        say("    working directory %s   icon index %d" % (fields["working-directory"], fields["icon-index"]))
        if fields["arguments"].lower() == "-uninstall":
            uninstall_link, uninstaller = link, fields["path"]
    expect(uninstall_link, "no uninstall link")
    return group_folder, links, uninstall_link, uninstaller


def uninstall_driven(session, uninstall_link, uninstaller):
    step("Opening the uninstall link, as a double click does (wine start)")
    say(uninstall_link)
    opened = session.open_link(uninstall_link)
    expect(opened.wait() == 0, "start could not open the link")
    expect(session.wait_for(UNINSTALLATION, box=True), "the uninstaller asked nothing")
    say("message box \"%s\": %s" % (UNINSTALLATION, session.box_text(UNINSTALLATION)))
    screenshot(session, "uninstall-question")
    say("answering Yes")
    session.answer_box(UNINSTALLATION, YES)
    expect(session.wait_ended(uninstaller), "the uninstaller did not end")
    say("the uninstaller has removed the links and files and handed over to its copy " + TEMP_COPY)
    expect(session.wait_for(UNINSTALLATION, box=True), "no message after the uninstallation")
    text = session.box_text(UNINSTALLATION)
    say("message box \"%s\": %s" % (UNINSTALLATION, text))
    expect(text == "Uninstallation finished", "the uninstallation did not finish")
    screenshot(session, "uninstall-finished")
    return lambda: (say("pressing OK"), session.dismiss_box(UNINSTALLATION))


def uninstall_by_hand(session, uninstall_link, uninstaller):
    step("Opening the uninstall link on your display: answer the question")
    opened = session.open_link(uninstall_link)
    expect(opened.wait() == 0, "start could not open the link")
    expect(session.wait_started(uninstaller), "the uninstaller did not start")
    expect(session.wait_ended(uninstaller, seconds=PERSON_WAIT), "the uninstaller question is still open")
    if not session.exists(TEMP_COPY):
        say("you answered No: nothing was removed")
        return None
    say("waiting for you to close \"Uninstallation finished\" (up to %d s)" % PERSON_WAIT)
    session.wait_for(UNINSTALLATION, box=True)
    # What is left is shown while the box is open: wininit.ini and the
    # temporary copy are acted on at Wine's next cold start.
    return lambda: session.wait_ended(TEMP_COPY, seconds=PERSON_WAIT)


def show_what_is_left(session, folder, group_folder, links):
    step("What is left after the uninstallation")
    if not session.exists(folder):
        say(folder + ": gone")
    else:
        left = sorted(session.listing(folder), key=str.lower)
        files_left = [entry for entry in left if not entry.endswith("\\")]
        say("installed files: " + (", ".join(files_left) + " still there" if files_left else "all gone"))
        say("%s itself: still there, %s" % (folder, "holding " + ", ".join(left) if left else "empty"))
        if left and not files_left:
            say("(a folder listed in the script before its own subfolder stays: at its turn it "
                "still held the subfolder)")
    say("program group %s: %s" % (group_folder, "still there" if session.exists(group_folder) else "gone"))
    for link in links:
        say("link %s: %s" % (link, "still there" if session.exists(link) else "gone"))
    say("temporary uninstaller copy %s: %s" % (TEMP_COPY, "present" if session.exists(TEMP_COPY) else "absent"))
    if session.exists(WININIT):
        with open(session.unix_path(WININIT), "rb") as f:
            say("%s asks Windows to delete it at its next start:" % WININIT)
            say(f.read().decode("ascii", errors="replace").strip())


def main():
    interactive = os.environ.get("INTERACTIVE") == "1"
    if interactive and not os.environ.get("DISPLAY"):
        print("INTERACTIVE=1 needs a DISPLAY; running on a virtual display instead", file=sys.stderr)
        interactive = False
    check_tools()
    group, record_key, record_value = script_settings()
    installer = build_installer()
    session = start_wine(interactive)
    try:
        setup = r"C:\setup\TundraMaps-Setup.exe"
        shutil.copyfile(installer, session.put_file(setup, b""))
        say("installer placed as " + setup)
        if interactive:
            folder = install_by_hand(session, setup, record_key, record_value)
        else:
            folder = install_driven(session, setup)
        group_folder, links, uninstall_link, uninstaller = show_installation(
            session, folder, group, record_key, record_value)
        finish = (uninstall_by_hand if interactive else uninstall_driven)(session, uninstall_link, uninstaller)
        if finish:
            show_what_is_left(session, folder, group_folder, links)
            finish()
    finally:
        step("Stopping Wine")
        session.close()
    step("Done. Screenshots and logs are in " + DEMO_DIR)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (DemoError, harness.HarnessError) as failure:
        print("\ndemo failed: %s" % failure, file=sys.stderr)
        sys.exit(1)
