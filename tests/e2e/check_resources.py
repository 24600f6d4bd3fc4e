#!/usr/bin/env python3
"""Reads the resources of a built quillfen.exe back and checks them.

Usage: check_resources.py quillfen.exe

It walks the .rsrc section of the executable and compares the
two dialog templates, the icon group and the version block with what the
program must carry. It prints one line per difference and exits 1 when
there is any, 0 when everything matches.
"""

import struct
import sys

RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION = 3, 5, 14, 16
LANG_POLISH = 1045

# --- Window styles ---------------------------------------------------------

WS_POPUP = 0x80000000
WS_CHILD = 0x40000000
WS_VISIBLE = 0x10000000
WS_CAPTION = 0x00C00000
WS_BORDER = 0x00800000
WS_VSCROLL = 0x00200000
WS_SYSMENU = 0x00080000
WS_GROUP = 0x00020000
WS_TABSTOP = 0x00010000
DS_3DLOOK = 0x0004
DS_SETFONT = 0x0040
DS_MODALFRAME = 0x0080
DS_CENTER = 0x0800
BS_PUSHBUTTON = 0x0000
BS_DEFPUSHBUTTON = 0x0001
ES_MULTILINE = 0x0004
ES_AUTOVSCROLL = 0x0040
ES_AUTOHSCROLL = 0x0080
ES_NOHIDESEL = 0x0100
ES_READONLY = 0x0800
SS_LEFT = 0x0000

WINDOW_STYLE_NAMES = [
    (WS_POPUP, "WS_POPUP"), (WS_CHILD, "WS_CHILD"),
    (WS_VISIBLE, "WS_VISIBLE"), (0x08000000, "WS_DISABLED"),
    (WS_BORDER, "WS_BORDER"), (0x00400000, "WS_DLGFRAME"),
    (WS_VSCROLL, "WS_VSCROLL"), (0x00100000, "WS_HSCROLL"),
    (WS_SYSMENU, "WS_SYSMENU"), (WS_GROUP, "WS_GROUP"),
    (WS_TABSTOP, "WS_TABSTOP"),
]

# --- What the executable must carry -----------------------------------------

DIALOG_STYLE = (WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME
                | DS_CENTER | DS_3DLOOK | DS_SETFONT)
CHILD = WS_CHILD | WS_VISIBLE

# Each control: ID, class, text, style, (x, y, width, height), in
# template order.
DIALOGS = {
    101: ("Information", (235, 206), [
        (1, "BUTTON", "OK", CHILD | BS_PUSHBUTTON, (37, 185, 78, 14)),
        (2, "BUTTON", "Cancel", CHILD | BS_PUSHBUTTON, (121, 185, 78, 14)),
        (1001, "BUTTON", "!", WS_CHILD | BS_DEFPUSHBUTTON | WS_TABSTOP,
         (215, 189, 13, 10)),
        (1000, "EDIT", "", CHILD | ES_MULTILINE | ES_AUTOVSCROLL
         | ES_NOHIDESEL | ES_READONLY | WS_VSCROLL | WS_BORDER,
         (7, 7, 221, 170)),
    ]),
    102: ("Installation", (272, 71), [
        (1, "BUTTON", "OK", CHILD | BS_DEFPUSHBUTTON | WS_TABSTOP,
         (215, 7, 50, 14)),
        (2, "BUTTON", "Cancel", CHILD | BS_PUSHBUTTON | WS_TABSTOP,
         (215, 24, 50, 14)),
        (1002, "EDIT", "", CHILD | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL,
         (7, 24, 197, 14)),
        (-1, "STATIC", "Copy files to directory", CHILD | SS_LEFT | WS_GROUP,
         (7, 10, 68, 8)),
        (1005, "STATIC", "", CHILD | SS_LEFT | WS_GROUP, (7, 56, 258, 8)),
        (1006, "MSCTLS_PROGRESS32", "", CHILD | WS_BORDER, (7, 44, 258, 10)),
        (1010, "BUTTON", "Browse", CHILD | BS_PUSHBUTTON | WS_TABSTOP,
         (142, 7, 62, 14)),
    ]),
}
DIALOG_FONT = (8, "MS Sans Serif")

