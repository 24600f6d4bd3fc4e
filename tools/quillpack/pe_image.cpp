// Recognising the installer stub: the PE headers, the resource directory
// (type, then ID, then language, then a data entry) and the version block.
#include "tools/quillpack/pe_image.h"

#include <stdint.h>
#include <stdio.h>

#include <algorithm>

#include "base/names.h"
#include "base/resource.h"
#include "base/text.h"
#include "package/package.h"

static const uint32_t HEADER_OFFSET_AT = 0x3C;  // e_lfanew in the MZ header
static const uint32_t FILE_HEADER_SIZE = 20;    // IMAGE_FILE_HEADER after "PE\0\0"
static const uint16_t MACHINE_I386 = 0x14C;
static const uint16_t PE32_MAGIC = 0x10B;       // the optional header of a 32-bit image
static const uint32_t RVA_COUNT_AT = 92;        // NumberOfRvaAndSizes in that header
static const uint32_t RESOURCE_TABLE_AT = 112;  // data directory 2: RVA and size of the resources
static const uint32_t SECTION_HEADER_SIZE = 40;
static const uint32_t DIRECTORY_SIZE = 16;      // IMAGE_RESOURCE_DIRECTORY, entries follow
static const uint32_t DIRECTORY_ENTRY_SIZE = 8;
static const uint32_t DATA_ENTRY_SIZE = 16;     // IMAGE_RESOURCE_DATA_ENTRY
static const uint32_t SUBDIRECTORY = 0x80000000;  // high bit: a name, or a subdirectory
static const uint32_t ANY_ID = 0x10000;
static const uint32_t RT_DIALOG_TYPE = 5;
static const uint32_t RT_VERSION_TYPE = 16;
static const uint32_t VERSION_NODE_HEADER = 6;  // wLength, wValueLength, wType

// What app/quillfen.rc gives the installer, and no other program has.
static const char PRODUCT_NAME_KEY[] = "ProductName";
static const char PRODUCT_NAME[] = PRODUCT_NAME_TEXT;
static const uint32_t DIALOGS[] = {IDD_AGREEMENT, IDD_DESTINATION};

// The little-endian 32-bit word at offset at of data.
static uint32_t wordAt(const Bytes &data, size_t at)
{
    return data[at] | (data[at + 1] << 8) | (data[at + 2] << 16) | ((uint32_t)data[at + 3] << 24);
}

static uint16_t halfAt(const Bytes &data, size_t at)
{
    return (uint16_t)(data[at] | (data[at + 1] << 8));
}

// True when length bytes from offset at lie inside size bytes.
static bool fits(uint64_t size, uint64_t at, uint64_t length)
{
    return at <= size && length <= size - at;
}

static size_t align4(size_t at)
{
    return (at + 3) & ~(size_t)3;
}

// The resources as they lie in the file: from the root directory to the end
// of the section holding it. Directory offsets count from start; data
// entries give RVAs, rva is the RVA of start.
struct ResourceArea {
    size_t start;
    size_t size;
    uint32_t rva;
};

// Finds the resource area of a PE32 image that peImageProblem has passed.
// False when the image has no resources, or when any section's data does not
// lie whole inside the file (a stub cut short).
static bool findResources(const Bytes &image, ResourceArea &area)
{
    uint32_t header = wordAt(image, HEADER_OFFSET_AT);
    uint64_t optional = (uint64_t)header + 4 + FILE_HEADER_SIZE;
    uint16_t sections = halfAt(image, header + 6);
    uint16_t optionalSize = halfAt(image, header + 20);
    if (optionalSize < RESOURCE_TABLE_AT + 8 || !fits(image.size(), optional, optionalSize) ||
        halfAt(image, optional) != PE32_MAGIC || wordAt(image, optional + RVA_COUNT_AT) < 3)
        return false;
    uint32_t rva = wordAt(image, optional + RESOURCE_TABLE_AT);
    bool found = false;
    for (uint32_t i = 0; i < sections; i++) {
        uint64_t at = optional + optionalSize + (uint64_t)i * SECTION_HEADER_SIZE;
        if (!fits(image.size(), at, SECTION_HEADER_SIZE))
            return false;
        uint32_t address = wordAt(image, at + 12), rawSize = wordAt(image, at + 16);
        uint32_t raw = wordAt(image, at + 20);
        if (!fits(image.size(), raw, rawSize))
            return false;
        if (rva != 0 && rva >= address && rva - address < rawSize) {
            area = {raw + (size_t)(rva - address), rawSize - (size_t)(rva - address), rva};
            found = true;
        }
    }
    return found;
}

// The OffsetToData word of the entry with ID id (ANY_ID: the first ID
// entry) in the directory at offset directory of area.
static bool directoryEntry(const Bytes &image, const ResourceArea &area, uint32_t directory,
                           uint32_t id, uint32_t &value)
{
    if (!fits(area.size, directory, DIRECTORY_SIZE))
        return false;
    uint32_t named = halfAt(image, area.start + directory + 12);
    uint32_t ids = halfAt(image, area.start + directory + 14);
    for (uint32_t i = named; i < named + ids; i++) {
        uint64_t entry = (uint64_t)directory + DIRECTORY_SIZE + (uint64_t)i * DIRECTORY_ENTRY_SIZE;
        if (!fits(area.size, entry, DIRECTORY_ENTRY_SIZE))
            return false;
        uint32_t name = wordAt(image, area.start + entry);
        if (!(name & SUBDIRECTORY) && (id == ANY_ID || name == id)) {
            value = wordAt(image, area.start + entry + 4);
            return true;
        }
    }
    return false;
}

