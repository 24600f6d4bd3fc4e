#!/usr/bin/env python3
"""Reads the resources of a built quillfen.exe back and checks what the
resource compiler could get wrong: the language, the dialogs' window styles
and control classes, the icon images' sizes and colour depths, and the
version strings. What the resource script spells out itself (texts,
coordinates) is not repeated here.

Usage: check_resources.py quillfen.exe
Prints one line per difference; exits 1 when there is any, else 0.
"""

import struct
import sys

RT_DIALOG, RT_GROUP_ICON, RT_VERSION = 5, 14, 16
LANG_POLISH = 1045

WS_POPUP, WS_CHILD, WS_VISIBLE = 0x80000000, 0x40000000, 0x10000000
WS_CAPTION, WS_BORDER, WS_VSCROLL = 0x00C00000, 0x00800000, 0x00200000
WS_SYSMENU, WS_GROUP, WS_TABSTOP = 0x00080000, 0x00020000, 0x00010000
DS_3DLOOK, DS_SETFONT, DS_MODALFRAME, DS_CENTER = 0x0004, 0x0040, 0x0080, 0x0800
BS_DEFPUSHBUTTON, ES_MULTILINE, ES_AUTOVSCROLL = 0x0001, 0x0004, 0x0040
ES_AUTOHSCROLL, ES_NOHIDESEL, ES_READONLY = 0x0080, 0x0100, 0x0800

DIALOG_STYLE = (WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME
                | DS_CENTER | DS_3DLOOK | DS_SETFONT)
CHILD = WS_CHILD | WS_VISIBLE
# Each dialog's controls in template order: ID, class, style.
DIALOGS = {
    101: [(1, "BUTTON", CHILD), (2, "BUTTON", CHILD),
          (1001, "BUTTON", WS_CHILD | BS_DEFPUSHBUTTON | WS_TABSTOP),
          (1000, "EDIT", CHILD | ES_MULTILINE | ES_AUTOVSCROLL | ES_NOHIDESEL | ES_READONLY
           | WS_VSCROLL | WS_BORDER)],
    102: [(1, "BUTTON", CHILD | BS_DEFPUSHBUTTON | WS_TABSTOP), (2, "BUTTON", CHILD | WS_TABSTOP),
          (1002, "EDIT", CHILD | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL),
          (-1, "STATIC", CHILD | WS_GROUP), (1005, "STATIC", CHILD | WS_GROUP),
          (1006, "MSCTLS_PROGRESS32", CHILD | WS_BORDER),
          (1010, "BUTTON", CHILD | WS_TABSTOP)],
}
ICON_GROUP = 107
ICON_IMAGES = sorted([(48, 4), (32, 4), (24, 4), (16, 4), (48, 8), (32, 8), (24, 8), (16, 8),
                      (48, 24), (32, 24), (24, 32), (16, 32)])
VERSION_STRINGS = {
    "CompanyName": "Brakmoor", "FileDescription": "Quillfen", "FileVersion": "1, 0, 0, 1",
    "InternalName": "Quillfen", "OriginalFilename": "Quillfen.exe",
    "ProductName": "Brakmoor Quillfen", "ProductVersion": "1, 0, 0, 1",
}
CLASS_ORDINALS = {0x80: "BUTTON", 0x81: "EDIT", 0x82: "STATIC"}


def u16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def u32(data, at):
    return struct.unpack_from("<I", data, at)[0]


def resources(image):
    """(type, name, language, bytes) of every resource. In the .rsrc section,
    three levels of 16-byte directories and 8-byte entries give type, name
    and language, and lead to the bytes' address and size."""
    pe = u32(image, 0x3C)
    headers = pe + 24 + u16(image, pe + 20)
    for at in range(headers, headers + 40 * u16(image, pe + 6), 40):
        if image[at:at + 8] == b".rsrc\0\0\0":
            rva, base = u32(image, at + 12), u32(image, at + 20)
            break
    else:
        raise ValueError("no .rsrc section")

    def entries(at):
        n = u16(image, base + at + 12) + u16(image, base + at + 14)
        return [(u32(image, base + at + 16 + 8 * i), u32(image, base + at + 20 + 8 * i)) for i in range(n)]

    found = []
    for rtype, to_names in entries(0):
        for name, to_langs in entries(to_names & 0x7FFFFFFF):
            for lang, to_data in entries(to_langs & 0x7FFFFFFF):
                start = base + u32(image, base + to_data) - rva
                found.append((rtype, name, lang, image[start:start + u32(image, base + to_data + 4)]))
    return found


def text(data, at):
    """(UTF-16 text up to its NUL, the offset after the NUL)."""
    end = at
    while u16(data, end):
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def text_or_ordinal(data, at):
    """(value, next offset) of a template field: 0xFFFF and an ordinal, or text."""
    return (u16(data, at + 2), at + 4) if u16(data, at) == 0xFFFF else text(data, at)


def dialog(data):
    """(style, [(id, class, style)]) of a DLGTEMPLATE: header of 18 bytes,
    then menu, class, title, font; each item DWORD-aligned: style, extended
    style, place, ID, class and text as ordinal or string, creation data."""
    style, items, at = u32(data, 0), u16(data, 8), 18
    for _ in range(3):
        at = text_or_ordinal(data, at)[1]
    at = text(data, at + 2)[1]
    controls = []
    for _ in range(items):
        at = (at + 3) // 4 * 4
        item_style, item_id = u32(data, at), struct.unpack_from("<h", data, at + 16)[0]
        cls, at = text_or_ordinal(data, at + 18)
        at = text_or_ordinal(data, at)[1]
        at += 2 + u16(data, at)
        controls.append((item_id, CLASS_ORDINALS.get(cls, cls).upper(), item_style))
    return style, controls


def version_string(data, key):
    """The value of a string of a version block: after the key and its NUL
    comes padding to a DWORD boundary, then the value and its NUL."""
    at = data.find(key.encode("utf-16-le") + b"\0\0")
    return None if at < 0 else text(data, (at + 2 * len(key) + 2 + 3) // 4 * 4)[0]


def check(image):
    found = resources(image)
    problems = ["resource %r/%r: language %r, expected %d" % (rtype, name, lang, LANG_POLISH)
                for rtype, name, lang, _ in found if lang != LANG_POLISH]
    by_id = {(rtype, name): data for rtype, name, _, data in found}
    for number, expected in DIALOGS.items():
        if (RT_DIALOG, number) not in by_id:
            problems.append("dialog %d is missing" % number)
            continue
        style, controls = dialog(by_id[RT_DIALOG, number])
        if style != DIALOG_STYLE:
            problems.append("dialog %d: style 0x%08x, expected 0x%08x" % (number, style, DIALOG_STYLE))
        if controls != expected:
            problems.append("dialog %d: controls %r, expected %r" % (number, controls, expected))
    group = by_id.get((RT_GROUP_ICON, ICON_GROUP), bytes(6))
    images = sorted((group[6 + 14 * i], u16(group, 12 + 14 * i)) for i in range(u16(group, 4)))
    if images != ICON_IMAGES:
        problems.append("icon group %d: images (size, bpp) %r, expected %r" % (ICON_GROUP, images, ICON_IMAGES))
    version = by_id.get((RT_VERSION, 1), b"")
    for key, value in VERSION_STRINGS.items():
        if version_string(version, key) != value:
            problems.append("version string %s is %r, expected %r" % (key, version_string(version, key), value))
    return problems


if __name__ == "__main__":
    with open(sys.argv[1], "rb") as f:
        problems = check(f.read())
    for problem in problems:
        print("check_resources: " + problem)
    sys.exit(1 if problems else 0)
