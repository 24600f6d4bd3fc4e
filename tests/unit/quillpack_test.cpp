// quillpack: installers it builds read back through the package layer, the
// build's refusals, and list, verify and extract on installers made by hand.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "package/gz_reader.h"
#include "package/integrity.h"
#include "package/package.h"
#include "support/package_builder.h"
#include "support/temp_dir.h"
#include "tools/quillpack/addon_script.h"
#include "tools/quillpack/pe_image.h"
#include "tools/quillpack/quillpack.h"

namespace fs = std::filesystem;

// The least that passes the stub check: "MZ", e_lfanew 0x40, "PE\0\0",
// machine 0x14C, padding.
static Bytes fakeStub()
{
    Bytes stub(0x80, 0);
    stub[0] = 'M';
    stub[1] = 'Z';
    stub[0x3C] = 0x40;
    stub[0x40] = 'P';
    stub[0x41] = 'E';
    stub[0x44] = 0x4C;
    stub[0x45] = 0x01;
    return stub;
}

static void put16(Bytes &data, size_t at, size_t value)
{
    data[at] = (unsigned char)value;
    data[at + 1] = (unsigned char)(value >> 8);
}

static void put32(Bytes &data, size_t at, size_t value)
{
    put16(data, at, value & 0xFFFF);
    put16(data, at + 2, value >> 16);
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
    put16(node, 0, node.size());
    put16(node, 2, text ? value.size() / 2 : value.size());
    put16(node, 4, text ? 1 : 0);
    return node;
}

// A version block with one string table of these strings.
static Bytes versionBlock(const std::map<std::string, std::string> &strings)
{
    std::vector<Bytes> entries;
    for (const auto &s : strings)
        entries.push_back(versionNode(s.first, utf16(s.second), true));
    Bytes fixed(52);
    put32(fixed, 0, 0xFEEF04BD);
    return versionNode("VS_VERSION_INFO", fixed, false,
                       {versionNode("StringFileInfo", {}, true, {versionNode("040E04B0", {}, true, entries)})});
}

struct Resource {
    uint16_t type, id;
    Bytes data;
};

// A PE32 image for i386 with one section, .rsrc at RVA 0x1000 and file
// offset 0x200: root directory, one directory per type and per ID, one
// language (0x40E) each, the data entries, then the data.
static Bytes peWithResources(const std::vector<Resource> &resources)
{
    const size_t RVA = 0x1000, FILE_AT = 0x200;
    std::map<uint16_t, std::vector<const Resource *>> types;
    for (const Resource &r : resources)
        types[r.type].push_back(&r);
    Bytes rsrc;
    auto directory = [&rsrc](size_t count) {
        size_t at = rsrc.size();
        rsrc.resize(at + 16 + 8 * count);
        put16(rsrc, at + 14, count);
        return at;
    };
    std::vector<std::pair<size_t, const Resource *>> leaves;
    size_t root = directory(types.size()), t = 0;
    for (const auto &type : types) {
        size_t ids = directory(type.second.size());
        put32(rsrc, root + 16 + 8 * t, type.first);
        put32(rsrc, root + 20 + 8 * t++, 0x80000000 | ids);
        for (size_t i = 0; i < type.second.size(); i++) {
            size_t languages = directory(1);
            put32(rsrc, ids + 16 + 8 * i, type.second[i]->id);
            put32(rsrc, ids + 20 + 8 * i, 0x80000000 | languages);
            leaves.push_back({languages, type.second[i]});
        }
    }
    for (auto &leaf : leaves) {
        size_t entry = rsrc.size();
        rsrc.resize(entry + 16);
        put32(rsrc, leaf.first + 16, 0x40E);
        put32(rsrc, leaf.first + 20, entry);
        leaf.first = entry;
    }
    for (const auto &leaf : leaves) {
        rsrc.resize((rsrc.size() + 3) & ~3u);
        put32(rsrc, leaf.first, RVA + rsrc.size());
        put32(rsrc, leaf.first + 4, leaf.second->data.size());
        append(rsrc, leaf.second->data);
    }
    Bytes image(FILE_AT);
    image[0] = 'M';
    image[1] = 'Z';
    image[0x3C] = 0x40;
    image[0x40] = 'P';
    image[0x41] = 'E';
    put16(image, 0x44, 0x14C);       // machine
    put16(image, 0x46, 1);           // sections
    put16(image, 0x54, 0xE0);        // optional header size
    put16(image, 0x58, 0x10B);       // PE32
    put32(image, 0x58 + 92, 16);     // data directories
    put32(image, 0x58 + 112, RVA);   // resources
    put32(image, 0x58 + 116, rsrc.size());
    const size_t section = 0x58 + 0xE0;
    put32(image, section + 8, rsrc.size());
    put32(image, section + 12, RVA);
    put32(image, section + 16, rsrc.size());
    put32(image, section + 20, FILE_AT);
    append(image, rsrc);
    return image;
}