ICON_GROUP = 107
ICON_IMAGES = sorted([
    (48, 4), (32, 4), (24, 4), (16, 4),
    (48, 8), (32, 8), (24, 8), (16, 8),
    (48, 24), (32, 24),
    (24, 32), (16, 32),
])

VERSION = (1, 0, 0, 1)
VOS_NT_WINDOWS32 = 0x00040004
VFT_APP = 1
STRING_TABLE = 0x040E04B0
VERSION_STRINGS = {
    "CompanyName": "Brakmoor",
    "FileDescription": "Quillfen",
    "FileVersion": "1, 0, 0, 1",
    "InternalName": "Quillfen",
    "OriginalFilename": "Quillfen.exe",
    "ProductName": "Brakmoor Quillfen",
    "ProductVersion": "1, 0, 0, 1",
}
TRANSLATIONS = [(0x040E, 1200)]


class Malformed(Exception):
    pass


class Reader:
    """Little-endian reads from a byte string, each checked against its end."""

    def __init__(self, data, pos=0, end=None):
        self.data, self.pos = data, pos
        self.end = len(data) if end is None else min(end, len(data))

    def take(self, n):
        if n < 0 or self.pos + n > self.end:
            raise Malformed("read of %d bytes at 0x%x runs past 0x%x"
                            % (n, self.pos, self.end))
        b = self.data[self.pos:self.pos + n]
        self.pos += n
        return b

    def u8(self):
        return self.take(1)[0]

    def u16(self):
        return struct.unpack("<H", self.take(2))[0]

    def s16(self):
        return struct.unpack("<h", self.take(2))[0]

    def u32(self):
        return struct.unpack("<I", self.take(4))[0]

    def align(self, n):
        self.pos = (self.pos + n - 1) // n * n

    def wstr(self):
        """A NUL-terminated UTF-16 string."""
        units = []
        while True:
            u = self.u16()
            if u == 0:
                return struct.pack("<%dH" % len(units), *units).decode(
                    "utf-16-le", "replace")
            units.append(u)

    def sz_or_ord(self):
        """None, an ordinal (int) or a string, as a dialog template stores
        its menu, class and text."""
        first = self.u16()
        if first == 0:
            return None
        if first == 0xFFFF:
            return self.u16()
        self.pos -= 2
        return self.wstr()


# --- PE image and resource directory -----------------------------------------
#
# DOS header: e_lfanew (u32) at 0x3C points to "PE\0\0", then the COFF
# header (20 bytes: machine u16, section count u16, ..., optional header
# size u16 at +16), the optional header (PE32 magic 0x10B; data directory
# count u32 at +92, the directories from +96, 8 bytes each, the resource
# table third) and the section headers (40 bytes: name, virtual size,
# virtual address, raw size, raw offset, ...).
#
# Resource directory: 16 bytes (named entry count u16 at +12, ID entry
# count u16 at +14), then 8-byte entries: name or ID u32 (high bit: offset
# of a counted UTF-16 name), offset u32 (high bit: a subdirectory, else a
# data entry: RVA u32, size u32, code page u32, reserved u32). Offsets are
# from the start of the resource table. Three levels: type, name, language.

class Resource:
    def __init__(self, rtype, name, lang, data):
        self.rtype, self.name, self.lang = rtype, name, lang
        self.data = data        # the resource's bytes


def sections(image):
    r = Reader(image, 0x3C)
    pe = r.u32()
    if image[pe:pe + 4] != b"PE\0\0":
        raise Malformed("no PE signature")
    r = Reader(image, pe + 4)
    r.take(2)
    count = r.u16()
    r.take(12)
    optional_size = r.u16()
    r.take(2)
    optional_at = r.pos
    if Reader(image, optional_at).u16() != 0x10B:
        raise Malformed("not a PE32 image")
    r = Reader(image, optional_at + 92)
    dir_count = r.u32()
    if dir_count < 3:
        raise Malformed("no resource directory entry")
    r = Reader(image, optional_at + 96 + 2 * 8)
    rsrc_rva, rsrc_size = r.u32(), r.u32()
    table = []
    r = Reader(image, optional_at + optional_size)
    for _ in range(count):
        r.take(8)
        vsize, vaddr, raw_size, raw_at = r.u32(), r.u32(), r.u32(), r.u32()
        r.take(16)
        table.append((vaddr, max(vsize, raw_size), raw_at, raw_size))
    return table, rsrc_rva, rsrc_size


