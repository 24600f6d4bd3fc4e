#include "support/stub_image.h"

#include <string.h>

#include <map>
#include <string>

// value, little-endian, in the given number of bytes at data[at].
static void put(Bytes &data, size_t at, size_t value, int bytes = 4)
{
    for (int i = 0; i < bytes; i++)
        data[at + i] = (unsigned char)(value >> (8 * i));
}

static void append(Bytes &data, const Bytes &more)
{
    data.insert(data.end(), more.begin(), more.end());
}

static Bytes utf16(const std::string &text)
{
    Bytes out;
    for (char c : text + '\0')
        append(out, {(unsigned char)c, 0});
    return out;
}

// One node of a version block: wLength, wValueLength, wType, the key,
// padding, the value (text in UTF-16, else bytes), padding, the children.
static Bytes versionNode(const std::string &key, const Bytes &value, bool text,
                         const std::vector<Bytes> &children = {})
{
    Bytes node(6);
    append(node, utf16(key));
    node.resize((node.size() + 3) & ~3u);
    append(node, value);
    node.resize((node.size() + 3) & ~3u);
    for (const Bytes &child : children)
        append(node, child);
    put(node, 0, node.size(), 2);
    put(node, 2, text ? value.size() / 2 : value.size(), 2);
    put(node, 4, text ? 1 : 0, 2);
    return node;
}

Bytes versionBlock(const char *productName)
{
    std::map<std::string, std::string> strings = {{"CompanyName", "Brakmoor"}, {"InternalName", "Quillfen"}};
    if (productName)
        strings["ProductName"] = productName;
    std::vector<Bytes> entries;
    for (const auto &s : strings)
        entries.push_back(versionNode(s.first, utf16(s.second), true));
    Bytes fixed(52);
    put(fixed, 0, 0xFEEF04BD);
    return versionNode("VS_VERSION_INFO", fixed, false,
                       {versionNode("StringFileInfo", {}, true, {versionNode("040E04B0", {}, true, entries)})});
}

// A PE32 image for i386 with one section, .rsrc at RVA 0x1000 and file
// offset 0x200: root directory, one directory per type and per ID, one
// language (0x40E) each, the data entries, then the data.
Bytes peWithResources(const std::vector<Resource> &resources)
{
    const size_t RVA = 0x1000, FILE_AT = 0x200;
    std::map<uint16_t, std::vector<const Resource *>> types;
    for (const Resource &r : resources)
        types[r.type].push_back(&r);
    Bytes rsrc;
    auto directory = [&rsrc](size_t count) {
        size_t at = rsrc.size();
        rsrc.resize(at + 16 + 8 * count);
        put(rsrc, at + 14, count, 2);
        return at;
    };
    std::vector<std::pair<size_t, const Resource *>> leaves;
    size_t root = directory(types.size()), t = 0;
    for (const auto &type : types) {
        size_t ids = directory(type.second.size());
        put(rsrc, root + 16 + 8 * t, type.first);
        put(rsrc, root + 20 + 8 * t++, 0x80000000 | ids);
        for (size_t i = 0; i < type.second.size(); i++) {
            size_t languages = directory(1);
            put(rsrc, ids + 16 + 8 * i, type.second[i]->id);
            put(rsrc, ids + 20 + 8 * i, 0x80000000 | languages);
            leaves.push_back({languages, type.second[i]});
        }
    }
    for (auto &leaf : leaves) {
        size_t entry = rsrc.size();
        rsrc.resize(entry + 16);
        put(rsrc, leaf.first + 16, 0x40E);
        put(rsrc, leaf.first + 20, entry);
        leaf.first = entry;
    }
    for (const auto &leaf : leaves) {
        rsrc.resize((rsrc.size() + 3) & ~3u);
        put(rsrc, leaf.first, RVA + rsrc.size());
        put(rsrc, leaf.first + 4, leaf.second->data.size());
        append(rsrc, leaf.second->data);
    }
    Bytes image(FILE_AT);
    memcpy(&image[0], "MZ", 2);
    image[0x3C] = 0x40;
    memcpy(&image[0x40], "PE", 2);
    put(image, 0x44, 0x14C, 2);      // machine
    put(image, 0x46, 1, 2);          // sections
    put(image, 0x54, 0xE0, 2);       // optional header size
    put(image, 0x58, 0x10B, 2);      // PE32
    put(image, 0x58 + 92, 16);       // data directories
    put(image, 0x58 + 112, RVA);     // resources
    put(image, 0x58 + 116, rsrc.size());
    const size_t section = 0x58 + 0xE0;
    put(image, section + 8, rsrc.size());
    put(image, section + 12, RVA);
    put(image, section + 16, rsrc.size());
    put(image, section + 20, FILE_AT);
    append(image, rsrc);
    return image;
}

Bytes stubImage()
{
    return peWithResources({{5, 101, {1, 2, 3}}, {5, 102, {4, 5}}, {16, 1, versionBlock("Brakmoor Quillfen")}});
}