static const std::map<std::string, std::string> QUILLFEN_STRINGS = {
    {"CompanyName", "Brakmoor"}, {"InternalName", "Quillfen"}, {"ProductName", "Brakmoor Quillfen"}};

// What the stub check asks for: the version block and dialogs 101 and 102.
static Bytes quillfenStub()
{
    return peWithResources({{5, 101, {1, 2, 3}}, {5, 102, {4, 5}}, {16, 1, versionBlock(QUILLFEN_STRINGS)}});
}

// A member of "abc" in one stored deflate block, header OS 3 instead of 11.
static const char ABC_MEMBER[] = "1f 8b 08 00 00 00 00 00 00 03 01 03 00 fc ff 61 62 63 "
                                 "c2 41 24 35 03 00 00 00";

struct AddonFile {
    std::string path;   // below the add-on folder, '/' separated
    Bytes data;
};

class QuillpackTest : public TempDirTest {
protected:
    // Writes the stub and the add-on folder: quillfen.ini (unless script is
    // null), Umowa.txt (when agreement) and files.
    void writeAddon(const char *script, const std::vector<AddonFile> &files, bool agreement = true)
    {
        fs::remove_all("addon");
        fs::create_directories("addon");
        writeFile("stub.exe", quillfenStub());
        if (script)
            writeFile("addon/quillfen.ini", bytesOf(script));
        if (agreement)
            writeFile("addon/Umowa.txt", bytesOf("Umowa\n\xb9\n"));
        for (const AddonFile &f : files) {
            fs::create_directories(fs::path("addon/" + f.path).parent_path());
            writeFile("addon/" + f.path, f.data);
        }
    }
    bool build(std::string &error, const char *output = "setup.exe",
               uint64_t limit = MAX_PACKAGE_BYTES, unsigned threads = 0)
    {
        BuildOptions options;
        options.stubPath = "stub.exe";
        options.addonDir = "addon";
        options.outputPath = output;
        options.maxPackageBytes = limit;
        options.threads = threads;
        return buildInstaller(options, error);
    }
};

static Bytes readEntry(const char *name)
{
    PackageFile file = pfOpen(name, "rb");
    EXPECT_TRUE(file && !isOrdinaryStream(file)) << name;
    Bytes data(1 << 20);
    data.resize(file ? pfRead(data.data(), 1, data.size(), file) : 0);
    return data;
}

static Bytes unpackEntry(const char *name)
{
    GzReader *reader = gzReaderOpen(name, "rb");
    EXPECT_TRUE(reader) << name;
    Bytes data(1 << 20);
    int32_t n = reader ? gzReaderRead(reader, data.data(), (uint32_t)data.size()) : -1;
    EXPECT_GE(n, 0) << name;
    EXPECT_EQ(0, gzReaderClose(reader)) << name;
    data.resize(n > 0 ? (size_t)n : 0);
    return data;
}

