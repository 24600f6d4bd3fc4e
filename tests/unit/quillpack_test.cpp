// quillpack: installers it builds read back through the package layer, the
// build's refusals, and list, verify and extract on installers made by hand.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "package/gz_reader.h"
#include "package/package.h"
#include "support/package_builder.h"
#include "support/stub_image.h"
#include "support/temp_dir.h"
#include "tools/quillpack/pe_image.h"
#include "tools/quillpack/quillpack.h"

namespace fs = std::filesystem;

// A member of "abc" in one stored deflate block, header OS 3 instead of 11.
static const char ABC_MEMBER[] = "1f 8b 08 00 00 00 00 00 00 03 01 03 00 fc ff 61 62 63 "
                                 "c2 41 24 35 03 00 00 00";

typedef std::vector<std::pair<std::string, Bytes>> AddonFiles;   // paths below the add-on folder, '/' separated

using QuillpackTest = TempDirTest;

// Writes the stub and the add-on folder: quillfen.ini (unless null), Umowa.txt (when agreement), files.
static void writeAddon(const char *script, const AddonFiles &files, bool agreement = true)
{
    fs::remove_all("addon");
    fs::create_directories("addon");
    writeFile("stub.exe", stubImage());
    if (script)
        writeFile("addon/quillfen.ini", bytesOf(script));
    if (agreement)
        writeFile("addon/Umowa.txt", bytesOf("\nUmowa\n\xb9\n"));
    for (const auto &[path, data] : files) {
        fs::create_directories(fs::path("addon/" + path).parent_path());
        writeFile("addon/" + path, data);
    }
}

// The stored bytes of an entry, up to size of them.
static Bytes readEntry(const char *name, size_t size = 1 << 20)
{
    PackageFile file = pfOpen(name, "rb");   // none on disk has such a name
    Bytes data(size);
    data.resize(file ? pfRead(data.data(), 1, data.size(), file) : 0);
    return data;
}

static Bytes unpackEntry(const char *name)
{
    GzReader *reader = gzReaderOpen(name, "rb");
    Bytes data(16 << 20);
    int32_t n = reader ? gzReaderRead(reader, data.data(), (uint32_t)data.size()) : -1;
    EXPECT_EQ(0, reader ? gzReaderClose(reader) : -1) << name;
    data.resize(n > 0 ? (size_t)n : 0);
    return data;
}

TEST_F(QuillpackTest, BuiltInstallerReadsBackThroughThePackageLayer)
{
    // The script's first line ends in a lone LF, which the build stores as CR LF, as the others end.
    const std::string lines = "COPY 'maps\\north.map' 'Maps\\north.map' 9437184\r\n"
                              "COPY 'docs\\readme.txt.gz' 'readme.txt' 5\r\n"
                              "COPY 'Data\\pre.bin.gz' 'pre.bin' 3\r\n"
                              "COPY 'odd.GZ' 'odd' 2\r\n"
                              "COPY 'MAPS\\North.MAP' 'Maps\\copy.map' 9437184\r\n"
                              "COPY 'empty.dat' 'empty.dat' 0";
    // Above what the workers compress in memory, so compressed as it is written, in many 64 KiB reads.
    Bytes map(9 << 20);
    for (size_t i = 0; i < map.size(); i++)
        map[i] = (unsigned char)((i * 7) ^ (i >> 9));
    writeAddon(("; maps\n" + lines).c_str(),
               {{"Maps/north.map", map}, {"Docs/readme.txt", bytesOf("read\n")},
                {"Data/pre.bin.gz", hexBytes(ABC_MEMBER)}, {"odd.GZ", bytesOf("ok")}, {"empty.dat", {}}});
    writeFile("setup.exe", bytesOf("an older installer"));
    std::string error;
    ASSERT_TRUE(buildInstaller({"stub.exe", "addon", "setup.exe"}, error)) << error;
    EXPECT_FALSE(fs::exists("setup.exe.partial"));

    Bytes file = readFile("setup.exe");
    ASSERT_NE(0, openPackage("setup.exe"));
    const char *names[] = {"quillfen.exe", "quillfen.ini", "umowa.txt", "maps\\north.map.gz", "docs\\readme.txt.gz",
                           "Data\\pre.bin.gz", "odd.GZ.gz", "empty.dat.gz", "quillfen.crc"};
    ASSERT_EQ(9, openPackages[openPackageCount - 1].entryCount);
    for (int i = 0; i < 9; i++)
        EXPECT_STREQ(names[i], openPackages[openPackageCount - 1].entries[i].name);
    EXPECT_EQ(stubImage(), readEntry("quillfen.exe"));
    EXPECT_EQ(bytesOf("; maps\r\n" + lines), readEntry("quillfen.ini"));
    EXPECT_EQ(bytesOf("\r\nUmowa\r\n\xb9\r\n"), readEntry("Umowa.txt"));
    EXPECT_EQ(map, unpackEntry("MAPS\\North.MAP.gz"));
    EXPECT_EQ(bytesOf("read\n"), unpackEntry("docs/readme.txt.gz"));
    EXPECT_EQ(bytesOf("abc"), unpackEntry("data\\pre.bin.gz"));    // compressed again
    for (int i = 3; i < 8; i++)
        EXPECT_EQ(hexBytes("1f 8b 08 00 00 00 00 00 00 0b"), readEntry(names[i], 10)) << names[i];
    std::vector<Finding> findings;
    EXPECT_TRUE(verifyInstaller("setup.exe", findings)) << formatFinding(findings.at(0));
    closePackage("setup.exe");

    // The same bytes again, whatever the number of compressing threads.
    for (unsigned threads : {1u, 7u}) {
        ASSERT_TRUE(buildInstaller({"stub.exe", "addon", "again.exe", MAX_PACKAGE_BYTES, threads}, error)) << error;
        EXPECT_EQ(file, readFile("again.exe")) << threads << " threads";
    }
    file[file.size() / 2] ^= 1;                                      // any byte of it
    writeFile("setup.exe", file);
    EXPECT_FALSE(verifyInstaller("setup.exe", findings));
    EXPECT_EQ(0u, formatFinding(findings.back()).find("setup.exe: error: damaged: the installer would refuse it"))
        << formatFinding(findings.back());
}

