#!/usr/bin/env python3
"""Windows programs under Wine on a virtual display, driven as a person
would drive them: the equipment that `make demo`, quillpack-try and the
end-to-end tests share.

What runs where:
- One Xvfb per Python process, on a display it picks itself (-displayfd).
- One template prefix per user, made once and kept in QUILLFEN_WINE_DIR
  (default ~/.cache/quillfen/wine): `wineboot -i`, Wine's own window
  captions (there is no window manager under Xvfb; this also spares a
  2-second wait whenever a window closes) and no crash dialog. It is made
  again only when the Wine version changes.
- Per session, a copy of the template in a temporary folder with HOME
  inside it (the system DLLs hard-linked, not copied), a persistent
  wineserver and Wine's helper processes, all started with their output
  sent to /dev/null: helpers inherit the descriptors of the call that starts
  them, and a pipe they hold would keep a caller reading it waiting. Every
  Wine command's output goes to a file for the same reason.
- At the end of a session, `wineserver -k` ends every process of the prefix.
  Should a Python process be killed outright, its X server ends with it, and
  the next session ends its Wine processes and removes its folder.
- The programs are driven through uidriver.exe, a console program in the
  same prefix (find a dialog by caption, read and type text, press buttons,
  read links back, follow processes).

Every wait is bounded; none is an assertion about time.

As a command:
  wineplay.py template                 make the template prefix unless it is there
  wineplay.py session -- COMMAND...    run COMMAND with WINEPREFIX set to a fresh
                                       copy of the template, Wine's server running
"""

import atexit
import ctypes
import fcntl
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

# Programs run with the Polish ANSI code page, as the installer's users have
# it; the agreement text is CP1250. The driver gets the same, so texts cross
# unchanged.
LOCALE = "pl_PL.UTF-8"
CODE_PAGE = "cp1250"

# Safety nets only: a program that is working never comes near them.
WINDOW_WAIT = 20         # seconds for a dialog or box to appear or go
COMMAND_TIMEOUT = 60     # seconds for one Wine command (driver, reg, wineboot)
PROGRAM_TIMEOUT = 30     # seconds for a program to end once it should
TEMPLATE_TIMEOUT = 300   # seconds to make the template prefix

# Template files that are only ever read during a session: hard-linked into
# each session's prefix instead of copied (the DLLs are about 580 MB).
SHARED_FOLDERS = ("drive_c/windows/system32/", "drive_c/windows/winsxs/")

# Wine's own fonts, from Debian's fonts-wine: Marlett draws the caption
# buttons (without it the close button shows a letter "r"), MS Sans Serif
# the dialogs' text. Debian's Wine 8 does not look for them there, so the
# template prefix links them into C:\windows\Fonts, where it does look.
WINE_FONTS = "/usr/share/wine/fonts"

# What each outside program or file comes with on Debian 12.
NEEDED = (("wine", "wine wine32:i386"), ("wineserver", "wine"), ("Xvfb", "xvfb"),
          ("import", "imagemagick"), (os.path.join(WINE_FONTS, "marlett.ttf"), "fonts-wine"))
WHAT = {"import": "import (ImageMagick)"}

# Buttons of a dialog or message box, by control ID.
OK, CANCEL, YES, NO = 1, 2, 6, 7

DEVNULL = subprocess.DEVNULL
PR_SET_PDEATHSIG = 1


class WinePlayError(Exception):
    """The equipment failed (Wine, the X server, the driver), as opposed to
    the program it drives."""


def check_programs():
    """Raises with the Debian packages to install when Wine, its fonts, Xvfb
    or ImageMagick is missing."""
    missing = [(name, package) for name, package in NEEDED
               if not (os.path.isfile(name) if os.path.isabs(name) else shutil.which(name))]
    if not missing:
        return
    packages = []
    for _name, package in missing:
        packages += [p for p in package.split() if p not in packages]
    raise WinePlayError(
        "not found: %s; on Debian 12, as root:\n"
        "  dpkg --add-architecture i386 && apt-get update\n"
        "  apt-get install --no-install-recommends %s"
        % (", ".join(WHAT.get(name, name) for name, _ in missing), " ".join(packages)))