TEST_F(QuillpackTest, BuiltInstallerReadsBackThroughThePackageLayer)
{
    const char SCRIPT[] = "; maps\nCOPY 'MAPS\\North.MAP' 'Maps\\north.map' 70000\n"
                          "COPY 'docs\\readme.txt.gz' 'readme.txt' 5\r\n"
                          "COPY 'Data\\pre.bin.gz' 'pre.bin' 3\n"
                          "COPY 'odd.GZ' 'odd' 2\n"
                          "COPY 'maps\\north.map' 'Maps\\copy.map' 70000\n"
                          "COPY 'empty.dat' 'empty.dat' 0";
    const char STORED[] = "; maps\r\nCOPY 'MAPS\\North.MAP' 'Maps\\north.map' 70000\r\n"
                          "COPY 'docs\\readme.txt.gz' 'readme.txt' 5\r\n"
                          "COPY 'Data\\pre.bin.gz' 'pre.bin' 3\r\n"
                          "COPY 'odd.GZ' 'odd' 2\r\n"
                          "COPY 'maps\\north.map' 'Maps\\copy.map' 70000\r\n"
                          "COPY 'empty.dat' 'empty.dat' 0";
    Bytes map(70000);          // more than one 64 KiB read of the compressor
    for (size_t i = 0; i < map.size(); i++)
        map[i] = (unsigned char)((i * 7) ^ (i >> 9));
    writeAddon(SCRIPT,
               {{"Maps/north.map", map}, {"Docs/readme.txt", bytesOf("read\n")},
                {"Data/pre.bin.gz", hexBytes(ABC_MEMBER)}, {"odd.GZ", bytesOf("ok")},
                {"empty.dat", {}}});
    std::string error;
    ASSERT_TRUE(build(error)) << error;
    EXPECT_FALSE(fs::exists("setup.exe.partial"));

    Bytes file = readFile("setup.exe");
    ASSERT_NE(0, openPackage("setup.exe"));
    const PackageRecord &p = openPackages[openPackageCount - 1];
    const char *names[] = {"quillfen.exe", "quillfen.ini", "umowa.txt", "MAPS\\North.MAP.gz",
                           "docs\\readme.txt.gz", "Data\\pre.bin.gz", "odd.GZ.gz", "empty.dat.gz", "quillfen.crc"};
    ASSERT_EQ(9, p.entryCount);
    for (int i = 0; i < 9; i++) {
        EXPECT_STREQ(names[i], p.entries[i].name);
        EXPECT_EQ(0u, p.entries[i].rawLength);
    }
    EXPECT_EQ(0u, p.entries[0].offset);
    EXPECT_EQ(9u, wordAt(file, wordAt(file, file.size() - 4)));   // last word -> count
    EXPECT_TRUE(checksumMatches(&p));
    EXPECT_EQ(quillfenStub(), readEntry("quillfen.exe"));
    EXPECT_EQ(bytesOf(STORED), readEntry("quillfen.ini"));
    EXPECT_EQ(bytesOf("Umowa\r\n\xb9\r\n"), readEntry("Umowa.txt"));
    EXPECT_EQ(map, unpackEntry("maps\\north.map.gz"));
    EXPECT_EQ(bytesOf("read\n"), unpackEntry("docs/readme.txt.gz"));
    EXPECT_EQ(bytesOf("abc"), unpackEntry("data\\pre.bin.gz"));    // compressed again
    EXPECT_EQ(bytesOf("ok"), unpackEntry("odd.GZ.gz"));
    EXPECT_EQ(Bytes(), unpackEntry("empty.dat.gz"));
    for (const char *built :
         {"maps\\north.map.gz", "docs\\readme.txt.gz", "data\\pre.bin.gz", "odd.GZ.gz", "empty.dat.gz"}) {
        Bytes head = readEntry(built);
        head.resize(10);
        EXPECT_EQ(hexBytes("1f 8b 08 00 00 00 00 00 00 0b"), head) << built;
    }
    std::vector<std::string> problems;
    EXPECT_TRUE(verifyInstaller("setup.exe", problems)) << (problems.empty() ? "" : problems[0]);
}

