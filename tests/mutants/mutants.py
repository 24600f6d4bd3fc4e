#!/usr/bin/env python3
"""Checks that the tests guard the code: applies each single mutation below
to the product code, rebuilds a host build of its own (build/mutants, with
the sanitizers), runs the unit, quillpack and flow tests and restores the
file. A mutation that no test catches survives, one whose text is no longer
in its file is stale; both are listed at the end. Run by `make mutants`.
"""

import os
import pathlib
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.path.join(ROOT, "build", "mutants")
TIMEOUT = 600   # seconds for one build and test run: a mutation may make a loop endless
TESTS = [("unit", "unit_tests"), ("unit", "quillpack_tests"), ("flows", "flow_tests")]

# (file, text, replacement, what the mutation breaks)
MUTANTS = [
    ("base/path_rule.cpp", "if (length == 2 && component[0] == '.' && component[1] == '.')", "if (false)",
     "a '..' component stays inside"),
    ("base/path_rule.cpp", "(component[length - 1] == '.' || component[length - 1] == ' ')",
     "(component[length - 1] == '.')", "a name ending in a blank passes"),
    ("base/path_rule.cpp", "    if (strchr(path, ':'))\n        return PATH_COLON;\n", "",
     "a colon passes"),
    ("base/path_rule.cpp", "if (base == 0 || base > 4)", "if (base == 0 || base > 3)", "COM1-9 and LPT1-9 pass"),
    ("base/path_rule.cpp", " &&\n           !equalsIgnoreAsciiCase(path, SCRIPT_NAME)", "",
     "a payload may replace the installed script"),
    ("base/path_rule.cpp", "if (drive < 'a' || drive > 'z' || path[1] != ':')", "if (path[1] != ':')",
     "any character passes for a drive letter"),
    ("base/text.cpp", "bool fits = length < size;", "bool fits = true;", "a cut text is not reported"),
    ("base/text.cpp", "(c >= 'A' && c <= 'Z')", "(c >= 'A' && c < 'Z')", "Z is not folded"),
    ("base/folders.cpp", "GetLastError() != ERROR_ALREADY_EXISTS", "true", "an existing level is an error"),
    ("package/package.cpp", "size <= (uint32_t)fileLength - e->offset &&", "",
     "an entry may reach past the end of the file"),
    ("package/package.cpp", "            if (!*slot)\n                *slot", "            *slot",
     "the last entry of a name wins the lookup"),
    ("package/package.cpp", "    rebuildIndex();     // fewer entries", "    // fewer entries",
     "the index keeps a closed package's entries"),
    ("package/package_file.cpp", "        if (p > 2)\n", "        if (p > 3)\n", "a '..\\' step at index 3 removes too little"),
    ("package/package_file.cpp", "if (c == '\\r' && used + 1 < got && chunk[used + 1] == '\\n')",
     "if (c == '\\r' && used + 1 < got)", "a lone CR swallows the next character"),
    ("package/package_file.cpp", "    if (position > entry->size)\n        position = entry->size;\n", "",
     "a seek past the end is not clamped"),
    ("package/package_file.cpp", "    if (isWriteMode(mode))\n        return openOrdinary(name, mode);\n", "",
     "write-mode names are normalised"),
    ("package/gz_reader.cpp", "if (readTrailerWord(reader) != reader->crc)", "if (readTrailerWord(reader) != reader->crc && false)",
     "a wrong CRC-32 passes"),
    ("package/gz_reader.cpp", "(flags & 0xE0) != 0", "false", "reserved header flags pass"),
    ("package/gz_reader.cpp", "low | (high << 8)", "low", "an extra field's length loses its high byte"),
    ("package/extract.cpp", "bool wrongLength = written != size;", "bool wrongLength = written > size;",
     "a file shorter than its line is success"),
    ("package/extract.cpp", "at += GZ_BUFFER_SIZE)", "at += GZ_BUFFER_SIZE - 1)",
     "an entry unpacked ahead is written with bytes twice"),
    ("package/unpack_ahead.cpp", "bool whole = bytes && n == 0 && got == planned->size;", "bool whole = bytes && n == 0;",
     "an entry unpacked ahead may be shorter than its line"),
    ("package/unpack_ahead.cpp", "if (gzReaderClose(reader) != 0 || !whole)", "if (!whole)",
     "an entry unpacked ahead may end without its end"),
    ("package/integrity.cpp", " ||\n        (uint32_t)image->size != imageLength)", ")",
     "entry 0 need not be the image"),
    ("package/integrity.cpp", "        if (record->entries[i].rawLength != 0)\n            return false;\n", "",
     "a raw length passes"),
    ("package/integrity.cpp", "crc == littleEndian32(stored)", "true", "a damaged checksum passes"),
    ("script/script_grammar.cpp", "if (!destination || destination[-1] != '\\'')", "if (!destination)",
     "a COPY line without its one-character gap parses"),
    ("script/script_grammar.cpp", "        if (gap == 0)\n            return scanEnded(i, QUOTED_NO_GAP, stop);\n", "",
     "a quoted value needs no gap"),
    ("script/script_grammar.cpp", "    if (length >= size)\n        return false;\n",
     "    if (length >= size)\n        length = size - 1;\n", "the uninstaller takes a cut path"),
    ("script/settings_pass.cpp", "if (settings.shortcutCount >= SHORTCUT_SLOTS)", "if (settings.shortcutCount > SHORTCUT_SLOTS)",
     "a seventeenth link overflows the table"),
    ("script/settings_pass.cpp", "if (length > 0 && settings.destinationDir[length - 1] != '\\\\')", "if (false)",
     "DIR= gets no final backslash"),
    ("script/copy_pass.cpp", "if (!isPayloadPlace(line.destination))", "if (false)", "COPY writes outside"),
    ("script/copy_pass.cpp", " || SetCurrentDirectoryA(fullPath)", "", "an existing folder fails a DIR line"),
    ("system/registry.cpp", "    if (!settings.bWriteInstallKey)\n        return;\n", "",
     "the install record is written without its lines"),
    ("system/registry.cpp", "REG_SZ", "REG_SZ + 1", "the install record has another type (REG_EXPAND_SZ)"),
    ("system/registry.cpp", "(DWORD)strlen(settings.destinationDir) + 1", "(DWORD)strlen(settings.destinationDir)",
     "the install record lacks its NUL"),
    ("system/link_places.cpp", "? link->iconIndex : 2;", "? 2 : 2;", "the uninstall link gets icon 2"),
    ("system/shortcuts.cpp", "        if (!isPathInsideFolder(link->linkName)) {", "        if (false) {",
     "a link name leaves its folder"),
    ("system/runtime_check.cpp", "if (strtol(version, 0, 10) < 6)", "if (strtol(version, 0, 10) < 5)",
     "version 5 passes"),
    ("uninstall/uninstall_pass.cpp", "if (settings.groupName[0] != '\\0' && haveGroup)", "if (haveGroup)",
     "an empty group removes the Programs folder"),
    ("uninstall/installed_paths.cpp", "        if (isPathInsideFolder(dirs->paths[i]))", "        if (true)",
     "the uninstaller removes folders outside"),
    ("uninstall/self_removal.cpp", "CopyFileA(startup.modulePath, copy, FALSE)", "CopyFileA(startup.modulePath, copy, TRUE)",
     "a stale temporary copy is started"),
    ("uninstall/self_removal.cpp", "attempt < 50", "attempt < 5", "the uninstaller copy is given up early"),
    ("app/command_line.cpp", "            i++;\n", "", "the clean-up stage's folder is read as an option"),
    ("base/path_rule.cpp", "withBackslash + longestName <= PATH_SIZE - 1", "withBackslash + longestName <= PATH_SIZE",
     "a destination one too long passes"),
    ("app/destination_dialog.cpp", "    return result != -1;", "    return true;", "a failed copy pass is success"),
    ("script/settings_pass.cpp", "(kilobytes + 1023) / 1024", "(kilobytes + 1024) / 1024",
     "the size line rounds up once too often"),
]