def wine_folder():
    """Where the template prefix lives, shared by everything that runs Wine
    here; QUILLFEN_WINE_DIR chooses another place."""
    cache = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return os.path.abspath(os.environ.get("QUILLFEN_WINE_DIR") or os.path.join(cache, "quillfen", "wine"))


def _read_text(path):
    with open(path) as f:
        return f.read()


# ---- Installers --------------------------------------------------------------

class Entry:
    """One directory record of an installer."""

    def __init__(self, name, offset, size):
        self.name = name        # as stored, str (latin-1 round trip)
        self.offset = offset    # file offset of the entry's bytes
        self.size = size        # stored size


def read_package(path):
    """The entries of an installer, in directory order.

    Layout: ... entry data ... | count | count x (offset, size, raw length,
    name length incl. NUL, name) | directory offset (last 4 bytes); all
    integers 32-bit little-endian."""
    with open(path, "rb") as f:
        data = f.read()
    (directory,) = struct.unpack_from("<I", data, len(data) - 4)
    (count,) = struct.unpack_from("<I", data, directory)
    entries, at = [], directory + 4
    for _ in range(count):
        offset, size, _raw, name_length = struct.unpack_from("<IIII", data, at)
        name = data[at + 16:at + 16 + name_length - 1].decode("latin-1")
        entries.append(Entry(name, offset, size))
        at += 16 + name_length
    return entries


def entry_bytes(path, name):
    """The stored bytes of the entry called name (ASCII case ignored)."""
    for entry in read_package(path):
        if entry.name.lower() == name.lower():
            with open(path, "rb") as f:
                f.seek(entry.offset)
                return f.read(entry.size)
    raise KeyError(name)


# ---- The virtual display -----------------------------------------------------

def _end_with_parent():
    # Linux: the X server gets SIGTERM when the Python process dies, even
    # when it is killed outright by a runner's timeout.
    ctypes.CDLL(None).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


