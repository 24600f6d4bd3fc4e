// The package file layer: lookups and the fall-through to ordinary files,
// positions, line and element reads, text mode.
#include <gtest/gtest.h>

#include <errno.h>
#include <string.h>

#include <filesystem>
#include <string>
#include <vector>

#include "package/package.h"
#include "support/package_builder.h"
#include "support/temp_dir.h"

namespace {

using namespace std::string_literals;

TEST(NormalizeEntryName, RemovesDotDotStepsAndTurnsSlashes)
{
    struct Case {
        const char *name, *expected;
    } cases[] = {
        {"dir\\sub\\..\\file", "dir\\file"},
        {"..\\..\\file", "file"},
        {"x..\\y", "y"},
        {"a\\b..\\c", "a\\c"},             // "..\" ending a longer component counts
        {"Pack/Data/track.map.gz", "Pack\\Data\\track.map.gz"},
        {".\\file", ".\\file"},            // "." steps untouched
        {"ab\\..\\", ""},
    };
    for (const Case &c : cases) {
        char buffer[64];
        strcpy(buffer, c.name);
        normalizeEntryName(buffer);
        EXPECT_STREQ(buffer, c.expected) << c.name;
    }
}

class PackageFileTest : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        writeFile("setup.exe", buildPackage(bytesOf("MZ image"), {
            {"umowa.txt", bytesOf("0123456789")},
            {"Pack\\Data\\track.map.gz", bytesOf("gz")},
            {"odd/name", bytesOf("slash")},
            {"whole.bin", bytesOf("ABCDEFGH"), 8},
        }));
        ASSERT_GT(openPackage("setup.exe"), 0);
    }
};

TEST_F(PackageFileTest, LookupIgnoresAsciiCaseAndSlashesElseOpensTheFileOnDisk)
{
    struct Case {
        const char *name, *entry;
    } cases[] = {
        {"Umowa.txt", "umowa.txt"},
        {"pack/data/TRACK.map.gz", "Pack\\Data\\track.map.gz"},
        {"Pack\\Extra\\..\\Data\\track.map.gz", "Pack\\Data\\track.map.gz"},
        {"odd/name", 0},      // a stored '/' can never be found
        {"umowa.tx", 0},
    };
    for (const Case &c : cases)   // 0: nothing on disk either
        EXPECT_EQ(pfOpen(c.name, "rb"), c.entry ? (PackageFile)findPackageEntry(c.entry) : nullptr) << c.name;
    // A name no entry has opens the file on disk, by its normalised name.
    std::filesystem::create_directories("sub");
    writeFile("sub/disk.txt", bytesOf("on disk"));
    PackageFile f = pfOpen("sub/other/../disk.txt", "rb");
    ASSERT_TRUE(f && isOrdinaryStream(f));
    char buffer[16] = {};
    EXPECT_EQ(std::string(buffer, pfRead(buffer, 1, sizeof buffer, f)), "on disk");
    EXPECT_EQ(pfClose(f), 0);
    // A name to look up takes 1023 bytes; one more is refused, never cut.
    std::string name;
    for (int i = 0; i < 512; i++)
        name += "d\\";
    name.resize(1023);
    errno = 0;
    EXPECT_EQ(pfOpen(name.c_str(), "rb"), nullptr);
    EXPECT_NE(errno, ENAMETOOLONG);
    EXPECT_EQ(pfOpen((name + "x").c_str(), "rb"), nullptr);
    EXPECT_EQ(errno, ENAMETOOLONG);
}

TEST_F(PackageFileTest, WriteModeOpensTheNameAsGiven)
{
    // Normalised, "sub\x..\f.txt" would be "sub\f.txt": a destination typed
    // as "C:\a1\Games.." would have put every file one folder up.
    // (Wine makes the folder "x" and then refuses the name; POSIX keeps it.)
    PackageFile f = pfOpen("umowa.txt", "wb");       // never an entry
    ASSERT_TRUE(f && isOrdinaryStream(f));
    EXPECT_EQ(pfClose(f), 0);
    std::filesystem::create_directories("sub/x..");
    f = pfOpen("sub\\x..\\f.txt", "wb");
    if (f) {
        EXPECT_EQ(fwrite("new", 1, 3, pfStdioStream(f)), 3u);
        EXPECT_EQ(pfClose(f), 0);
    }
    EXPECT_FALSE(std::filesystem::exists("sub/f.txt"));
}

// Bytes as text mode reads them: each CR LF pair as LF.
std::string asText(std::string bytes)
{
    for (size_t at = 0; (at = bytes.find("\r\n", at)) != std::string::npos; at++)
        bytes.erase(at, 1);
    return bytes;
}

