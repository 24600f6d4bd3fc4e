// The package file layer: lookups, positions, line and element reads, text
// mode, and the fall-through to ordinary files.
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
        {"name..", "name.."},              // no backslash: stays
        {".\\file", ".\\file"},            // "." steps untouched
        {"ab\\..\\", ""},
        {"", ""},
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
            {"quillfen.ini", bytesOf("DIR=C:\\Game\r\nGROUP= \"G\"\r\nlast")},
            {"umowa.txt", bytesOf("0123456789")},
            {"Pack\\Data\\track.map.gz", bytesOf("gz")},
            {"odd/name", bytesOf("slash")},
            {"empty", Bytes()},
            {"whole.bin", bytesOf("ABCDEFGH"), 8},
            {"after", bytesOf("AFTER")},
        }));
        ASSERT_GT(openPackage("setup.exe"), 0);
    }
    PackageEntry *entry(const char *name)
    {
        for (int32_t i = 0; i < openPackages[0].entryCount; i++)
            if (strcmp(openPackages[0].entries[i].name, name) == 0)
                return &openPackages[0].entries[i];
        return 0;
    }
};

TEST_F(PackageFileTest, LookupIgnoresAsciiCaseAndSlashesButNotStoredSlashes)
{
    struct Case {
        const char *name, *entry;
    } cases[] = {
        {"Umowa.txt", "umowa.txt"},
        {"UMOWA.TXT", "umowa.txt"},
        {"pack/data/TRACK.map.gz", "Pack\\Data\\track.map.gz"},
        {"Pack\\Extra\\..\\Data\\track.map.gz", "Pack\\Data\\track.map.gz"},
        {"odd/name", 0},      // a stored '/' can never be found
        {"odd\\name", 0},
        {"umowa.tx", 0},
    };
    for (const Case &c : cases) {
        PackageFile f = pfOpen(c.name, "rb");
        if (c.entry) {
            EXPECT_EQ((void *)f, (void *)entry(c.entry)) << c.name;
        } else {
            EXPECT_EQ(f, nullptr) << c.name;   // nothing on disk either
        }
    }
}

TEST_F(PackageFileTest, UnmatchedNamesOpenOrdinaryFilesByNormalisedName)
{
    std::filesystem::create_directories("sub");
    writeFile("sub/disk.txt", bytesOf("on disk"));
    PackageFile f = pfOpen("sub/other/../disk.txt", "rb");
    ASSERT_TRUE(f);
    EXPECT_TRUE(isOrdinaryStream(f));
    char buffer[16] = {};
    EXPECT_EQ(pfRead(buffer, 1, sizeof buffer, f), 7u);
    EXPECT_STREQ(buffer, "on disk");
    EXPECT_NE(pfEof(f), 0);
    EXPECT_EQ(pfClose(f), 0);
}

TEST_F(PackageFileTest, WriteModeOpensTheNameAsGiven)
{
    // Normalised, "sub\x..\f.txt" would be "sub\f.txt": a destination typed
    // as "C:\a1\Games.." would have put every file one folder up.
    // (Wine makes the folder "x" and then refuses the name; POSIX keeps it.)
    PackageFile f = pfOpen("umowa.txt", "wb");       // never an entry
    ASSERT_TRUE(f && isOrdinaryStream(f));
    EXPECT_EQ(pfClose(f), 0);
    EXPECT_EQ(entry("umowa.txt")->size, 10);
    std::filesystem::create_directories("sub/x..");
    f = pfOpen("sub\\x..\\f.txt", "wb");
    if (f) {
        EXPECT_EQ(fwrite("new", 1, 3, pfStdioStream(f)), 3u);
        EXPECT_EQ(pfClose(f), 0);
    }
    EXPECT_FALSE(std::filesystem::exists("sub/f.txt"));
}

// The installer reads its script as a package entry, the uninstaller reads
// the installed copy as an ordinary file: both must see the same lines,
// whatever bytes the script holds.
TEST_F(PackageFileTest, TheScriptEntryAndTheInstalledCopyReadTheSameLines)
{
    const std::string chunkEdge = std::string(511, 'x') + "\r\n";   // a CR LF across two reads
    const std::string scripts[] = {
        "a\x1a b\r\nafter Ctrl-Z\r\n",
        "NUL\0inside\r\nnext\n"s,
        "lone\rCR\r\r\ntwo CRs\r\n\r",
        chunkEdge + chunkEdge + "no final newline",
        std::string(1500, 'L') + "\r\n",
    };
    for (const std::string &script : scripts) {
        closeAllPackages();
        writeFile("setup.exe", buildPackage(bytesOf("MZ"), {{"quillfen.ini", bytesOf(script)}, {"z", bytesOf("\n\n")}}));
        ASSERT_GT(openPackage("setup.exe"), 0);
        std::filesystem::create_directories("installed");
        writeFile("installed/quillfen.ini", bytesOf(script));
        std::vector<std::string> seen[2];
        PackageFile files[2] = {pfOpen("quillfen.ini", "rt"), pfOpen("installed/quillfen.ini", "rt")};
        ASSERT_FALSE(isOrdinaryStream(files[0]));
        ASSERT_TRUE(isOrdinaryStream(files[1]));
        for (int i = 0; i < 2; i++) {
            char line[1024];
            while (pfGets(line, sizeof line, files[i]))
                seen[i].push_back(line);
            EXPECT_NE(pfEof(files[i]), 0);
            pfClose(files[i]);
        }
        EXPECT_EQ(seen[0], seen[1]) << script.substr(0, 20);
        EXPECT_GE(seen[0].size(), 2u) << script.substr(0, 20);
    }
}