TEST_F(QuillpackTest, SameBytesWhateverTheThreadCount)
{
    // Files of many sizes, a gzip member, and one file above the size the
    // workers compress in memory, which is compressed as it is written.
    std::string script;
    std::vector<AddonFile> files = {{"pre.bin.gz", hexBytes(ABC_MEMBER)}};
    for (int i = 0; i < 60; i++) {
        Bytes data((size_t)(i * i * 37 % 20000));
        for (size_t j = 0; j < data.size(); j++)
            data[j] = (unsigned char)("quillfen"[j % 8] + (j * i >> 7));
        files.push_back({"f/" + std::to_string(i), data});
        script += "COPY 'f\\" + std::to_string(i) + "' 'f" + std::to_string(i) + "' " + std::to_string(data.size()) + "\n";
    }
    Bytes large(9 << 20);
    for (size_t j = 0; j < large.size(); j++)
        large[j] = (unsigned char)(j >> 12);
    files.push_back({"large.dat", large});
    script += "COPY 'large.dat' 'large.dat' 9437184\nCOPY 'pre.bin.gz' 'pre.bin' 3\n";
    writeAddon(script.c_str(), files);
    std::string error;
    ASSERT_TRUE(build(error, "one.exe", MAX_PACKAGE_BYTES, 1)) << error;
    for (unsigned threads : {2u, 7u}) {
        ASSERT_TRUE(build(error, "more.exe", MAX_PACKAGE_BYTES, threads)) << error;
        EXPECT_EQ(readFile("one.exe"), readFile("more.exe")) << threads << " threads";
    }
    std::vector<std::string> problems;
    EXPECT_TRUE(verifyInstaller("more.exe", problems)) << (problems.empty() ? "" : problems[0]);
}

TEST_F(QuillpackTest, SameInputsGiveTheSameBytesAndReplaceTheOutput)
{
    writeAddon("COPY 'a.txt' 'a.txt' 12\n", {{"a.txt", bytesOf("hello hello\n")}});
    writeFile("setup.exe", bytesOf("an older installer"));
    std::string error;
    ASSERT_TRUE(build(error)) << error;
    Bytes first = readFile("setup.exe");
    ASSERT_TRUE(build(error)) << error;
    EXPECT_EQ(first, readFile("setup.exe"));
    ASSERT_TRUE(build(error, "again.exe")) << error;
    EXPECT_EQ(first, readFile("again.exe"));
}

struct BuildFailure {
    const char *behaviour;
    const char *script;                 // null: no quillfen.ini
    const char *expected;               // phrase of the error
    std::vector<AddonFile> files = {};  // besides a.txt ("hello\n") and Umowa.txt
    Bytes stub = {};                    // empty: quillfenStub()
    bool agreement = true;
    uint64_t limit = MAX_PACKAGE_BYTES;
};