def rva_to_offset(table, rva, size):
    for vaddr, vsize, raw_at, raw_size in table:
        if vaddr <= rva and rva + size <= vaddr + min(vsize, raw_size):
            return raw_at + rva - vaddr
    raise Malformed("RVA 0x%x (+%d) lies in no section" % (rva, size))


def read_resources(image):
    table, rsrc_rva, rsrc_size = sections(image)
    if rsrc_rva == 0:
        return []
    base = rva_to_offset(table, rsrc_rva, 16)
    found = []

    def entries(offset):
        r = Reader(image, base + offset)
        r.take(12)
        n = r.u16() + r.u16()
        for _ in range(n):
            name, target = r.u32(), r.u32()
            if name & 0x80000000:
                s = Reader(image, base + (name & 0x7FFFFFFF))
                length = s.u16()
                name = s.take(2 * length).decode("utf-16-le", "replace")
            yield name, target

    for rtype, t_off in entries(0):
        if not t_off & 0x80000000:
            raise Malformed("type entry without a subdirectory")
        for name, n_off in entries(t_off & 0x7FFFFFFF):
            if not n_off & 0x80000000:
                raise Malformed("name entry without a subdirectory")
            for lang, l_off in entries(n_off & 0x7FFFFFFF):
                if l_off & 0x80000000:
                    raise Malformed("language entry with a subdirectory")
                d = Reader(image, base + l_off)
                rva, size = d.u32(), d.u32()
                at = rva_to_offset(table, rva, size)
                found.append(Resource(rtype, name, lang, image[at:at + size]))
    return found


# --- Dialog templates ----------------------------------------------------------
#
# DLGTEMPLATE: style u32, extended style u32, item count u16, x, y, cx, cy
# s16; menu, class and title as sz_Or_Ord; with DS_SETFONT the point size
# u16 and the face name. Each item, DWORD-aligned: style u32, extended
# style u32, x, y, cx, cy s16, ID u16, class and text as sz_Or_Ord, a u16
# count of creation data and the data.
# DLGTEMPLATEEX starts with version 1 and 0xFFFF, a help ID, then extended
# style before style, and its font adds weight u16, italic u8 and charset
# u8; its items carry a help ID first, the extended style before the style,
# and an ID of u32.

CLASS_ORDINALS = {0x80: "BUTTON", 0x81: "EDIT", 0x82: "STATIC",
                  0x83: "LISTBOX", 0x84: "SCROLLBAR", 0x85: "COMBOBOX"}


class Control:
    pass


def parse_dialog(data):
    r = Reader(data)
    d = {}
    ex = data[2:4] == b"\xff\xff" and data[0:2] == b"\x01\x00"
    if ex:
        r.take(4)
        r.u32()
        d["exstyle"], d["style"] = r.u32(), r.u32()
    else:
        d["style"], d["exstyle"] = r.u32(), r.u32()
    count = r.u16()
    d["place"] = (r.s16(), r.s16(), r.s16(), r.s16())
    d["menu"], d["class"] = r.sz_or_ord(), r.sz_or_ord()
    d["caption"] = r.sz_or_ord()
    d["font"] = None
    if d["style"] & DS_SETFONT:
        size = r.u16()
        if ex:
            r.take(4)
        d["font"] = (size, r.wstr())
    d["controls"] = []
    for _ in range(count):
        r.align(4)
        c = Control()
        if ex:
            r.u32()
            c.exstyle = r.u32()
            c.style = r.u32()
        else:
            c.style = r.u32()
            c.exstyle = r.u32()
        c.place = (r.s16(), r.s16(), r.s16(), r.s16())
        if ex:
            c.id = struct.unpack("<i", r.take(4))[0]
        else:
            c.id = r.s16()
        cls = r.sz_or_ord()
        c.cls = CLASS_ORDINALS.get(cls, cls) if isinstance(cls, int) else cls
        c.text = r.sz_or_ord()
        extra = r.u16()
        r.take(extra)
        d["controls"].append(c)
    return d