// The installer reads its script as a package entry, a line at a time
// between reads of other entries through the same stream; the uninstaller
// reads the installed copy as an ordinary file. Both must see the same
// lines whatever bytes the script holds, and every position must stay an
// exact count of the script's bytes. The first line's length moves every
// CR LF pair across the places where the reads of the script are cut.
TEST_F(PackageFileTest, TextReadsOfTheEntryAndOfTheInstalledCopyAgreeByteForByte)
{
    std::vector<std::string> scripts = {"a\x1a b\r\nafter Ctrl-Z\r\n", "NUL\0inside\r\nnext\n"s,
                                        "lone\rCR\r\r\ntwo CRs\r\n\r", std::string(1500, 'L') + "\r\n"};
    for (size_t pad = 0; pad < 40; pad++) {
        std::string script = std::string(pad, '_') + "\r\n";
        for (int i = 0; i < 300; i++)
            script += std::string((size_t)(i % 37), (char)('a' + i % 26)) + "\r\n";
        // A CR LF pair across the 512-byte read and across the line buffer's end; a lone CR at the end.
        scripts.push_back(script + std::string(511, 'L') + "\r\n" + std::string(1022, 'L') + "\r\nlone\rcr\r");
    }
    for (const std::string &script : scripts) {
        closeAllPackages();
        writeFile("setup.exe", buildPackage(bytesOf("MZ"), {{"quillfen.ini", bytesOf(script)},
                                                           {"next", bytesOf("\n\n\r\n\nxx")}}));
        ASSERT_GT(openPackage("setup.exe"), 0);
        writeFile("installed.ini", bytesOf(script));
        std::vector<std::string> seen[2];
        PackageFile files[2] = {pfOpen("quillfen.ini", "rt"), pfOpen("installed.ini", "rt")};
        ASSERT_TRUE(!isOrdinaryStream(files[0]) && isOrdinaryStream(files[1]));
        for (int i = 0; i < 2; i++) {
            char line[1024], other[2];
            int32_t before = 0;
            while (pfGets(line, sizeof line, files[i])) {
                int32_t after = pfTell(files[i]);
                ASSERT_EQ(asText(script.substr((size_t)before, (size_t)(after - before))).c_str(), std::string(line))
                    << "at " << before << " of " << script.substr(0, 20);
                seen[i].push_back(line);
                before = after;
                if (i == 0) {
                    PackageFile next = pfOpen("next", "rb");
                    ASSERT_EQ(pfRead(other, 1, 2, next), 2u);
                    EXPECT_EQ(std::string(other, 2), "\n\n");
                }
            }
            EXPECT_EQ(before, (int32_t)script.size());
            EXPECT_NE(pfEof(files[i]), 0);
            pfClose(files[i]);
        }
        EXPECT_EQ(seen[0], seen[1]) << script.substr(0, 20);
        // Element reads in text mode translate the same way.
        PackageFile f = pfOpen("quillfen.ini", "rt");
        std::vector<char> whole(script.size());
        EXPECT_EQ(std::string(whole.data(), pfRead(whole.data(), 1, whole.size(), f)), asText(script));
    }
}

TEST_F(PackageFileTest, SeeksAndElementReadsStayInsideTheEntry)
{
    PackageFile f = pfOpen("umowa.txt", "rb");
    struct Case {
        int32_t offset;
        int origin;
        int32_t expected;
    } cases[] = {
        {0, 2, 10}, {-3, 2, 7}, {2, 1, 9}, {5, 1, 10}, {-100, 1, 0},
        {4, 0, 4}, {11, 0, 10}, {-1, 0, 0}, {3, 7, 0},   // unknown origin: unchanged
        {0x7FFFFFFF, 1, 10},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(pfSeek(f, c.offset, c.origin), 0);
        EXPECT_EQ(pfTell(f), c.expected) << c.offset << " from " << c.origin;
    }
    pfSeek(f, 4, 0);
    char buffer[64];
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(pfRead(buffer, 4, 10, f), 1u);   // 6 bytes left: one whole element
    EXPECT_EQ(memcmp(buffer, "456789#", 7), 0);
    EXPECT_EQ(pfTell(f), 10);
    EXPECT_EQ(pfRead(buffer, 1, 1, f), 0u);
    EXPECT_EQ(pfEof(f), 1);
    pfSeek(f, 7, 0);
    EXPECT_STREQ(pfGets(buffer, 8, f), "789");   // a binary line ends with the entry
    pfSeek(f, 0, 0);
    EXPECT_EQ(pfRead(buffer, 10, 1, f), 1u);     // the whole entry as one element
    // An entry with a raw length allows one whole read from its start only.
    EXPECT_EQ(pfOpen("whole.bin", "rt"), nullptr);
    f = pfOpen("whole.bin", "rb");
    EXPECT_EQ(pfGets(buffer, sizeof buffer, f), nullptr);
    EXPECT_EQ(pfRead(buffer, 1, 4, f), 0u);
    EXPECT_EQ(pfRead(buffer, 4, 2, f), 2u);
    EXPECT_EQ(memcmp(buffer, "ABCDEFGH", 8), 0);
    pfSeek(f, 1, 0);
    EXPECT_EQ(pfRead(buffer, 8, 1, f), 0u);
}

}  // namespace