TEST_F(QuillpackTest, BadInputIsRefusedAndLeavesTheOutputAlone)
{
    // 260 characters after "COPY '", one more than the installer's buffer takes.
    const std::string longLine = "COPY 'a.txt' '" + std::string(248, 'x') + "' 6\n";
    const BuildFailure rows[] = {
        {"size differs", "; sizes\nCOPY 'a.txt' 'a.txt' 7\n", "quillfen.ini:2: size 7 on the line differs from 6"},
        {"payload missing", "COPY 'b.txt' 'b.txt' 1\n", "quillfen.ini:1: no file 'b.txt' or 'b.txt.gz'"},
        {"name unclosed", "COPY 'a.txt\n", "quillfen.ini:1: the entry name has no closing apostrophe"},
        {"two blanks", "COPY 'a.txt'  'a.txt' 6\n", "quillfen.ini:1: expected one character and an apostrophe"},
        {"destination unclosed", "COPY 'a.txt' 'a.txt 6\n", "quillfen.ini:1: the destination has no closing"},
        {"no size", "COPY 'a.txt' 'a.txt'\n", "quillfen.ini:1: no size"},
        {"size a word", "COPY 'a.txt' 'a.txt' six\n", "no size after the destination"},
        {"size negative", "COPY 'a.txt' 'a.txt' -6\n", "no size after the destination"},
        {"size too big", "COPY 'a.txt' 'a.txt' 4294967296\n", "up to 4294967295"},
        {"line too long", longLine.c_str(), "is 260 characters long"},
        {"absolute", "COPY 'a.txt' '\\a.txt' 6\n", "destination '\\a.txt' is absolute"},
        {"absolute slash", "COPY 'a.txt' '/a.txt' 6\n", "destination '/a.txt' is absolute"},
        {"drive", "COPY 'a.txt' 'c:a.txt' 6\n", "destination 'c:a.txt' holds a ':'"},
        {"colon inside", "COPY 'a.txt' 'Maps\\a:b' 6\n", "destination 'Maps\\a:b' holds a ':'"},
        {"device", "COPY 'a.txt' 'd\\nul.txt' 6\n", "names a device"},
        {"trailing dot", "COPY 'a.txt' 'Games..\\a.txt' 6\n", "ends in '.' or a blank"},
        {"group outside", "GROUP= \"..\\..\\Up\"\n", "quillfen.ini:1: group '..\\..\\Up' has a '..'"},
        {"link outside", "; x\nDESK= \"a\" \"..\\Victim\"\n", "quillfen.ini:2: link name '..\\Victim' has a '..'"},
        {"parent", "COPY 'a.txt' 'x\\..\\..\\a.txt' 6\n", "has a '..' component"},
        {"empty destination", "COPY 'a.txt' '' 6\n", "destination '' is empty"},
        {"over the uninstaller", "COPY 'a.txt' 'Quillfen.exe' 6\n", "uninstaller copy"},
        {"DIR outside", "DIR '..\\up'\n", "quillfen.ini:1: folder '..\\up' has a '..'"},
        {"slash in name", "COPY 'x/a.txt' 'a.txt' 6\n", "entry name 'x/a.txt' contains '/'"},
        {"dots in name", "COPY '..\\a.txt' 'a.txt' 6\n", "contains '..'"},
        {"rooted name", "COPY '\\a.txt' 'a.txt' 6\n", "entry name '\\a.txt' starts with '\\'"},
        {"no script", nullptr, "addon: no quillfen.ini"},
        {"no agreement", "", "addon: no Umowa.txt", {}, {}, false},
        {"member and source", "COPY 'a.txt' 'a.txt' 6\n", "keep one", {{"a.txt.gz", hexBytes(ABC_MEMBER)}}},
        {"bad member", "COPY 'b.gz' 'b' 3\n", "b.gz: not a valid gzip member", {{"b.gz", bytesOf("abc")}}},
        {"member with more", "COPY 'b.gz' 'b' 3\n", "bytes follow the gzip member",
         {{"b.gz", hexBytes((std::string(ABC_MEMBER) + " 00").c_str())}}},
        {"member's CRC wrong", "COPY 'b.gz' 'b' 3\n", "b.gz: not a valid gzip member (incorrect data check)",
         {{"b.gz", hexBytes("1f 8b 08 00 00 00 00 00 00 03 01 03 00 fc ff 61 62 63 c2 41 24 36 03 00 00 00")}}},
        {"member's length wrong", "COPY 'b.gz' 'b' 3\n", "b.gz: not a valid gzip member (incorrect length check)",
         {{"b.gz", hexBytes("1f 8b 08 00 00 00 00 00 00 03 01 03 00 fc ff 61 62 63 c2 41 24 35 04 00 00 00")}}},
        {"member cut short", "COPY 'b.gz' 'b' 3\n", "b.gz: the gzip member is cut short",
         {{"b.gz", hexBytes("1f 8b 08 00 00 00 00 00 00 03 01 03 00 fc ff 61 62")}}},
        {"stub not PE", "", "stub.exe: not a Windows program", {}, bytesOf("MZ but nothing else")},
        {"stub an installer", "", "stub.exe: already an installer", {}, buildPackage(quillfenStub(), {})},
        {"stub another program", "", "stub.exe: not a quillfen installer stub (expected a version block "
         "with ProductName \"Brakmoor Quillfen\"; found none)", {}, fakeStub()},
        {"too big", "COPY 'a.txt' 'a.txt' 6\n", "grow past 200 bytes", {}, {}, true, 200},
#ifndef _WIN32
        {"case twins", "COPY 'A.TXT' 'a.txt' 6\n", "cannot tell them apart", {{"A.txt", bytesOf("hello\n")}}},
#endif
    };
    for (const BuildFailure &row : rows) {
        std::vector<AddonFile> files = row.files;
        files.push_back({"a.txt", bytesOf("hello\n")});
        writeAddon(row.script, files, row.agreement);
        if (!row.stub.empty())
            writeFile("stub.exe", row.stub);
        writeFile("setup.exe", bytesOf("old"));
        std::string error;
        EXPECT_FALSE(build(error, "setup.exe", row.limit)) << row.behaviour;
        EXPECT_NE(std::string::npos, error.find(row.expected)) << row.behaviour << ": " << error;
        EXPECT_EQ(bytesOf("old"), readFile("setup.exe")) << row.behaviour;
        EXPECT_FALSE(fs::exists("setup.exe.partial")) << row.behaviour;
    }
    BuildOptions missing = {"stub.exe", "nowhere", "setup.exe"};
    std::string error;
    EXPECT_FALSE(buildInstaller(missing, error));
    EXPECT_EQ(0u, error.find("nowhere: ")) << error;
}