def style_difference(got, want):
    """The bits of got and want that differ, named where they are window
    styles and in hex for the low bits, which the class or DS_ defines."""
    parts = []
    for bit, name in WINDOW_STYLE_NAMES:
        if (got ^ want) & bit:
            parts.append(("+" if got & bit else "-") + name)
    low = (got ^ want) & 0xFFFF
    if low:
        parts.append("low bits 0x%04x instead of 0x%04x"
                     % (got & 0xFFFF, want & 0xFFFF))
    other = (got ^ want) & ~0xFFFF & ~sum(b for b, _ in WINDOW_STYLE_NAMES)
    if other:
        parts.append("other bits 0x%08x" % other)
    return ", ".join(parts)


def check_dialog(number, res, problems):
    caption, size, controls = DIALOGS[number]
    where = "dialog %d" % number
    try:
        d = parse_dialog(res.data)
    except Malformed as e:
        problems.append("%s: malformed template: %s" % (where, e))
        return
    if d["caption"] != caption:
        problems.append("%s: caption %r, expected %r"
                        % (where, d["caption"], caption))
    if d["style"] != DIALOG_STYLE:
        problems.append("%s: style 0x%08x, expected 0x%08x (%s)"
                        % (where, d["style"], DIALOG_STYLE,
                           style_difference(d["style"], DIALOG_STYLE)))
    if d["exstyle"] != 0:
        problems.append("%s: extended style 0x%x, expected none"
                        % (where, d["exstyle"]))
    if d["place"][2:] != size:
        problems.append("%s: size %dx%d, expected %dx%d"
                        % ((where,) + d["place"][2:] + size))
    if d["menu"] is not None or d["class"] is not None:
        problems.append("%s: has a menu or a class of its own" % where)
    if d["font"] != DIALOG_FONT:
        problems.append("%s: font %r, expected %r"
                        % (where, d["font"], DIALOG_FONT))
    got = d["controls"]
    if len(got) != len(controls):
        problems.append("%s: %d controls, expected %d"
                        % (where, len(got), len(controls)))
    for n, (c, want) in enumerate(zip(got, controls), 1):
        cid, cls, text, style, place = want
        at = "%s, control %d (ID %d)" % (where, n, cid)
        if c.id != cid:
            problems.append("%s: ID %d" % (at, c.id))
        # Window classes are looked up without regard to case.
        if not isinstance(c.cls, str) or c.cls.upper() != cls.upper():
            problems.append("%s: class %r, expected %r" % (at, c.cls, cls))
        if (c.text or "") != text:
            problems.append("%s: text %r, expected %r" % (at, c.text, text))
        if c.style != style:
            problems.append("%s: style 0x%08x, expected 0x%08x (%s)"
                            % (at, c.style, style,
                               style_difference(c.style, style)))
        if c.exstyle != 0:
            problems.append("%s: extended style 0x%x, expected none"
                            % (at, c.exstyle))
        if c.place != place:
            problems.append("%s: place %r, expected %r" % (at, c.place, place))


# --- Icons -----------------------------------------------------------------------
#
# Group icon: reserved u16 0, type u16 1, count u16, then 14-byte entries:
# width u8, height u8, colour count u8, reserved u8, planes u16, bits per
# pixel u16, size u32, RT_ICON ID u16. Each RT_ICON image: a 40-byte
# BITMAPINFOHEADER with the height doubled, the palette for 8 bpp and less,
# the colour bitmap and the 1 bpp AND mask, rows padded to 4 bytes.

def row_bytes(width, bpp):
    return (width * bpp + 31) // 32 * 4


