#!/usr/bin/env python3
"""Runs the worked example of docs/authoring.md: a block after `<!-- checked -->`
holds commands (`$ ...`) each followed by its output, run in turn in a fresh
folder beside the repository's examples/ with `quillpack` the native one (given
the stub for build); a block after `<!-- checked: FILE -->` is that file once
the commands before it have run. Times and the installer's size may differ.
Usage: check_authoring_guide.py GUIDE QUILLPACK QUILLFEN_EXE; prints each
difference and exits 1 when there is any."""

import os
import re
import subprocess
import sys
import tempfile

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
QUILLPACK_FUNCTION = ('quillpack() { if [ "$1" = build ]; then shift; "$QP" build --stub "$STUB" "$@"; '
                      'else "$QP" "$@"; fi; }\n')


def steady(text):
    text = re.sub(r" in \d+\.\d\d s$", " in T s", text, flags=re.M)
    return re.sub(r"(entries), [\d,]+ bytes", r"\1, N bytes", text)


def main(guide, quillpack, stub):
    with open(guide, encoding="utf-8") as f:
        blocks = re.findall(r"^<!-- checked(?:: (\S+))? -->\n```\w*\n(.*?)^```$", f.read(), re.M | re.S)
    failures = 0
    with tempfile.TemporaryDirectory(prefix="quillfen-guide-") as folder:
        os.symlink(os.path.join(REPO, "examples"), os.path.join(folder, "examples"))
        # A locale the system has, so that the shell itself says nothing.
        env = dict(os.environ, QP=os.path.abspath(quillpack), STUB=os.path.abspath(stub), LC_ALL="C.UTF-8")
        for file, text in blocks:
            if file:
                with open(os.path.join(folder, file), encoding="cp1250") as f:
                    found, shown = f.read(), text
            else:
                found, shown = "", ""
                for command, output in re.findall(r"^\$ (.*)\n((?:(?!\$ ).*\n)*)", text, re.M):
                    done = subprocess.run(["bash", "-c", QUILLPACK_FUNCTION + command], cwd=folder, env=env,
                                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
                    found, shown = found + steady(done.stdout), shown + steady(output)
            if found != shown:
                failures += 1
                print("%s: %s differs:\n--- the guide\n%s--- now\n%s" % (guide, file or "output", shown, found))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