TEST_F(QuillpackTest, LinesAreCutAsTheInstallerReadsThem)
{
    struct Row {
        const char *behaviour;
        std::string script;
        int line;                 // 0: no COPY line found
        const char *entry, *destination;
        uint32_t size;
    } rows[] = {
        {"CR LF ends", "; c\r\nCOPY 'a b' 'c d' 12\r\n", 2, "a b", "c d", 12},
        {"any separator, tab, no final LF", "COPY 'a'x'b'\t4294967295", 1, "a", "b", 4294967295u},
        {"rest of 259 fits, CR not counted", "COPY 'a' '" + std::string(251, 'd') + "' 1\r\n", 1, "a", nullptr, 1},
        {"long line in pieces", ";" + std::string(1022, 'x') + "COPY 'p' 'q' 5\n", 1, "p", "q", 5},
        {"Ctrl-Z is an ordinary byte", "; x\n\x1a\nCOPY 'a' 'b' 3\n", 3, "a", "b", 3},
        {"keyword case and column", "copy 'a' 'b' 1\n COPY 'a' 'b' 1\n", 0, nullptr, nullptr, 0},
    };
    for (const Row &row : rows) {
        writeFile("script.ini", bytesOf(row.script));
        PackageFile file = pfOpenFile("script.ini", "rt");
        ASSERT_TRUE(file);
        std::vector<ScriptCopy> lines;
        std::string error;
        EXPECT_TRUE(readCopyLines(file, "s", lines, error)) << row.behaviour << error;
        pfClose(file);
        ASSERT_EQ(row.line ? 1u : 0u, lines.size()) << row.behaviour;
        if (!row.line)
            continue;
        EXPECT_EQ(row.line, lines[0].line) << row.behaviour;
        EXPECT_STREQ(row.entry, lines[0].copy.entryName) << row.behaviour;
        if (row.destination) {
            EXPECT_STREQ(row.destination, lines[0].copy.destination) << row.behaviour;
        }
        EXPECT_EQ(row.size, lines[0].copy.size) << row.behaviour;
    }
    EXPECT_EQ(0u, nulByteProblem(bytesOf(std::string("; x\n;\0\n", 6))).find("2: the line holds a NUL byte"));
    EXPECT_EQ("a.gz", lookupName("a.gz"));
    EXPECT_EQ("a.GZ.gz", lookupName("a.GZ"));     // the suffix test minds case
    EXPECT_EQ(".gz.gz", lookupName(".gz"));
    EXPECT_EQ(bytesOf("a\r\nb\r\n\r\n\rc\r\r\n"), withCrLf(bytesOf("a\nb\r\n\n\rc\r\r\n")));
}

TEST(QuillpackStub, OnlyI386WindowsProgramsPass)
{
    struct Row { const char *behaviour; size_t at; unsigned char value; const char *expected; } rows[] = {
        {"good", 0, 'M', ""},
        {"no MZ", 1, 'X', "no MZ header"},
        {"header beyond the file", 0x3C, 0x70, "offset out of range"},
        {"header inside the MZ fields", 0x3C, 0x20, "offset out of range"},
        {"no PE", 0x41, 'X', "no PE signature"},
        {"x64", 0x44, 0x64, "machine 0x164"},
    };
    for (const Row &row : rows) {
        Bytes stub = fakeStub();
        stub[row.at] = row.value;
        EXPECT_NE(std::string::npos, peImageProblem(stub).find(row.expected)) << row.behaviour;
        EXPECT_EQ(*row.expected == 0, peImageProblem(stub).empty()) << row.behaviour;
    }
    Bytes cut = fakeStub();
    cut.resize(0x50);           // the file header would end beyond the file
    EXPECT_NE("", peImageProblem(cut));
}

