#!/usr/bin/env python3
"""Compares what the resource compiler could get wrong in a built quillfen.exe
(read back with windres) with resources.expected: the language, the dialogs'
styles and control classes, the icon images' sizes and depths, the version
strings. Usage: check_resources.py WINDRES quillfen.exe; prints the
differences and exits 1 when there is any."""

import difflib
import os
import re
import subprocess
import sys

# A line of windres's output and the fact it gives.
FACTS = [
    (r"^LANGUAGE .*", lambda m: m[0]),
    (r"^(\d+) DIALOG ", lambda m: "dialog " + m[1]),
    (r"^STYLE (\S+)", lambda m: "  style " + m[1]),
    (r'^\s+CONTROL ".*?", (-?\d+), "(\w+)", (\w+),', lambda m: "  control %s %s %s" % m.groups()),
    (r'^\s+"\\(\d+)\\(\d+)\\\d+\\\d+", \d+, (\d+),',
     lambda m: "icon image %dx%d, %s bits" % (int(m[1], 8), int(m[2], 8), m[3])),
    (r'^\s+VALUE "(\w+)", "(.*)"', lambda m: "version %s: %s" % m.groups()),
]


def facts(rc_text):
    return [form(match) for line in rc_text.splitlines() for pattern, form in FACTS
            for match in [re.match(pattern, line)] if match]


if __name__ == "__main__":
    rc = subprocess.run([sys.argv[1], "-i", sys.argv[2], "-J", "coff", "-O", "rc"],
                        capture_output=True, text=True, check=True).stdout
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "resources.expected")) as f:
        expected = [line for line in f.read().splitlines() if not line.startswith("#")]
    problems = list(difflib.unified_diff(expected, facts(rc), "expected", "built", lineterm="", n=0))
    print("\n".join(problems))
    sys.exit(1 if problems else 0)