TEST_F(PackageFileTest, SeekClampsToTheEntry)
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
    pfSeek(f, 50, 0);
    EXPECT_EQ(pfEof(f), 1);
}

TEST_F(PackageFileTest, ElementReadsStopAtTheEntryEnd)
{
    PackageFile f = pfOpen("umowa.txt", "rb");
    pfSeek(f, 4, 0);
    char buffer[64];
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(pfRead(buffer, 4, 10, f), 1u);   // 6 bytes left: one whole element
    EXPECT_EQ(memcmp(buffer, "456789#", 7), 0);
    EXPECT_EQ(pfTell(f), 10);
    EXPECT_EQ(pfRead(buffer, 1, 1, f), 0u);
    EXPECT_EQ(pfEof(f), 1);

    pfSeek(f, 0, 2);
    int32_t size = pfTell(f);                  // how whole-entry readers learn the size
    pfSeek(f, 0, 0);
    EXPECT_EQ(pfRead(buffer, size, 1, f), 1u);
    EXPECT_EQ(pfRead(buffer, 0, 5, f), 0u);
}

// Lines of every length, so CR LF pairs fall across every read boundary,
// followed by bytes with lone LFs (as gzip data behind a script would be).
// As the copy pass reads: a line of the script, then some bytes of another
// entry through the same stream. The first line's length moves every CR LF
// pair across the places where the reads of the script are cut.
TEST_F(PackageFileTest, TextModePositionsStayExactWhateverFollowsTheEntry)
{
    for (size_t pad = 0; pad < 40; pad++) {
        std::vector<std::string> lines = {std::string(pad, '_') + "\n"};
        for (int i = 0; i < 300; i++)
            lines.push_back(std::string((size_t)(i % 37), (char)('a' + i % 26)) + "\n");
        std::string longLine(700, 'L');
        for (size_t cut : {511u, 1022u})                 // a CR LF pair across the 512-byte read
            lines.push_back(longLine.substr(0, cut) + "\n");
        std::string script;
        for (const std::string &l : lines)
            script += l.substr(0, l.size() - 1) + "\r\n";
        script += "lone\rcr\r";                          // CR without LF stays, also at the end
        closeAllPackages();
        writeFile("text.exe", buildPackage(bytesOf("MZ"), {{"script.ini", bytesOf(script)},
                                                           {"next", bytesOf("\n\n\r\n\nxx")}}));
        ASSERT_GT(openPackage("text.exe"), 0);
        PackageFile f = pfOpen("script.ini", "rt");
        char line[1024], other[2];
        int32_t expected = 0;
        for (const std::string &l : lines) {
            ASSERT_TRUE(pfGets(line, sizeof line, f)) << pad;
            EXPECT_EQ(line, l);
            expected += (int32_t)l.size() + 1;
            EXPECT_EQ(pfTell(f), expected);
            PackageFile next = pfOpen("next", "rb");
            ASSERT_EQ(pfRead(other, 1, 2, next), 2u);
            EXPECT_EQ(std::string(other, 2), "\n\n");
        }
        ASSERT_TRUE(pfGets(line, sizeof line, f));
        EXPECT_STREQ(line, "lone\rcr\r");
        EXPECT_EQ(pfGets(line, sizeof line, f), nullptr);

        // Element reads in text mode translate the same way.
        f = pfOpen("script.ini", "rt");
        std::vector<char> whole(script.size());
        size_t n = pfRead(whole.data(), 1, whole.size(), f);
        std::string joined;
        for (const std::string &l : lines)
            joined += l;
        EXPECT_EQ(std::string(whole.data(), n), joined + "lone\rcr\r");
    }
}

TEST_F(PackageFileTest, RawLengthEntryAllowsOneWholeReadOnly)
{
    EXPECT_EQ(pfOpen("whole.bin", "rt"), nullptr);   // no fall-through either
    PackageFile f = pfOpen("whole.bin", "rb");
    char buffer[16] = {};
    char line[16];
    EXPECT_EQ(pfGets(line, sizeof line, f), nullptr);
    EXPECT_EQ(pfRead(buffer, 1, 4, f), 0u);           // not the whole entry
    EXPECT_EQ(pfRead(buffer, 4, 2, f), 2u);           // 4 x 2 = size
    EXPECT_STREQ(buffer, "ABCDEFGH");
    EXPECT_EQ(pfTell(f), 8);
    pfSeek(f, 0, 0);
    pfSeek(f, 1, 0);
    EXPECT_EQ(pfRead(buffer, 8, 1, f), 0u);           // not from the start
}

TEST(PackageFileNoPackage, EveryOpenIsAStdioOpen)
{
    ASSERT_EQ(openPackageCount, 0);
    EXPECT_EQ(pfOpen("no\\such\\file.txt", "rb"), nullptr);
    std::string tooLong(1100, 'a');
    EXPECT_EQ(pfOpen(tooLong.c_str(), "wb"), nullptr);

    // A name to look up takes 1023 bytes; one more is refused, never cut.
    std::string name;
    while (name.size() < 1023)
        name += "d\\";
    name.resize(1023);
    errno = 0;
    EXPECT_EQ(pfOpen(name.c_str(), "rb"), nullptr);
    EXPECT_NE(errno, ENAMETOOLONG);
    EXPECT_EQ(pfOpen((name + "x").c_str(), "rb"), nullptr);
    EXPECT_EQ(errno, ENAMETOOLONG);
}

}  // namespace