class Display:
    """An Xvfb on a display number it chooses itself."""

    def __init__(self):
        self.process = None
        self.name = None

    def start(self):
        reader, writer = os.pipe()
        os.makedirs(wine_folder(), exist_ok=True)
        self.log_path = os.path.join(wine_folder(), "xvfb-%d.log" % os.getpid())
        try:
            with open(self.log_path, "wb") as log:
                self.process = subprocess.Popen(
                    ["Xvfb", "-displayfd", str(writer), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                    stdin=DEVNULL, stdout=log, stderr=log, pass_fds=(writer,),
                    preexec_fn=_end_with_parent)
            os.close(writer)
            writer = None
            # Read up to the line end: Xvfb may write the number and the line
            # end separately, and ends itself if the pipe closes in between.
            answer, deadline = b"", time.monotonic() + WINDOW_WAIT
            while not answer.endswith(b"\n") and time.monotonic() < deadline:
                ready, _, _ = select.select([reader], [], [], max(0, deadline - time.monotonic()))
                chunk = os.read(reader, 32) if ready else b""
                if not chunk:
                    break
                answer += chunk
            number = answer.decode().strip()
        finally:
            os.close(reader)
            if writer is not None:
                os.close(writer)
        if not number.isdigit():
            self.stop(keep_log=True)
            raise WinePlayError("Xvfb did not start; see " + self.log_path)
        self.name = ":" + number
        return self

    def check(self):
        """Raises when the X server has ended on its own."""
        if self.process.poll() is not None:
            raise WinePlayError("Xvfb on %s has ended; see %s" % (self.name, self.log_path))

    def stop(self, keep_log=False):
        """Ends the X server. Its log is kept when asked, or when the server
        had ended by itself."""
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(10)
            if not keep_log:
                os.remove(self.log_path)
        self.process = None


_display = None


def display():
    """The display of this process, started on first use."""
    global _display
    if _display is None:
        _display = Display().start()
    _display.check()
    return _display


def stop_display():
    global _display
    if _display is not None:
        _display.stop()
        _display = None


atexit.register(stop_display)


# ---- Wine prefixes -----------------------------------------------------------

def wine_environment(prefix, home, display_name=None):
    """The environment of every Wine command of a prefix. Whatever Wine and
    locale settings the caller runs under are dropped."""
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("WINE", "LC_")) and k not in ("DISPLAY", "LANG", "LANGUAGE")}
    env.update(WINEPREFIX=prefix, HOME=home, WINEDEBUG="-all", LC_ALL=LOCALE,
               WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d")
    if display_name:
        env["DISPLAY"] = display_name
    return env


def _quiet(command, env, timeout=COMMAND_TIMEOUT, cwd=None):
    """Runs a Wine command with every descriptor on /dev/null; its status."""
    return subprocess.run(command, env=env, cwd=cwd, stdin=DEVNULL, stdout=DEVNULL,
                          stderr=DEVNULL, timeout=timeout).returncode


def _wine_fonts():
    return sorted(os.listdir(WINE_FONTS)) if os.path.isdir(WINE_FONTS) else []


def _template_signature():
    """What the template is made of: the Wine version and Wine's fonts."""
    version = subprocess.run(["wine", "--version"], capture_output=True, stdin=DEVNULL,
                             timeout=COMMAND_TIMEOUT).stdout.decode().strip()
    return "%s with %d fonts of %s\n" % (version, len(_wine_fonts()), WINE_FONTS)


def template_ready():
    """True when the template prefix is there, made for this Wine and its
    fonts."""
    marker = os.path.join(wine_folder(), "template", "ready")
    return os.path.exists(marker) and _read_text(marker) == _template_signature()


def make_template(force=False):
    """Makes the template prefix unless it is there already (or force);
    returns its folder. Safe when several processes ask at once."""
    root = wine_folder()
    os.makedirs(root, exist_ok=True)
    folder = os.path.join(root, "template")
    with open(os.path.join(root, "template.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not force and template_ready():
            return folder
        shutil.rmtree(folder, ignore_errors=True)
        prefix, home = os.path.join(folder, "prefix"), os.path.join(folder, "home")
        os.makedirs(home)
        env = wine_environment(prefix, home)   # no display: wineboot -i needs none
        try:
            _quiet(["wineboot", "-i"], env, timeout=TEMPLATE_TIMEOUT)
            # No window manager under Xvfb: Wine draws its own captions, and
            # closing a window no longer costs two seconds.
            _quiet(["wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed",
                    "/d", "N", "/f"], env)
            # A crash ends the program at once instead of opening winedbg.
            _quiet(["wine", "reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog",
                    "/t", "REG_DWORD", "/d", "0", "/f"], env)
            _quiet(["wineserver", "-w"], env, timeout=TEMPLATE_TIMEOUT)
        finally:
            _quiet(["wineserver", "-k"], env)
        if not os.path.exists(os.path.join(prefix, "system.reg")):
            raise WinePlayError("wineboot -i made no prefix in " + prefix)
        fonts = os.path.join(prefix, "drive_c", "windows", "Fonts")
        for name in _wine_fonts():
            if not os.path.lexists(os.path.join(fonts, name)):
                os.symlink(os.path.join(WINE_FONTS, name), os.path.join(fonts, name))
        with open(os.path.join(folder, "ready"), "w") as f:
            f.write(_template_signature())
        return folder


def _copy_prefix(template, target):
    """Copies the template prefix; returns {template file: (mtime, size)} of
    the files hard-linked instead."""
    linked = {}

    def link_or_copy(source, destination):
        relative = os.path.relpath(source, template).replace(os.sep, "/")
        if relative.startswith(SHARED_FOLDERS):
            try:
                os.link(source, destination)
                stat = os.stat(source)
                linked[source] = (stat.st_mtime_ns, stat.st_size)
                return destination
            except OSError:
                pass   # another file system: copy
        return shutil.copy2(source, destination)
    shutil.copytree(template, target, symlinks=True, copy_function=link_or_copy)
    return linked


SESSION_PREFIX = "quillfen-wine-"


def _sweep_stale_sessions():
    """Ends the Wine sessions of processes that died without cleaning up
    (killed by a runner's timeout), and removes their folders."""
    for name in os.listdir(tempfile.gettempdir()):
        folder = os.path.join(tempfile.gettempdir(), name)
        owner_file = os.path.join(folder, "owner.pid")
        if not name.startswith(SESSION_PREFIX) or not os.path.exists(owner_file):
            continue
        try:
            owner = int(_read_text(owner_file))
            os.kill(owner, 0)
            continue   # still running
        except (ValueError, ProcessLookupError):
            pass
        except PermissionError:
            continue
        env = wine_environment(os.path.join(folder, "prefix"), os.path.join(folder, "home"))
        try:
            _quiet(["wineserver", "-k"], env, timeout=20)
        except subprocess.TimeoutExpired:
            pass
        shutil.rmtree(folder, ignore_errors=True)


class WineSession:
    """A fresh prefix copied from the template, with its own wineserver and
    helpers already running; close() ends them all and removes the prefix.

    artifacts: the folder for screenshots and the programs' output (default:
    inside the session's own folder). uidriver: the UI driver's Unix path;
    without it the session cannot drive dialogs. display_name: an X display
    to use instead of this process's Xvfb; headless: no display at all.
    keep: leave the prefix behind (its path is printed)."""

    def __init__(self, artifacts=None, uidriver=None, display_name=None, headless=False, keep=False):
        _sweep_stale_sessions()
        self.template = make_template()
        self.folder = tempfile.mkdtemp(prefix=SESSION_PREFIX)
        with open(os.path.join(self.folder, "owner.pid"), "w") as f:
            f.write(str(os.getpid()))
        self.prefix = os.path.join(self.folder, "prefix")
        self.home = os.path.join(self.folder, "home")
        self.artifacts = artifacts or os.path.join(self.folder, "artifacts")
        self.uidriver = uidriver
        self.keep = keep
        shutil.rmtree(self.artifacts, ignore_errors=True)
        os.makedirs(self.artifacts)
        self.linked = _copy_prefix(os.path.join(self.template, "prefix"), self.prefix)
        os.makedirs(self.home)
        self._point_user_folders_home(os.path.join(self.template, "home"))
        self.env = wine_environment(self.prefix, self.home,
                                    None if headless else display_name or display().name)
        self.programs = []
        try:
            # The server first, then the helpers and (with the driver) the
            # desktop, all away from any pipe.
            subprocess.Popen(["wineserver", "-p"], env=self.env, stdin=DEVNULL, stdout=DEVNULL,
                             stderr=DEVNULL, start_new_session=True).wait(COMMAND_TIMEOUT)
            _quiet(["wineboot"], self.env)
            if uidriver:
                _quiet(["wine", uidriver, "boxes"], self.env)
        except BaseException:
            self.close()
            raise

    def _point_user_folders_home(self, template_home):
        # Desktop, Documents, ... of the copied prefix still lead to the
        # template's HOME: send them to this session's.
        users = os.path.join(self.prefix, "drive_c", "users")
        for user in os.listdir(users):
            user_folder = os.path.join(users, user)
            for name in os.listdir(user_folder):
                path = os.path.join(user_folder, name)
                if os.path.islink(path) and os.readlink(path) == template_home:
                    os.unlink(path)
                    os.symlink(self.home, path)

    def close(self):
        """Ends every process of the prefix and removes it (unless keep)."""
        try:
            _quiet(["wineserver", "-k"], self.env, timeout=30)
        except subprocess.TimeoutExpired:
            pass
        for program in self.programs:
            program.kill()
        try:
            _quiet(["wineserver", "-w"], self.env, timeout=30)
        except subprocess.TimeoutExpired:
            pass
        self._check_template_untouched()
        if self.keep:
            print("kept Wine prefix: " + self.prefix, file=sys.stderr)
        else:
            shutil.rmtree(self.folder, ignore_errors=True)

    def _check_template_untouched(self):
        # A program that rewrote a hard-linked system file in place has
        # changed the template too: have the next session make a new one.
        for path, (mtime, size) in self.linked.items():
            stat = os.stat(path)
            if (stat.st_mtime_ns, stat.st_size) != (mtime, size):
                print("template file %s was changed; the template will be made again" % path,
                      file=sys.stderr)
                os.remove(os.path.join(self.template, "ready"))
                return

    # -- Paths --

    def unix_path(self, windows_path):
        """The Unix path of a C:\\... path of the prefix; existing components
        are matched without case, as Wine does."""
        drive, rest = windows_path[0].lower(), windows_path[2:].strip("\\")
        path = os.path.realpath(os.path.join(self.prefix, "dosdevices", drive + ":"))
        for part in filter(None, rest.split("\\")):
            if os.path.isdir(path):
                matches = [n for n in os.listdir(path) if n.lower() == part.lower()]
                part = part if part in matches or not matches else matches[0]
            path = os.path.join(path, part)
        return path

    def put_file(self, windows_path, content):
        """Writes a file into the prefix, making its folders."""
        path = self.unix_path(windows_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)
        return path

    def exists(self, windows_path):
        return os.path.lexists(self.unix_path(windows_path))

    def user_name(self):
        """The Windows user of the prefix; Wine names it after the Unix user."""
        users = [n for n in os.listdir(os.path.join(self.prefix, "drive_c", "users")) if n != "Public"]
        if len(users) != 1:
            raise WinePlayError("expected one user folder in the prefix, found %r" % users)
        return users[0]

    def programs_folder(self):
        """The current user's Start-menu Programs folder."""
        return ("C:\\users\\%s\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"
                % self.user_name())

    def desktop_folder(self):
        """The current user's desktop folder; it leads into this session's HOME."""
        return "C:\\users\\%s\\Desktop" % self.user_name()

    def listing(self, windows_path):
        """Every file and folder below a folder, as relative Windows paths
        (folders end with a backslash); an empty set when it is missing."""
        root, found = self.unix_path(windows_path), set()
        for folder, dirs, files in os.walk(root):
            relative = os.path.relpath(folder, root).replace(os.sep, "\\")
            prefix = "" if relative == "." else relative + "\\"
            found.update(prefix + d + "\\" for d in dirs)
            found.update(prefix + f for f in files)
        return found

    # -- Commands --

    def wine(self, *args, timeout=COMMAND_TIMEOUT):
        """Runs a Wine command to its end; (status, stdout bytes)."""
        with tempfile.TemporaryFile() as out:
            status = subprocess.run(["wine"] + list(args), env=self.env, stdin=DEVNULL, stdout=out,
                                    stderr=DEVNULL, timeout=timeout).returncode
            out.seek(0)
            return status, out.read()

    def start(self, windows_path, *args, debug="-all,warn+debugstr,trace+message", cwd=None,
              name="installer", env=None):
        """Starts a program in the background with args: windows_path names
        a program of the prefix, or a Windows program by its Unix path, or
        one of Wine's own (start). It runs in the folder cwd (a Windows
        path; default: the folder of windows_path),
        with env's variables added to the session's. Its standard output and
        standard error (the debugger lines) go to <name>-stdout.log and
        <name>-stderr.log in the artifacts."""
        program = Program(self, windows_path, args, debug, cwd, name, env)
        self.programs.append(program)
        return program

    def open_link(self, link_windows_path, debug="-all,warn+debugstr"):
        """Opens a shell link as a double click does, through `start`. Its
        status says whether the link could be opened; `start` does not wait
        for the link's program, even with /wait, and that program's exit
        status does not pass through (wait_started and wait_ended follow
        the program itself). The program's standard error goes to the log
        of `start`."""
        return self.start("start", link_windows_path, debug=debug, cwd="C:\\",
                          name="link-" + re.sub(r"[^\w.-]+", "_", link_windows_path.rsplit("\\", 1)[-1]))

    def wait_started(self, image, seconds=WINDOW_WAIT):
        """True once a process of the executable image (a Windows path) runs."""
        return self.driver("started", image, seconds)[0] == 0

    def wait_ended(self, image, seconds=PROGRAM_TIMEOUT):
        """True once no process of the executable image (a Windows path) runs."""
        return self.driver("ended", image, seconds)[0] == 0

    def wait_until(self, condition, seconds=WINDOW_WAIT):
        """True once condition() holds, polled every 0.1 s for up to
        seconds; a bound, not a check on time."""
        deadline = time.monotonic() + seconds
        while not condition():
            if time.monotonic() >= deadline:
                return condition()
            time.sleep(0.1)
        return True

    def screenshot(self, name):
        """The whole virtual screen as <artifacts>/<name>.png."""
        path = os.path.join(self.artifacts, name + ".png")
        taken = subprocess.run(["import", "-window", "root", path], env=self.env, stdin=DEVNULL,
                               stdout=DEVNULL, stderr=DEVNULL, timeout=COMMAND_TIMEOUT)
        if taken.returncode != 0:
            raise WinePlayError("import could not take the screenshot " + path)
        return path

    # -- Registry --

    def reg_value(self, key, value):
        """(type, text) of a registry value, such as ("REG_SZ", "C:\\Games"),
        or None when it is missing."""
        status, out = self.wine("reg", "query", key, "/v", value)
        if status != 0:
            return None
        for line in out.decode(CODE_PAGE, errors="replace").splitlines():
            match = re.match(r"^\s+(.*?)\s{4}(REG_\w+)\s{4}(.*)$", line.rstrip("\r"))
            if match and match.group(1).lower() == value.lower():
                return match.group(2), match.group(3)
        return None

    def reg_query(self, key, value):
        """The text of a registry value, or None when it is missing."""
        found = self.reg_value(key, value)
        return found and found[1]

    # -- The UI driver --

    def driver(self, *args):
        """Runs uidriver.exe; (status, stdout bytes)."""
        if not self.uidriver:
            raise WinePlayError("this Wine session has no UI driver")
        return self.wine(self.uidriver, *[str(a) for a in args])

    def wait_for(self, caption, has=None, box=False, seconds=WINDOW_WAIT):
        """True once a dialog or box of that caption is shown."""
        args = ["wait", caption, seconds] + (["--has", has] if has is not None else []) + (
            ["--box"] if box else [])
        return self.driver(*args)[0] == 0

    def wait_gone(self, caption, has=None, box=False, seconds=WINDOW_WAIT):
        """True once no such dialog or box is left."""
        args = ["gone", caption, seconds] + (["--has", has] if has is not None else []) + (
            ["--box"] if box else [])
        return self.driver(*args)[0] == 0

    def text_bytes(self, caption, control):
        """A control's text as the program holds it (ANSI bytes)."""
        status, out = self.driver("text", caption, control)
        if status != 0:
            raise WinePlayError("cannot read control %s of %r" % (control, caption))
        return out[:-1]   # the driver ends the text with one LF of its own

    def text(self, caption, control):
        return self.text_bytes(caption, control).decode(CODE_PAGE)

    def type_text(self, caption, control, text):
        if self.driver("settext", caption, control, text)[0] != 0:
            raise WinePlayError("cannot type into control %s of %r" % (control, caption))

    def press(self, caption, button):
        if self.driver("click", caption, button)[0] != 0:
            raise WinePlayError("cannot press button %s of %r" % (button, caption))

    def progress(self, caption, control):
        """(position, low, high) of a progress bar."""
        status, out = self.driver("progress", caption, control)
        if status != 0:
            raise WinePlayError("cannot read progress bar %s of %r" % (control, caption))
        return tuple(int(n) for n in out.split())

    def controls(self, caption, box=False):
        """(id, class, visible, text, shows an icon) of each control of the
        dialog or box of that caption."""
        if not self.wait_for(caption, box=box):
            raise WinePlayError("no dialog %r" % caption)
        status, out = self.driver("controls", caption, *(["--box"] if box else []))
        result = []
        for line in out.decode(CODE_PAGE).splitlines():
            fields = line.split("\t")
            result.append((int(fields[0]), fields[1], fields[2] == "visible", _unescape_driver(fields[3]),
                           fields[4:] == ["(icon)"]))
        return result

    def box_shows_icon(self, caption):
        return any(icon for _id, _cls, visible, _text, icon in self.controls(caption, box=True) if visible)

    def link(self, windows_path):
        """The fields of a shell link file as IShellLinkA reads them back:
        path (raw), arguments, working-directory, description, icon-path
        (strings) and icon-index (int)."""
        status, out = self.driver("link", windows_path)
        if status != 0:
            raise WinePlayError("cannot read the link " + windows_path)
        fields = {}
        for line in out.decode(CODE_PAGE).splitlines():
            label, value = line.split("\t", 1)
            fields[label] = _unescape_driver(value)
        fields["icon-index"] = int(fields["icon-index"])
        return fields

    def is_topmost(self, caption, box=False):
        """True when the dialog or box of that caption stays on top of every
        other window, as a system-modal message box does."""
        status, out = self.driver("topmost", caption, *(["--box"] if box else []))
        if status != 0:
            raise WinePlayError("no dialog %r" % caption)
        return out.strip() == b"topmost"

    def windows(self):
        """(caption, text, is a message box) of every visible dialog and
        message box; text is a box's message."""
        status, out = self.driver("boxes")
        result = []
        for line in out.decode(CODE_PAGE).splitlines():
            _handle, visible, caption, text, kind = line.split("\t")
            if visible == "visible":
                result.append((_unescape_driver(caption), _unescape_driver(text), kind == "box"))
        return result

    def boxes(self):
        """(caption, text) of every visible dialog and message box."""
        return [(caption, text) for caption, text, _box in self.windows()]

    def box_text(self, caption):
        """The text of the message box of that caption, once it is shown."""
        if not self.wait_for(caption, box=True):
            raise WinePlayError("no message box %r" % caption)
        return self.text(caption, 0xFFFF)

    def dismiss_box(self, caption):
        """Presses OK on the message box of that caption and waits until it
        has closed (another box of the same caption may follow at once)."""
        self.answer_box(caption, OK)

    def answer_box(self, caption, button):
        """Presses a button (IDOK 1, IDYES 6, IDNO 7, ...) of the message box
        of that caption and waits until that box has closed."""
        status, handle = self.driver("wait", caption, WINDOW_WAIT, "--box")
        if status != 0:
            raise WinePlayError("no message box %r" % caption)
        self.press(caption, button)
        if self.driver("closed", handle.decode().strip(), WINDOW_WAIT)[0] != 0:
            raise WinePlayError("message box %r stayed" % caption)


def _unescape_driver(text):
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "r": "\r", "t": "\t"}.get(m.group(1), m.group(1)), text)


# ---- A running program -------------------------------------------------------

_DEBUG_LINE = re.compile(r'^[0-9a-f]+:warn:debugstr:OutputDebugStringA "(.*)"$')
# trace+process shows each process a program starts: the application name
# and the command line, C-escaped.
_START_LINE = re.compile(r'^[0-9a-f]+:trace:process:CreateProcessInternalW app L"(.*)" cmdline L"(.*)"$')
# trace+message names the window by its class, cut to 14 characters; 0x402 is
# PBM_SETPOS, its wParam the new position.
_SET_POS_LINE = re.compile(
    r'spy_enter_message\s+\(0x[0-9a-f]+\) L"\{msctls_progre\}" \[0402\] .* wp=([0-9a-f]+)')


def _unescape_debug(text):
    """Wine's C-style escaping of a debugger line, undone."""
    out, i = bytearray(), 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            if n == "x":
                out.append(int(text[i + 2:i + 4], 16))
                i += 4
                continue
            out += {"n": b"\n", "r": b"\r", "t": b"\t"}.get(n, n.encode("latin-1"))
            i += 2
            continue
        out += c.encode("latin-1")
        i += 1
    return out.decode(CODE_PAGE)


class Program:
    """A Windows program started by `wine` in a session, in the background.
    With the default WINEDEBUG its standard error carries each
    OutputDebugStringA text and each message its progress bar receives."""

    def __init__(self, session, windows_path, args, debug, cwd, name, extra_env):
        self.session = session
        self.log_path = os.path.join(session.artifacts, name + "-stderr.log")
        self.out_path = os.path.join(session.artifacts, name + "-stdout.log")
        env = dict(session.env, WINEDEBUG=debug, **(extra_env or {}))
        folder = session.unix_path(cwd or windows_path.rsplit("\\", 1)[0])
        with open(self.log_path, "wb") as log, open(self.out_path, "wb") as out:
            self.process = subprocess.Popen(["wine", windows_path] + [str(a) for a in args], env=env,
                                            cwd=folder, stdin=DEVNULL, stdout=out, stderr=log)

    def output(self):
        """What the program has written to its standard output so far."""
        with open(self.out_path, "rb") as f:
            return f.read().decode(CODE_PAGE, errors="replace")

    def wait(self, timeout=PROGRAM_TIMEOUT):
        """The exit status once the program has ended; None if it has not
        ended within the timeout."""
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def running(self):
        return self.process.poll() is None

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(10)

    def events(self):
        """In order: ("debug", text) for each OutputDebugStringA line and
        ("position", n) for each position sent to the progress bar."""
        with open(self.log_path, "rb") as f:
            lines = f.read().decode("latin-1").splitlines()
        events = []
        for line in lines:
            debug = _DEBUG_LINE.match(line)
            if debug:
                events.append(("debug", _unescape_debug(debug.group(1))))
                continue
            position = _SET_POS_LINE.search(line)
            if position:
                events.append(("position", int(position.group(1), 16)))
        return events

    def debug_lines(self):
        return [text for kind, text in self.events() if kind == "debug"]

    def started_processes(self):
        """(application name, command line) of each process that the program
        or its children started; needs trace+process in its WINEDEBUG."""
        with open(self.log_path, "rb") as f:
            lines = f.read().decode("latin-1").splitlines()
        return [(_unescape_debug(m.group(1)), _unescape_debug(m.group(2)))
                for m in map(_START_LINE.match, lines) if m]


# ---- Command line ------------------------------------------------------------

def _run_in_session(command):
    """Runs command in a headless session: its environment carries the
    session's WINEPREFIX (and a HOME inside it, so desktop links stay
    there); QUILLFEN_WINE_DIR still names the shared folder, for any
    session the command makes in turn."""
    shared = wine_folder()
    session = WineSession(headless=True)
    try:
        env = dict(session.env, QUILLFEN_WINE_DIR=shared)
        return subprocess.run(command, env=env).returncode
    finally:
        session.close()


def main(argv):
    try:
        if argv == ["template"]:
            check_programs()
            if template_ready():
                return 0
            start = time.monotonic()
            folder = make_template()
            print("wineplay: template prefix %s made in %.1f s" % (folder, time.monotonic() - start))
            return 0
        if len(argv) >= 3 and argv[:2] == ["session", "--"]:
            check_programs()
            return _run_in_session(argv[2:])
    except WinePlayError as failure:
        print("wineplay: %s" % failure, file=sys.stderr)
        return 1
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