def run(command, **options):
    return subprocess.run(command, cwd=ROOT, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **options)


def caught():
    """True when the build fails or a unit or flow test fails (or hangs)."""
    try:
        return (run(["cmake", "--build", BUILD, "-j2", "--target", *[t[-1] for t in TESTS]], timeout=TIMEOUT).returncode
                or any(run([os.path.join(BUILD, "tests", *t)], timeout=TIMEOUT).returncode for t in TESTS))
    except subprocess.TimeoutExpired:
        return True


def main():
    if not os.path.exists(os.path.join(BUILD, "build.ninja")):
        run(["cmake", "-S", ROOT, "-B", BUILD, "-G", "Ninja", "-DCMAKE_C_COMPILER=clang",
             "-DCMAKE_CXX_COMPILER=clang++", "-DQUILLFEN_SANITIZE=ON"], check=True)
    if caught():
        sys.exit("mutants: the tests fail without any mutation; fix that first")
    missed, started = [], time.monotonic()   # (verdict, file, what) of each survivor and stale mutation
    for number, (name, text, replacement, what) in enumerate(MUTANTS, 1):
        source = pathlib.Path(ROOT, name)
        original = source.read_text()
        verdict = "stale"
        if original.count(text) == 1:
            try:
                source.write_text(original.replace(text, replacement))
                verdict = "caught" if caught() else "SURVIVED"
            finally:
                source.write_text(original)
        print("%2d/%d %-9s %s: %s" % (number, len(MUTANTS), verdict, name, what), flush=True)
        if verdict != "caught":
            missed.append((verdict, name, what))
    print("\n%d mutations, %d caught, %d survived, %d stale, in %.0f s"
          % (len(MUTANTS), len(MUTANTS) - len(missed), sum(m[0] == "SURVIVED" for m in missed),
             sum(m[0] == "stale" for m in missed), time.monotonic() - started))
    for verdict, name, what in missed:
        print("%s: %s: %s" % (verdict.lower(), name, what))
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