// The bytes of the resource type/id in its first language.
static bool findResource(const Bytes &image, const ResourceArea &area, uint32_t type,
                         uint32_t id, Bytes &data)
{
    uint32_t names, languages, entry;
    if (!directoryEntry(image, area, 0, type, names) || !(names & SUBDIRECTORY) ||
        !directoryEntry(image, area, names & ~SUBDIRECTORY, id, languages) ||
        !(languages & SUBDIRECTORY) ||
        !directoryEntry(image, area, languages & ~SUBDIRECTORY, ANY_ID, entry) ||
        (entry & SUBDIRECTORY) || !fits(area.size, entry, DATA_ENTRY_SIZE))
        return false;
    uint32_t rva = wordAt(image, area.start + entry), size = wordAt(image, area.start + entry + 4);
    if (rva < area.rva || !fits(area.size, rva - area.rva, size))
        return false;
    const unsigned char *at = image.data() + area.start + (rva - area.rva);
    data.assign(at, at + size);
    return true;
}

// One node of a version block: wLength, wValueLength, wType, the key in
// UTF-16 with its NUL, padding to 32 bits, the value, padding, the children.
// Offsets count from the start of the block.
struct VersionNode {
    std::string key;    // the key's characters, '?' for any beyond ASCII
    size_t value;       // where the value starts
    size_t children;    // where the first child starts
    size_t end;         // where the node ends
};

// Reads the node at offset at, which must end by limit.
static bool readNode(const Bytes &block, size_t at, size_t limit, VersionNode &node)
{
    if (!fits(limit, at, VERSION_NODE_HEADER))
        return false;
    uint16_t length = halfAt(block, at), valueLength = halfAt(block, at + 2);
    bool text = halfAt(block, at + 4) == 1;
    if (length < VERSION_NODE_HEADER || !fits(limit, at, length))
        return false;
    node.end = at + length;
    node.key.clear();
    size_t p = at + VERSION_NODE_HEADER;
    for (;; p += 2) {
        if (!fits(node.end, p, 2))
            return false;
        uint16_t c = halfAt(block, p);
        if (c == 0)
            break;
        node.key += c < 0x80 ? (char)c : '?';
    }
    node.value = std::min(align4(p + 2), node.end);
    node.children = std::min(align4(node.value + (text ? 2 * (size_t)valueLength : valueLength)), node.end);
    return true;
}

// The text value of a node, up to its NUL or the node's end.
static std::string nodeText(const Bytes &block, const VersionNode &node)
{
    std::string text;
    for (size_t p = node.value; fits(node.end, p, 2) && halfAt(block, p) != 0; p += 2)
        text += halfAt(block, p) < 0x80 ? (char)halfAt(block, p) : '?';
    return text;
}

// The string key of any string table of the block's StringFileInfo.
static bool versionString(const Bytes &block, const char *key, std::string &value)
{
    VersionNode root, info, table, entry;
    if (!readNode(block, 0, block.size(), root))
        return false;
    for (size_t i = root.children; readNode(block, i, root.end, info); i = align4(info.end)) {
        if (info.key != "StringFileInfo")
            continue;
        for (size_t t = info.children; readNode(block, t, info.end, table); t = align4(table.end))
            for (size_t e = table.children; readNode(block, e, table.end, entry); e = align4(entry.end))
                if (entry.key == key) {
                    value = nodeText(block, entry);
                    return true;
                }
    }
    return false;
}

std::string peImageProblem(const Bytes &image)
{
    if (image.size() < HEADER_OFFSET_AT + 4 || image[0] != 'M' || image[1] != 'Z')
        return "not a Windows program (no MZ header)";
    uint32_t header = wordAt(image, HEADER_OFFSET_AT);
    if (header < HEADER_OFFSET_AT + 4 || header > image.size() - 4 - FILE_HEADER_SIZE)
        return "not a Windows program (PE header offset out of range)";
    if (image[header] != 'P' || image[header + 1] != 'E' || image[header + 2] != 0 ||
        image[header + 3] != 0)
        return "not a Windows program (no PE signature)";
    uint16_t machine = (uint16_t)(image[header + 4] | (image[header + 5] << 8));
    if (machine != MACHINE_I386) {
        char text[64];
        snprintf(text, sizeof text, "not a 32-bit x86 Windows program (machine 0x%X)", machine);
        return text;
    }
    return "";
}

std::string stubProblem(const Bytes &image)
{
    std::string problem = peImageProblem(image);
    if (!problem.empty())
        return problem;
    const std::string expected = std::string("not a quillfen installer stub (expected a version block with ") +
                                 PRODUCT_NAME_KEY + " \"" + PRODUCT_NAME + "\"; found ";
    ResourceArea area;
    Bytes block;
    std::string product;
    if (!findResources(image, area) || !findResource(image, area, RT_VERSION_TYPE, ANY_ID, block))
        return expected + "none)";
    if (!versionString(block, PRODUCT_NAME_KEY, product))
        return expected + "a version block without it)";
    if (product != PRODUCT_NAME)
        return expected + PRODUCT_NAME_KEY + " \"" + product + "\")";
    for (uint32_t dialog : DIALOGS) {
        Bytes ignored;
        if (!findResource(image, area, RT_DIALOG_TYPE, dialog, ignored))
            return "not a quillfen installer stub (expected the dialog templates " +
                   std::to_string(IDD_AGREEMENT) + " and " + std::to_string(IDD_DESTINATION) + "; found no " +
                   std::to_string(dialog) + ")";
    }
    return "";
}

bool carriesPackage(const char *path)
{
    int32_t before = openPackageCount;
    openPackage(path);
    if (openPackageCount == before)
        return false;
    const PackageRecord &record = openPackages[openPackageCount - 1];
    bool installer = record.entryCount > 0 &&
                     equalsIgnoreAsciiCase(record.entries[0].name, UNINSTALLER_NAME);
    closePackage(path);
    return installer;
}