TEST(QuillpackStub, OnlyTheInstallersOwnResourcesPass)
{
    const std::string expected = "not a quillfen installer stub (expected a version block with ProductName "
                                 "\"Brakmoor Quillfen\"; found ";
    Bytes version = versionBlock(QUILLFEN_STRINGS);
    std::map<std::string, std::string> other = QUILLFEN_STRINGS;
    other["ProductName"] = "Brakmoor Uidriver";
    struct Row { const char *behaviour; std::vector<Resource> resources; std::string problem; } rows[] = {
        {"the installer's", {{5, 101, {1}}, {5, 102, {2}}, {16, 1, version}}, ""},
        {"no resources", {}, expected + "none)"},
        {"dialogs only", {{5, 101, {1}}, {5, 102, {2}}}, expected + "none)"},
        {"another product", {{5, 101, {1}}, {5, 102, {2}}, {16, 1, versionBlock(other)}},
         expected + "ProductName \"Brakmoor Uidriver\")"},
        {"no product name", {{5, 101, {1}}, {5, 102, {2}}, {16, 1, versionBlock({{"InternalName", "Quillfen"}})}},
         expected + "a version block without it)"},
        {"dialog 102 missing", {{5, 101, {1}}, {5, 103, {2}}, {16, 1, version}},
         "not a quillfen installer stub (expected the dialog templates 101 and 102; found no 102)"},
        {"101 only as a name", {{5, 102, {2}}, {16, 1, version}}, "found no 101"},
    };
    for (const Row &row : rows) {
        std::string problem = stubProblem(peWithResources(row.resources));
        EXPECT_NE(std::string::npos, problem.find(row.problem)) << row.behaviour << ": " << problem;
        EXPECT_EQ(row.problem.empty(), problem.empty()) << row.behaviour << ": " << problem;
    }
    EXPECT_EQ("not a Windows program (no MZ header)", stubProblem(bytesOf("MZ")));
}

TEST(QuillpackStub, EveryCutAndDamagedOffsetIsRefusedWithoutCrashing)
{
    const Bytes stub = quillfenStub();
    ASSERT_EQ("", stubProblem(stub));
    Bytes cut = stub;
    while (!cut.empty()) {
        cut.pop_back();
        EXPECT_NE("", stubProblem(cut)) << "cut to " << cut.size() << " bytes";
    }
    // Every byte of the headers and the resource section set to 0xFF and to
    // 0x00 in turn: refused or not, read within the image (the sanitizers
    // watch the reads).
    size_t refused = 0;
    for (size_t at = 0x3C; at < stub.size(); at++) {
        for (unsigned char value : {0x00, 0xFF}) {
            Bytes damaged = stub;
            damaged[at] = value;
            refused += !stubProblem(damaged).empty();
        }
    }
    EXPECT_GT(refused, 0u);
}

TEST(QuillpackStub, TheRealStubPassesAndEveryCutOfItIsRefused)
{
    const char *path = getenv("QUILLFEN_STUB");
    if (!path || !*path)
        GTEST_SKIP() << "QUILLFEN_STUB names no quillfen.exe";
    FILE *file = fopen(path, "rb");
    ASSERT_TRUE(file) << path << ": build the Windows build first";
    Bytes stub(1 << 20);
    stub.resize(fread(stub.data(), 1, stub.size(), file));
    fclose(file);
    ASSERT_EQ("", stubProblem(stub)) << path;
    size_t accepted = 0;
    for (Bytes cut = stub; !cut.empty();) {
        cut.pop_back();
        accepted += stubProblem(cut).empty();
    }
    EXPECT_EQ(0u, accepted) << "cuts of " << path << " taken for a whole stub";
}

