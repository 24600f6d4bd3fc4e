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

RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION = 3, 5, 14, 16
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
    """(type, name, language, bytes) of every resource. The PE headers lead
    to the resource table (data directory 2); its three levels of 16-byte
    directories and 8-byte entries give type, name and language."""
    pe = u32(image, 0x3C)
    count, optional_size = u16(image, pe + 6), u16(image, pe + 20)
    optional = pe + 24
    rsrc_rva = u32(image, optional + 96 + 16)
    sections = [struct.unpack_from("<IIII", image, optional + optional_size + 40 * i + 8)
                for i in range(count)]

    def offset(rva):
        for vsize, vaddr, raw_size, raw_at in sections:
            if vaddr <= rva < vaddr + max(vsize, raw_size):
                return raw_at + rva - vaddr
        raise ValueError("RVA 0x%x in no section" % rva)

    base = offset(rsrc_rva)

    def entries(at):
        n = u16(image, base + at + 12) + u16(image, base + at + 14)
        return [(u32(image, base + at + 16 + 8 * i), u32(image, base + at + 20 + 8 * i))
                for i in range(n)]

    found = []
    for rtype, to_names in entries(0):
        for name, to_langs in entries(to_names & 0x7FFFFFFF):
            for lang, to_data in entries(to_langs & 0x7FFFFFFF):
                rva, size = u32(image, base + to_data), u32(image, base + to_data + 4)
                found.append((rtype, name, lang, image[offset(rva):offset(rva) + size]))
    return found


def dialog(data):
    """(style, [(id, class, style)]) of a DLGTEMPLATE: header of 18 bytes,
    then menu, class, title, font; each item DWORD-aligned: style, extended
    style, place, ID, class and text as ordinal or string, creation data."""
    pos = [18]

    def skip_string():
        first = u16(data, pos[0])
        if first == 0xFFFF:
            pos[0] += 4
            return u16(data, pos[0] - 2)
        end = pos[0]
        while u16(data, end):
            end += 2
        text = data[pos[0]:end].decode("utf-16-le")
        pos[0] = end + 2
        return text

    style, items = u32(data, 0), u16(data, 8)
    for _ in range(3):
        skip_string()
    pos[0] += 2
    skip_string()
    controls = []
    for _ in range(items):
        pos[0] = (pos[0] + 3) // 4 * 4
        item_style, item_id = u32(data, pos[0]), struct.unpack_from("<h", data, pos[0] + 16)[0]
        pos[0] += 18
        cls = skip_string()
        skip_string()
        pos[0] += 2 + u16(data, pos[0])
        controls.append((item_id, CLASS_ORDINALS.get(cls, cls).upper(), item_style))
    return style, controls


def version_strings(data):
    """The key/value strings of a version block: every text node (type 1)
    holding a value, found by walking the nodes' keys."""
    strings, pos = {}, 0
    while pos + 6 <= len(data):
        length, value_length, kind = struct.unpack_from("<HHH", data, pos)
        end = pos + 6
        while u16(data, end):
            end += 2
        key = data[pos + 6:end].decode("utf-16-le")
        value_at = (end + 2 + 3) // 4 * 4
        if kind == 1 and value_length:
            strings[key] = data[value_at:value_at + 2 * value_length].decode("utf-16-le").rstrip("\0")
            pos = (pos + length + 3) // 4 * 4
        else:
            pos = value_at + (value_length if kind == 0 else 0)
            pos = (pos + 3) // 4 * 4
    return strings


def check(image):
    problems = []
    found = resources(image)
    for rtype, name, lang, _ in found:
        if lang != LANG_POLISH:
            problems.append("resource %r/%r: language %r, expected %d" % (rtype, name, lang, LANG_POLISH))
    dialogs = {name: data for rtype, name, _, data in found if rtype == RT_DIALOG}
    for number, expected in DIALOGS.items():
        if number not in dialogs:
            problems.append("dialog %d is missing" % number)
            continue
        style, controls = dialog(dialogs[number])
        if style != DIALOG_STYLE:
            problems.append("dialog %d: style 0x%08x, expected 0x%08x" % (number, style, DIALOG_STYLE))
        if controls != expected:
            problems.append("dialog %d: controls %r, expected %r" % (number, controls, expected))
    groups = {name: data for rtype, name, _, data in found if rtype == RT_GROUP_ICON}
    if ICON_GROUP not in groups:
        problems.append("icon group %d is missing" % ICON_GROUP)
    else:
        group = groups[ICON_GROUP]
        images = sorted((group[6 + 14 * i], u16(group, 6 + 14 * i + 6)) for i in range(u16(group, 4)))
        if images != ICON_IMAGES:
            problems.append("icon images (size, bpp) %r, expected %r" % (images, ICON_IMAGES))
    versions = [data for rtype, _, _, data in found if rtype == RT_VERSION]
    strings = version_strings(versions[0]) if versions else {}
    for key, value in VERSION_STRINGS.items():
        if strings.get(key) != value:
            problems.append("version string %s is %r, expected %r" % (key, strings.get(key), value))
    return problems


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: check_resources.py EXE\n")
        return 2
    with open(argv[1], "rb") as f:
        image = f.read()
    try:
        problems = check(image)
    except (ValueError, struct.error, IndexError, UnicodeDecodeError) as e:
        problems = ["resources cannot be read: %s" % e]
    for p in problems:
        print("check_resources: %s" % p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