struct BuildFailure {
    const char *behaviour;
    const char *script;                 // null: no quillfen.ini
    const char *expected;               // phrase of the error
    AddonFiles files = {};              // besides a.txt ("hello\n") and Umowa.txt
    Bytes stub = {};                    // empty: stubImage()
    uint64_t limit = MAX_PACKAGE_BYTES;
    const char *addon = "addon";        // the folder the build is given
};

TEST_F(QuillpackTest, BadInputIsRefusedAndLeavesTheOutputAlone)
{
    const BuildFailure rows[] = {
        {"size differs", "; sizes\nCOPY 'a.txt' 'a.txt' 7\n", "quillfen.ini:2: error: size 7 on the line differs from 6"},
        {"payload missing", "COPY 'b.txt' 'b.txt' 1\n", "quillfen.ini:1: error: no file 'b.txt' or 'b.txt.gz'"},
        {"verify's lint", "COPY 'a.txt' 'a.txt'\n", "quillfen.ini:1: error: no size after the destination"},
        {"no script", nullptr, "addon: error: no quillfen.ini"},
        {"member and source", "COPY 'a.txt' 'a.txt' 6\n", "keep one", {{"a.txt.gz", hexBytes(ABC_MEMBER)}}},
        {"member with more", "COPY 'b.gz' 'b' 3\n", "bytes follow the gzip member",
         {{"b.gz", hexBytes((std::string(ABC_MEMBER) + " 00").c_str())}}},
        {"member's CRC wrong", "COPY 'b.gz' 'b' 3\n", "b.gz: not a valid gzip member (incorrect data check)",
         {{"b.gz", hexBytes("1f 8b 08 00 00 00 00 00 00 03 01 03 00 fc ff 61 62 63 c2 41 24 36 03 00 00 00")}}},
        {"member cut short", "COPY 'b.gz' 'b' 3\n", "b.gz: the gzip member is cut short",
         {{"b.gz", hexBytes("1f 8b 08 00 00 00 00 00 00 03 01 03 00 fc ff 61 62")}}},
        {"stub an installer", "", "stub.exe: error: already an installer", {}, buildPackage(stubImage(), {})},
        {"stub another program", "", "stub.exe: error: not a quillfen installer stub (expected a version block "
         "with ProductName \"Brakmoor Quillfen\"; found none)", {}, peWithResources({})},
        {"too big", "COPY 'a.txt' 'a.txt' 6\n", "grow past 200 bytes", {}, {}, 200},
        {"no add-on folder", "", "nowhere: ", {}, {}, MAX_PACKAGE_BYTES, "nowhere"},
#ifndef _WIN32
        {"case twins", "COPY 'A.TXT' 'a.txt' 6\n", "cannot tell them apart", {{"A.txt", bytesOf("hello\n")}}},
#endif
    };
    for (const BuildFailure &row : rows) {
        writeAddon(row.script, row.files);
        writeFile("addon/a.txt", bytesOf("hello\n"));
        if (!row.stub.empty())
            writeFile("stub.exe", row.stub);
        writeFile("setup.exe", bytesOf("old"));
        std::string error;
        EXPECT_FALSE(buildInstaller({"stub.exe", row.addon, "setup.exe", row.limit}, error)) << row.behaviour;
        EXPECT_NE(std::string::npos, error.find(row.expected)) << row.behaviour << ": " << error;
        EXPECT_EQ(bytesOf("old"), readFile("setup.exe")) << row.behaviour;
        EXPECT_FALSE(fs::exists("setup.exe.partial")) << row.behaviour;
    }
}