TEST_F(QuillpackTest, ListShowsEveryEntryInAlignedColumns)
{
    writeFile("setup.exe", buildPackage(fakeStub(), {{"quillfen.ini", bytesOf("x")},
                                                     {"A.TXT.GZ", hexBytes(ABC_MEMBER)},
                                                     {"fake.gz", bytesOf("plain, not a member")},
                                                     {"raw.bin", bytesOf("abc"), 3}}));
    FILE *out = fopen("list.txt", "wb");
    std::string error;
    ASSERT_TRUE(listInstaller("setup.exe", out, error)) << error;
    fclose(out);
    EXPECT_EQ("name             offset       size        raw   unpacked\n"
              "quillfen.exe          0        128          0\n"
              "quillfen.ini        128          1          0\n"
              "A.TXT.GZ            129         26          0          3\n"
              "fake.gz             155         19          0\n"
              "raw.bin             174          3          3\n",
              std::string((const char *)readFile("list.txt").data(), readFile("list.txt").size()));

    Bytes cut = readFile("setup.exe");
    cut.pop_back();
    writeFile("cut.exe", cut);
    EXPECT_FALSE(listInstaller("cut.exe", stdout, error));
    EXPECT_EQ("cut.exe: not an installer or damaged package", error);
}

TEST_F(QuillpackTest, VerifyReportsWhatTheInstallerWouldTripOver)
{
    Bytes abc = hexBytes(ABC_MEMBER);
    Bytes badCrc = abc;
    badCrc[18] ^= 1;
    struct Row { const char *behaviour; std::string script; Bytes member; const char *expected; } rows[] = {
        {"good", "COPY 'a' 'a' 3\n", abc, nullptr},
        {"entry missing", "; x\nCOPY 'b' 'b' 3\n", abc, "quillfen.ini:2: no entry b.gz"},
        {"size differs", "COPY 'a' 'a' 4\n", abc, "quillfen.ini:1: a.gz unpacks to 3 bytes, the line says 4"},
        {"bad CRC", "COPY 'a.gz' 'a' 3\n", badCrc, "quillfen.ini:1: a.gz: "},
        {"member cut", "COPY 'a' 'a' 3\n", Bytes(abc.begin(), abc.begin() + 14), "quillfen.ini:1: a.gz: damaged gzip member"},
        {"bad line", "COPY 'a' 'a'\n", abc, "quillfen.ini:1: no size"},
    };
    for (const Row &row : rows) {
        writeFile("setup.exe", buildPackage(peImage(0x200), {{"quillfen.ini", bytesOf(row.script)},
                                                             {"a.gz", row.member}}));
        std::vector<std::string> problems;
        EXPECT_EQ(row.expected == nullptr, verifyInstaller("setup.exe", problems)) << row.behaviour;
        EXPECT_EQ(row.expected ? 1u : 0u, problems.size()) << row.behaviour;
        if (row.expected && !problems.empty()) {
            EXPECT_EQ(0u, problems[0].find(row.expected)) << row.behaviour << ": " << problems[0];
        }
    }
    std::vector<std::string> problems;
    writeFile("setup.exe", buildPackage(peImage(0x200), {}));
    EXPECT_FALSE(verifyInstaller("setup.exe", problems));
    EXPECT_NE(std::string::npos, problems.back().find("setup.exe: damaged"));
}

TEST_F(QuillpackTest, ExtractKeepsEveryNameInsideTheFolder)
{
    fs::create_directories("box");
    fs::current_path("box");
    writeFile("setup.exe", buildPackage(fakeStub(), {{"ok\\sub\\f.txt", bytesOf("inside")},
                                                     {"..\\evil1", bytesOf("x")},
                                                     {"C:\\evil2", bytesOf("x")},
                                                     {"\\evil3", bytesOf("x")},
                                                     {"ok\\..\\..\\evil4", bytesOf("x")},
                                                     {"raw.bin", bytesOf("abc"), 3}}));
    std::vector<std::string> problems;
    EXPECT_FALSE(extractInstaller("setup.exe", "out", problems));
    EXPECT_EQ(4u, problems.size());
    EXPECT_EQ(bytesOf("inside"), readFile("out/ok/sub/f.txt"));
    EXPECT_EQ(bytesOf("abc"), readFile("out/raw.bin"));
    EXPECT_EQ(fakeStub(), readFile("out/quillfen.exe"));
    EXPECT_FALSE(fs::exists("C:/evil2"));
    for (const auto &item : fs::recursive_directory_iterator(dir))
        EXPECT_EQ(std::string::npos, item.path().string().find("evil")) << item.path();
}
