// The copy pass step by step, on real folders.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string.h>

#include <filesystem>

#include "package/unpack_ahead.h"
#include "script/install_settings.h"
#include "support/package_builder.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class CopyPassTest : public TempDirTest {
protected:
    // A package with the script and two payloads; settings as after the
    // settings pass, with the destination "dest\".
    void prepare(const std::string &script, uint64_t totalBytes)
    {
        writeFile("setup.exe", buildPackage(bytesOf("MZ"), {{"quillfen.ini", bytesOf(script)},
                                                           {"Pack\\a.gz", gzipMember(Bytes(300, 'a'))},
                                                           {"Pack\\b.gz", gzipMember(Bytes(700, 'b'))}}));
        ASSERT_GT(openPackage("setup.exe"), 0);
        memset(&settings, 0, sizeof settings);
        strcpy(settings.destinationDir, "dest\\");
        settings.totalBytes = totalBytes;
        fs::create_directory("dest");
    }
    // The results of the steps up to the first negative one (or the 500th).
    std::vector<int32_t> runAll()
    {
        std::vector<int32_t> results = {RunCopyStep()};
        while (results.back() >= 0 && results.size() < 500)
            results.push_back(RunCopyStep());
        return results;
    }
};

typedef std::vector<int32_t> Results;

TEST_F(CopyPassTest, StepsReportProgressThenTheEnd)
{
    struct Case {
        const char *what;
        std::string script;
        uint64_t total;
        Results results;
    } cases[] = {
        {"two files", "COPY 'Pack\\a.gz' 'a.bin' 300\r\nCOPY 'Pack\\b' 'b.bin' 700\r\n", 1000, {30, 100, -2}},
        {"trailing comment", "COPY 'Pack\\a.gz' 'a.bin' 300\nCOPY 'Pack\\b.gz' 'b.bin' 700\n; end\n", 1000,
         {30, 100, 0, -2}},
        {"folders count too", "DIR 'Sub'\nCOPY 'Pack\\a.gz' 'Sub\\a.bin' 300\nDIR 'Other'\n", 300, {0, 100, 100, -2}},
        {"no sizes at all", "DIR 'Sub'\n", 0, {100, -2}},
        {"copy line without size", "COPY 'Pack\\a.gz' 'a.bin'\n", 300, {-1}},
        {"dir line without apostrophe", "DIR 'Sub\n", 0, {-1}},
    };
    for (const Case &c : cases) {
        prepare(c.script, c.total);
        EXPECT_EQ(runAll(), c.results) << c.what;
        closePackage("setup.exe");
    }
}

// Enough entries that most are unpacked ahead on the second thread: sizes
// around the 16 KiB block and the limit of what is unpacked ahead, one entry
// stored as it is, one copied twice. Every file comes out whole. A damaged
// entry among them ends the pass with its box and status 1 after the files
// before it, and nothing after it is written.
TEST_F(CopyPassTest, EntriesUnpackedAheadComeOutWholeAndDamageStillStops)
{
    const uint32_t sizes[] = {0, 1, 700, 16383, 16384, 16385, 40000, AHEAD_ENTRY_LIMIT, AHEAD_ENTRY_LIMIT + 1};
    const int count = 60, damaged = 40;
    std::vector<Bytes> contents;
    for (int i = 0; i < count; i++) {
        Bytes content(sizes[i % 9]);
        for (size_t b = 0; b < content.size(); b++)
            content[b] = (unsigned char)(b * 7 + i + (b >> 9));
        contents.push_back(content);
    }
    // damage: 0 none, 1 a flipped CRC, 2 a member of its header alone (no
    // byte is missing, but the data never ends), 3 and 4 the line names one
    // byte less or more
    auto install = [&](int damage) {
        std::vector<TestEntry> entries;
        std::string script;
        uint64_t total = 0;
        for (int i = 0; i < count; i++) {
            Bytes member = i == 5 ? contents[i] : gzipMember(contents[i]);
            size_t size = contents[i].size();
            if (i == damaged && damage == 1)
                member[member.size() - 8] ^= 0x01;
            if (i == damaged && damage == 2)
                member.resize(10), size = 0;
            if (i == damaged)
                size += (damage == 4) - (damage == 3);
            entries.push_back({"P\\f" + std::to_string(i) + ".gz", member});
            script += "COPY 'P\\f" + std::to_string(i) + "' 'f" + std::to_string(i) + "' " + std::to_string(size) + "\n";
            total += size;
        }
        script += "COPY 'P\\f7' 'again' " + std::to_string(contents[7].size()) + "\n";
        entries.insert(entries.begin(), {"quillfen.ini", bytesOf(script)});
        writeFile("setup.exe", buildPackage(bytesOf("MZ"), entries));
        fs::remove_all("dest");
        fs::create_directory("dest");
        ASSERT_GT(openPackage("setup.exe"), 0);
        memset(&settings, 0, sizeof settings);
        strcpy(settings.destinationDir, "dest\\");
        settings.totalBytes = total + contents[7].size();
    };
    install(0);
    EXPECT_EQ(runAll().back(), -2);
    for (int i = 0; i < count; i++)
        EXPECT_EQ(readFile("dest/f" + std::to_string(i)), contents[i]) << i;
    EXPECT_EQ(readFile("dest/again"), contents[7]);
    closePackage("setup.exe");

    struct Case {
        int damage;
        const char *text;
    } cases[] = {{1, "P\\f40.gz: data error"},
                 {2, "failed gzclose"},
                 {3, "P\\f40.gz: unpacked size differs from the install script"},
                 {4, "P\\f40.gz: unpacked size differs from the install script"}};
    for (const Case &c : cases) {
        install(c.damage);
        EXPECT_EXIT(runAll(), ::testing::ExitedWithCode(1),
                    ::testing::HasSubstr("[MessageBoxA \"Zip error - perhaps bad crc\" 0x0] " + std::string(c.text)));
        for (int i = 0; i < damaged; i++)
            EXPECT_EQ(readFile("dest/f" + std::to_string(i)), contents[i]) << i;
        EXPECT_FALSE(fs::exists("dest/f" + std::to_string(damaged + 1))) << c.text;
        closePackage("setup.exe");
    }
}

TEST(CopyProgress, IsExactForTotalsOfSeveralGigabytes)
{
    EXPECT_EQ(ProgressPercent(4294967295ull, 3 * 4294967295ull), 33);
    EXPECT_EQ(ProgressPercent(2 * 4294967295ull, 3 * 4294967295ull), 66);
    EXPECT_EQ(ProgressPercent(0, 0), 100);
}

}  // namespace