TEST(QuillpackStub, OnlyTheBareInstallerPassesTheStubCheck)
{
    auto patched = [](size_t at, unsigned char value) {
        Bytes stub = stubImage();
        stub[at] = value;
        return stub;
    };
    const std::string expected = "not a quillfen installer stub (expected ";
    const std::string version = expected + "a version block with ProductName \"Brakmoor Quillfen\"; found ";
    struct Row { const char *behaviour; Bytes image; std::string problem; } rows[] = {
        {"no MZ", patched(1, 'X'), "not a Windows program (no MZ header)"},
        {"header beyond the file", patched(0x3D, 0x10), "not a Windows program (PE header offset out of range)"},
        {"no PE", patched(0x41, 'X'), "not a Windows program (no PE signature)"},
        {"x64", patched(0x44, 0x64), "not a 32-bit x86 Windows program (machine 0x164)"},
        {"another product", peWithResources({{5, 101, {1}}, {5, 102, {2}}, {16, 1, versionBlock("Brakmoor Uidriver")}}),
         version + "ProductName \"Brakmoor Uidriver\")"},
        {"no product name", peWithResources({{5, 101, {1}}, {5, 102, {2}}, {16, 1, versionBlock(nullptr)}}),
         version + "a version block without it)"},
        {"dialog 102 missing", peWithResources({{5, 101, {1}}, {16, 1, versionBlock("Brakmoor Quillfen")}}),
         expected + "the dialog templates 101 and 102; found no 102)"},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.problem, stubProblem(row.image)) << row.behaviour;

    // The whole stub passes and every cut of it is refused: ours, and the real quillfen.exe when the build names it.
    std::vector<Bytes> stubs = {stubImage()};
    if (const char *path = getenv("QUILLFEN_STUB"); path && *path)
        stubs.push_back(readFile(path));
    for (Bytes cut : stubs) {
        ASSERT_EQ("", stubProblem(cut)) << "build the Windows build first";
        while (!cut.empty()) {
            cut.pop_back();
            ASSERT_NE("", stubProblem(cut)) << "a stub cut to " << cut.size() << " bytes taken for a whole one";
        }
    }
    // Every byte of our headers and resources set to 0x00 and to 0xFF in turn: refused or not, read
    // within the image (the sanitizers watch the reads).
    for (size_t at = 0x3C; at < stubs[0].size(); at++)
        for (unsigned char value : {0x00, 0xFF})
            stubProblem(patched(at, value));
}

TEST_F(QuillpackTest, ListShowsEveryEntryInAlignedColumns)
{
    writeFile("setup.exe", buildPackage(stubImage(), {{"quillfen.ini", bytesOf("x")},
                                                     {"A.TXT.GZ", hexBytes(ABC_MEMBER)},
                                                     {"fake.gz", bytesOf("plain, not a member")},
                                                     {"raw.bin", bytesOf("abc"), 3}}));
    FILE *out = fopen("list.txt", "wb");
    std::string error;
    ASSERT_TRUE(listInstaller("setup.exe", out, error)) << error;
    fclose(out);
    EXPECT_EQ("name             offset       size        raw   unpacked\n"
              "quillfen.exe          0       1052          0\n"
              "quillfen.ini       1052          1          0\n"
              "A.TXT.GZ           1053         26          0          3\n"
              "fake.gz            1079         19          0\n"
              "raw.bin            1098          3          3\n",
              std::string((const char *)readFile("list.txt").data(), readFile("list.txt").size()));

    Bytes cut = readFile("setup.exe");
    writeFile("cut.exe", Bytes(cut.begin(), cut.end() - 1));
    EXPECT_FALSE(listInstaller("cut.exe", stdout, error));
    EXPECT_EQ("cut.exe: not an installer or damaged package", error);
}