def check_icon_image(size, bpp, data, where, problems):
    try:
        r = Reader(data)
        (hsize, width, height, planes, bits, compression, _, _, _, used,
         _) = struct.unpack("<IiiHHIIiiII", r.take(40))
    except Malformed:
        problems.append("%s: no bitmap header" % where)
        return
    if (hsize, width, height, planes, bits, compression) != (
            40, size, 2 * size, 1, bpp, 0):
        problems.append("%s: bitmap header says %dx%d/2, %d planes, %d bpp, "
                        "compression %d" % (where, width, height, planes,
                                            bits, compression))
        return
    colours = (used or 1 << bpp) if bpp <= 8 else 0
    xor_at = 40 + 4 * colours
    and_at = xor_at + size * row_bytes(size, bpp)
    end = and_at + size * row_bytes(size, 1)
    if len(data) != end:
        problems.append("%s: %d bytes, a %dx%d %d bpp image has %d"
                        % (where, len(data), size, size, bpp, end))
        return
    mask_rows = [data[and_at + j * row_bytes(size, 1):][:(size + 7) // 8]
                 for j in range(size)]
    if all(b == 0xFF for row in mask_rows for b in row):
        problems.append("%s: the mask hides every pixel" % where)
    if bpp == 32:
        alphas = data[xor_at + 3:and_at:4]
        if not any(alphas):
            problems.append("%s: the alpha channel is empty" % where)


def check_icons(resources, problems):
    groups = [r for r in resources if r.rtype == RT_GROUP_ICON]
    group = [r for r in groups if r.name == ICON_GROUP]
    if not group:
        problems.append("icon group %d is missing" % ICON_GROUP)
        return
    data = group[0].data
    try:
        r = Reader(data)
        reserved, kind, count = r.u16(), r.u16(), r.u16()
        entries = [struct.unpack("<BBBBHHIH", r.take(14)) for _ in range(count)]
    except Malformed as e:
        problems.append("icon group %d: malformed: %s" % (ICON_GROUP, e))
        return
    if (reserved, kind) != (0, 1):
        problems.append("icon group %d: header %d, %d, expected 0, 1"
                        % (ICON_GROUP, reserved, kind))
    icons = {r.name: r for r in resources if r.rtype == RT_ICON}
    got = sorted((w, bits) for w, _, _, _, _, bits, _, _ in entries)
    if got != ICON_IMAGES:
        problems.append("icon group %d: images (size, bpp) %r, expected %r"
                        % (ICON_GROUP, got, ICON_IMAGES))
    for w, h, colours, _, planes, bits, size, icon_id in entries:
        where = "icon group %d, %dx%d %d bpp (icon %d)" % (
            ICON_GROUP, w, h, bits, icon_id)
        if w != h or planes != 1 or colours != (16 if bits == 4 else 0):
            problems.append("%s: entry %dx%d, %d planes, %d colours"
                            % (where, w, h, planes, colours))
        icon = icons.get(icon_id)
        if icon is None:
            problems.append("%s: no such icon" % where)
            continue
        if len(icon.data) != size:
            problems.append("%s: group says %d bytes, icon has %d"
                            % (where, size, len(icon.data)))
        check_icon_image(w, bits, icon.data, where, problems)
    if len(icons) != len(entries):
        problems.append("%d icon images for %d group entries"
                        % (len(icons), len(entries)))


# --- Version block ----------------------------------------------------------------
#
# Every node: length u16 (of the whole node), value length u16 (bytes for
# binary values, UTF-16 units for text), type u16 (1 text, 0 binary), a
# NUL-terminated UTF-16 key, padding to 4, the value, padding to 4, and
# the child nodes up to its length. The root "VS_VERSION_INFO" holds the
# 52-byte VS_FIXEDFILEINFO (signature 0xFEEF04BD); its children are
# "StringFileInfo" (string tables, each keyed by language and code page in
# 8 hex digits, holding the strings) and "VarFileInfo" ("Translation":
# pairs of u16 language and code page).

def parse_node(data, pos):
    r = Reader(data, pos)
    length, value_length, kind = r.u16(), r.u16(), r.u16()
    end = pos + length
    if length < 6 or end > len(data):
        raise Malformed("node at %d of length %d" % (pos, length))
    r.end = end
    key = r.wstr()
    r.align(4)
    value_bytes = value_length * 2 if kind == 1 else value_length
    value = r.take(min(value_bytes, end - r.pos))
    if kind == 1:
        value = value.decode("utf-16-le", "replace").rstrip("\0")
    r.align(4)
    children = []
    while r.pos + 6 <= end:
        child, r.pos = parse_node(data, r.pos)
        children.append(child)
        r.align(4)
    return (key, value, children), end


def check_version(resources, problems):
    blocks = [r for r in resources if r.rtype == RT_VERSION]
    if len(blocks) != 1 or blocks[0].name != 1:
        problems.append("expected one version block, number 1; found %r"
                        % [r.name for r in blocks])
        if not blocks:
            return
    try:
        (key, fixed, children), _ = parse_node(blocks[0].data, 0)
        if key != "VS_VERSION_INFO" or len(fixed) != 52:
            raise Malformed("root %r with %d bytes of fixed info"
                            % (key, len(fixed)))
    except Malformed as e:
        problems.append("version block: malformed: %s" % e)
        return
    f = struct.unpack("<13I", fixed)
    if f[0] != 0xFEEF04BD:
        problems.append("version block: fixed info signature 0x%08x" % f[0])
    for name, ms, ls in (("file", f[2], f[3]), ("product", f[4], f[5])):
        got = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        if got != VERSION:
            problems.append("version block: %s version %r, expected %r"
                            % (name, got, VERSION))
    if f[8] != VOS_NT_WINDOWS32:
        problems.append("version block: file OS 0x%x, expected 0x%x"
                        % (f[8], VOS_NT_WINDOWS32))
    if f[9] != VFT_APP:
        problems.append("version block: file type %d, expected %d"
                        % (f[9], VFT_APP))
    by_key = {}
    for child in children:
        by_key.setdefault(child[0], []).append(child)
    tables = [t for c in by_key.get("StringFileInfo", []) for t in c[2]]
    if len(tables) != 1:
        problems.append("version block: %d string tables, expected 1"
                        % len(tables))
    for table_key, _, strings in tables:
        try:
            number = int(table_key, 16) if len(table_key) == 8 else None
        except ValueError:
            number = None
        if number != STRING_TABLE:
            problems.append("version block: string table %r, expected %08X"
                            % (table_key, STRING_TABLE))
        got = {k: v for k, v, _ in strings}
        for k in sorted(set(got) | set(VERSION_STRINGS)):
            if got.get(k) != VERSION_STRINGS.get(k):
                problems.append("version block: %s is %r, expected %r"
                                % (k, got.get(k), VERSION_STRINGS.get(k)))
    translations = []
    for _, _, vars_ in by_key.get("VarFileInfo", []):
        for k, v, _ in vars_:
            if k == "Translation":
                words = struct.unpack("<%dH" % (len(v) // 2), v[:len(v) // 2 * 2])
                translations += list(zip(words[0::2], words[1::2]))
    if translations != TRANSLATIONS:
        problems.append("version block: translations %s, expected %s"
                        % ([(hex(a), b) for a, b in translations],
                           [(hex(a), b) for a, b in TRANSLATIONS]))


# --- The whole check --------------------------------------------------------------

def check(image):
    """The list of differences between the executable's resources and what
    it must carry; empty when they match."""
    problems = []
    try:
        resources = read_resources(image)
    except Malformed as e:
        return ["resource table: %s" % e]
    for r in resources:
        if r.lang != LANG_POLISH:
            problems.append("resource type %r, name %r: language %r, "
                            "expected %d" % (r.rtype, r.name, r.lang,
                                             LANG_POLISH))
    kinds = {RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION}
    for r in resources:
        if r.rtype not in kinds:
            problems.append("unexpected resource type %r, name %r"
                            % (r.rtype, r.name))
    dialogs = [r for r in resources if r.rtype == RT_DIALOG]
    for number in DIALOGS:
        found = [r for r in dialogs if r.name == number]
        if len(found) != 1:
            problems.append("dialog %d: %d templates, expected 1"
                            % (number, len(found)))
        if found:
            check_dialog(number, found[0], problems)
    for r in dialogs:
        if r.name not in DIALOGS:
            problems.append("unexpected dialog %r" % r.name)
    for r in resources:
        if r.rtype == RT_GROUP_ICON and r.name != ICON_GROUP:
            problems.append("unexpected icon group %r" % r.name)
    check_icons(resources, problems)
    check_version(resources, problems)
    return problems


def main(argv):
    args = argv[1:]
    if len(args) != 1:
        sys.stderr.write("usage: check_resources.py EXE\n")
        return 2
    with open(args[0], "rb") as f:
        image = f.read()
    problems = check(image)
    for p in problems:
        print("check_resources: %s" % p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