TEST_F(QuillpackTest, VerifyReportsEveryProblemWithItsLineAndKind)
{
    // Each row's script follows two lines that make a clean script of it (unless alone): its line 1 is line 3.
    const std::string base = "GROUP= \"G\"\nLINK= \"quillfen.exe\" \"U\" \"-uninstall\"\n";
    Bytes abc = hexBytes(ABC_MEMBER), badCrc = abc;
    badCrc[18] ^= 1;
    std::string links;
    for (int i = 0; i < 16; i++)
        links += "LINK= \"a\" \"L" + std::to_string(i) + "\"\n";
    struct Row {
        const char *behaviour;
        std::string script;
        const char *expected;   // the one finding's line, from its start
        Bytes member = hexBytes(ABC_MEMBER);    // entry a.gz
        bool alone = false;     // without the two lines of base
        const char *agreement = "umowa.txt";   // the entry that holds "Umowa\r\n"
    } rows[] = {
        {"entry missing", "COPY 'b' 'b' 3\n", "quillfen.ini:3: error: no entry b.gz"},
        {"not decompressible", "COPY 'a' 'a' 3\n", "quillfen.ini:3: error: a.gz: damaged gzip member",
         Bytes(abc.begin(), abc.begin() + 14)},
        {"CRC fails", "COPY 'a' 'a' 3\n", "quillfen.ini:3: error: a.gz: data error", badCrc},
        {"size differs", "COPY 'a' 'a' 4\n", "quillfen.ini:3: error: a.gz unpacks to 3 bytes, the line says 4"},
        {"keyword after a blank", " COPY 'a' 'a' 3\n", "quillfen.ini:3: error: the keyword starts with a blank"},
        {"keyword in lower case", "Group= \"H\"\n", "quillfen.ini:3: error: the keyword is not written in upper case"},
        {"no gap before a quote", "PRODUCT=\"P\"\n", "quillfen.ini:3: error: no blank before the opening quote of the name"},
        {"no link name", "DESK= \"a\"\n", "quillfen.ini:3: error: no quoted value for the link name"},
        {"quoted value too long", "PRODUCT= \"" + std::string(260, 'p') + "\"\n",
         "quillfen.ini:3: error: the name is longer than the 259"},
        {"line value too long", "INSTALL_KEY=" + std::string(255, 'k') + "\n",
         "quillfen.ini:3: error: INSTALL_KEY= value is 255 characters long; the installer keeps 254"},
        {"COPY line too long", "COPY 'a' '" + std::string(252, 'd') + "' 3\n",
         "quillfen.ini:3: error: the line is 260 characters long after COPY '"},
        {"line in pieces", ";" + std::string(1100, 'x') + "\n", "quillfen.ini:3: error: the line is longer than 1023"},
        {"NUL byte", std::string("; a\0b\n", 6), "quillfen.ini:3: error: the line holds a NUL byte"},
        {"COPY without its gap", "COPY 'a'  'a' 3\n", "quillfen.ini:3: error: expected one character and an apostrophe"},
        {"entry name the lookup changes", "COPY 'x/a' 'a' 3\n", "quillfen.ini:3: error: entry name 'x/a' contains '/'"},
        {"file outside", "COPY 'a' 'd\\..\\..\\a' 3\n", "quillfen.ini:3: error: destination 'd\\..\\..\\a' has a '..'"},
        {"file over the uninstaller", "COPY 'a' 'QUILLFEN.EXE' 3\n", "quillfen.ini:3: error: destination 'QUILLFEN.EXE' is where"},
        {"link outside", "DESK= \"a\" \"C:\\x\"\n", "quillfen.ini:3: error: link name 'C:\\x' holds a ':'"},
        {"17 links", links, "quillfen.ini:18: error: a 17th link"},
        {"destination not a full path", "DIR=Games\\Tundra\n", "quillfen.ini:3: error: DIR= 'Games\\Tundra' is not a full"},
        {"folder left behind", "DIR 'd'\nDIR 'd\\e'\n", "quillfen.ini:3: warning: the uninstaller leaves the folder 'd' behind: "
         "at its turn it still holds 'd\\e', which line 4 lists after it"},
        {"folder not made", "COPY 'a' 'D\\a' 3\n", "quillfen.ini:3: warning: no earlier DIR line makes the folder 'D'"},
        {"file written twice", "COPY 'a' 'a' 3\nCOPY 'a' 'A' 3\n", "quillfen.ini:4: warning: 'A' is written again: line 3"},
        {"no agreement", "", "setup.exe: warning: no agreement text", abc, false, "other.txt"},
        {"no uninstall link", "GROUP= \"G\"\nLINK= \"quillfen.exe\" \"U\"\n", "quillfen.ini: warning: no uninstall link", abc, true},
        {"LINK= before GROUP=", "LINK= \"quillfen.exe\" \"U\" \"-uninstall\"\nGROUP= \"G\"\n",
         "quillfen.ini:1: warning: LINK= before GROUP= (line 2)", abc, true},
    };
    for (const Row &row : rows) {
        writeFile("setup.exe", buildPackage(stubImage(), {{"quillfen.ini", bytesOf((row.alone ? "" : base) + row.script)},
                                                         {"a.gz", row.member}, {row.agreement, bytesOf("Umowa\r\n")}}));
        std::vector<Finding> findings;
        bool verified = verifyInstaller("setup.exe", findings);
        EXPECT_EQ(std::string(row.expected).find(": warning: ") != std::string::npos, verified) << row.behaviour;
        std::string found = findings.empty() ? "" : formatFinding(findings[0]);
        EXPECT_EQ(1u, findings.size()) << row.behaviour << ": " << found;
        EXPECT_EQ(0u, found.find(row.expected)) << row.behaviour << ": " << found;
    }
}

// A name with every Polish letter, in a script (code page 1250) and on disk (UTF-8). Wine's ANSI
// file functions do not give such names back whatever its code page: the Windows build leaves it out.
static const char POLISH[] = "Za\xbf\xf3\xb3\xe6 g\xea\x9cl\xb9 ja\x9f\xf1";
static const char POLISH_ON_DISK[] = "Za\u017c\u00f3\u0142\u0107 g\u0119\u015bl\u0105 ja\u017a\u0144";

// The paths below <destination> that the plan names, in any step, without what follows them.
static std::set<std::string> planned(const std::string &plan)
{
    std::set<std::string> paths;
    const std::string start = "<destination>\\";
    for (size_t at = plan.find(start); at != std::string::npos; at = plan.find(start, at)) {
        at += start.size();
        std::string path = plan.substr(at, plan.find_first_of(",(\n", at) - at);
        paths.insert(path.substr(0, path.find_last_not_of(' ') + 1));
    }
    return paths;
}

TEST_F(QuillpackTest, InitBuildVerifyPlanOnGeneratedTrees)
{
    std::vector<std::string> deep = {"pusty.dat"}, many;
#ifndef _WIN32
    deep.push_back(std::string(POLISH) + "\\" + POLISH + ".txt");
#endif
    std::string folder = "Mapy zimowe";
    for (int level = 1; level <= 12; folder += "\\poziom " + std::to_string(level++))
        deep.push_back(folder + "\\plik " + std::to_string(level) + ".map");
    for (int i = 0; i < 5000; i++)
        many.push_back("d" + std::to_string(i % 40) + "\\e" + std::to_string(i % 3) + "\\f" + std::to_string(i));
    for (const std::vector<std::string> &tree : {deep, many}) {
        std::set<std::string> expected = {"quillfen.exe", "quillfen.ini"};
        writeAddon(nullptr, {}, false);
        for (const std::string &path : tree) {
            std::string onDisk = "addon/" + path;
            for (size_t at = 0; (at = onDisk.find(POLISH, at)) != std::string::npos;)
                onDisk.replace(at, sizeof POLISH - 1, POLISH_ON_DISK);
            std::replace(onDisk.begin(), onDisk.end(), '\\', '/');
            fs::create_directories(fs::path(onDisk).parent_path());
            writeFile(onDisk, Bytes(path.size() % 3, 'x'));
            expected.insert(path);
            for (size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
                expected.insert(path.substr(0, at));
        }
        const InitOptions options = {"addon", "", "", "", "", "", false};
        std::string error;
        Totals totals;
        ASSERT_TRUE(initAddon(options, error, &totals)) << error;
        EXPECT_EQ(tree.size(), totals.entries);
        EXPECT_FALSE(initAddon(options, error)) << "a second init replaced the script";
        std::vector<Finding> findings;
        ASSERT_TRUE(buildInstaller({"stub.exe", "addon", "setup.exe"}, error, 0, &findings)) << error;
        std::string plan;   // after verify's checks, which add to findings
        EXPECT_TRUE(planInstaller("setup.exe", plan, findings));
        EXPECT_TRUE(findings.empty()) << formatFinding(findings.at(0));
        EXPECT_EQ(expected, planned(plan));    // every folder and file made and removed
        EXPECT_EQ(std::string::npos, plan.find("leaves       <destination>\\"));    // none left behind
        EXPECT_NE(std::string::npos, plan.find("  leaves       <destination> itself, empty\n"));
    }
}

TEST_F(QuillpackTest, ExtractKeepsEveryNameInsideTheFolder)
{
    writeFile("setup.exe", buildPackage(stubImage(), {{"ok\\sub\\f.txt", bytesOf("inside")}, {"..\\evil1", {}},
                                                     {"C:\\evil2", {}}, {"\\evil3", {}}, {"ok\\Com1.txt", {}},
                                                     {"raw.bin", bytesOf("abc"), 3}}));
    std::vector<std::string> problems;
    EXPECT_FALSE(extractInstaller("setup.exe", "out", problems));
    EXPECT_EQ(4u, problems.size());
    for (const std::string &problem : problems)
        EXPECT_EQ(0u, problem.find("entry '")) << problem;
    EXPECT_EQ(bytesOf("inside"), readFile("out/ok/sub/f.txt"));
    EXPECT_EQ(bytesOf("abc"), readFile("out/raw.bin"));
    EXPECT_EQ(stubImage(), readFile("out/quillfen.exe"));
    for (const auto &item : fs::recursive_directory_iterator(dir))
        EXPECT_EQ(std::string::npos, item.path().string().find("evil")) << item.path();
}

#ifndef _WIN32
TEST_F(QuillpackTest, NoLinkIsFollowedOutOfTheFolder)
{
    writeFile("secret.txt", bytesOf("secret\n"));
    fs::create_directories("elsewhere");
    struct Row { const char *behaviour, *script, *link, *target; } rows[] = {
        {"file", "COPY 'leak.txt' 'leak.txt' 7\n", "addon/leak.txt", "secret.txt"},
        {"folder", "COPY 'Maps\\secret.txt' 'a' 7\n", "addon/Maps", "."},
    };
    for (const Row &row : rows) {
        writeAddon(row.script, {});
        fs::create_symlink(dir + "/" + row.target, row.link);
        std::string error;
        EXPECT_FALSE(buildInstaller({"stub.exe", "addon", "setup.exe"}, error)) << row.behaviour;
        EXPECT_NE(std::string::npos, error.find(std::string(row.link) + ": a symbolic link that leads out of the "
                                                "add-on folder")) << row.behaviour << ": " << error;
        EXPECT_FALSE(initAddon({"addon", "", "", "", "", "", true}, error)) << row.behaviour;   // with force
        EXPECT_EQ(0u, error.find(row.link)) << row.behaviour << ": " << error;
    }
    writeFile("setup.exe", buildPackage(stubImage(), {{"ok\\f.txt", bytesOf("inside")}, {"raw.bin", bytesOf("abc")}}));
    fs::create_directories("out");
    fs::create_directory_symlink(dir + "/elsewhere", "out/ok");
    fs::create_symlink(dir + "/secret.txt", "out/raw.bin");
    std::vector<std::string> problems;
    EXPECT_FALSE(extractInstaller("setup.exe", "out", problems));
    EXPECT_EQ(2u, problems.size());
    EXPECT_EQ(bytesOf("secret\n"), readFile("secret.txt"));
    EXPECT_TRUE(fs::is_empty("elsewhere"));
}
#endif
