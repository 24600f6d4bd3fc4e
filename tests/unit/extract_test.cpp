// Entry extraction: the names it looks up, what it writes, and every
// failure row: its message box, the caption, and exit status 1; the same
// through the copy pass for entries unpacked ahead on the second thread.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string.h>

#include <filesystem>

#include "host/host.h"
#include "package/extract.h"
#include "package/unpack_ahead.h"
#include "script/install_settings.h"
#include "support/package_builder.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

Bytes sample(size_t size)
{
    Bytes out(size);
    for (size_t i = 0; i < size; i++)
        out[i] = (unsigned char)((i * 31) ^ (i >> 7));
    return out;
}

class ExtractTest : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        hostReset();
        Bytes cut = gzipMember(sample(200000));
        cut.resize(cut.size() / 2);
        Bytes badCrc = gzipMember(content);
        badCrc[badCrc.size() - 8] ^= 0x01;
        writeFile("setup.exe", buildPackage(bytesOf("MZ"), {
            {"Pack\\track.map.gz", gzipMember(content)},
            {"Pack\\empty.gz", Bytes()},
            {"Pack\\upper.GZ.gz", gzipMember(bytesOf("upper"))},
            {"Pack\\cut.gz", cut},
            {"Pack\\badcrc.gz", badCrc},
            {"Pack\\big.gz", gzipMember(sample(100000))},
            {"Pack\\small.gz", gzipMember(sample(100))},
        }));
        ASSERT_GT(openPackage("setup.exe"), 0);
    }
    const Bytes content = sample(50000);
};

TEST_F(ExtractTest, LooksUpTheGzipNameAndWritesTheContent)
{
    writeFile("out.bin", bytesOf("old content to be replaced by a shorter or longer one"));
    struct Case {
        const char *source;
        Bytes expected;
    } cases[] = {
        {"pack/TRACK.map", content},          // ".gz" appended, case ignored
        {"Pack\\empty.gz", Bytes()},
        {"Pack\\upper.GZ", bytesOf("upper")},   // suffix test is case-sensitive
    };
    for (const Case &c : cases) {
        extractEntry(c.source, "out.bin", (uint32_t)c.expected.size());
        EXPECT_EQ(readFile("out.bin"), c.expected) << c.source;
    }
    EXPECT_TRUE(host.messageBoxes.empty());
}

// The stand-in writes every box to standard error as [MessageBoxA "caption" flags] text.
TEST_F(ExtractTest, EveryFailureShowsItsBoxAndExitsWithStatusOne)
{
    struct Case {
        const char *what, *source, *output;
        uint32_t size;         // the COPY line's size
        const char *caption, *text, *written;
        long writtenSize;      // bytes the output holds afterwards; -1: absent
    } cases[] = {
        {"no such entry", "Pack\\missing", "out.bin", 1, "Error in zip file",
         "file:Pack\\missing outfile:out.bin", "out.bin", -1},
        {"output folder missing", "Pack\\track.map.gz", "no\\such\\out.bin", 50000, "Error in zip file",
         "file:Pack\\track.map.gz outfile:no\\such\\out.bin", "no/such/out.bin", -1},
        {"crc mismatch", "Pack\\badcrc.gz", "crc.bin", 50000, "Zip error - perhaps bad crc",
         "Pack\\badcrc.gz: data error", 0, 0},
        {"member cut short", "Pack\\cut.gz", "cut.bin", 200000, "Zip error - perhaps bad crc",
         "failed gzclose", 0, 0},
        {"short write (disk full)", "Pack\\big.gz", "/dev/full", 100000, "Zip error - perhaps bad crc",
         "failed fwrite", 0, 0},
        {"close fails (disk full)", "Pack\\small.gz", "/dev/full", 100, "Zip error - perhaps bad crc",
         "failed fclose", 0, 0},
        // Damage that still reads: no more than the line says reaches the disk.
        {"more than the line says", "Pack\\track.map.gz", "more.bin", 20000, "Zip error - perhaps bad crc",
         "Pack\\track.map.gz: unpacked size differs from the install script", "more.bin", 16384},
        {"less than the line says", "Pack\\track.map.gz", "less.bin", 50001, "Zip error - perhaps bad crc",
         "Pack\\track.map.gz: unpacked size differs from the install script", "less.bin", 50000},
    };
    for (const Case &c : cases) {
        EXPECT_EXIT(extractEntry(c.source, c.output, c.size), ::testing::ExitedWithCode(1),
                    ::testing::HasSubstr("[MessageBoxA \"" + std::string(c.caption) + "\" 0x0] " + c.text))
            << c.what;
        if (!c.written)
            continue;
        long size = fs::exists(c.written) ? (long)readFile(c.written).size() : -1;
        EXPECT_EQ(size, c.writtenSize) << c.what;
    }
}

// Enough entries that most are unpacked ahead on the second thread: sizes
// around the 16 KiB block and the limit of what is unpacked ahead, one entry
// stored as it is, one copied twice, one read from disk. Every file comes
// out whole. A damaged entry among them ends the pass with its box and
// status 1 after the files before it, and nothing after it is written.
TEST_F(TempDirTest, EntriesUnpackedAheadComeOutWholeAndDamageStillStops)
{
    const uint32_t sizes[] = {0, 1, 700, 16383, 16384, 16385, 40000, AHEAD_ENTRY_LIMIT, AHEAD_ENTRY_LIMIT + 1};
    const int count = 2 * AHEAD_WINDOW, damaged = 40;
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
        // on disk beside the installer, not in the package
        script += "COPY 'loose' 'loose' " + std::to_string(contents[3].size()) + "\n";
        entries.insert(entries.begin(), {"quillfen.ini", bytesOf(script)});
        writeFile("setup.exe", buildPackage(bytesOf("MZ"), entries));
        fs::remove_all("dest");
        fs::create_directory("dest");
        ASSERT_GT(openPackage("setup.exe"), 0);
        memset(&settings, 0, sizeof settings);
        strcpy(settings.destinationDir, "dest\\");
        settings.totalBytes = total + contents[7].size() + contents[3].size();
    };
    auto runAll = [] {
        int32_t step;
        while ((step = RunCopyStep()) >= 0) {
        }
        return step;
    };
    writeFile("loose.gz", gzipMember(contents[3]));
    install(0);
    EXPECT_EQ(runAll(), -2);
    for (int i = 0; i < count; i++)
        EXPECT_EQ(readFile("dest/f" + std::to_string(i)), contents[i]) << i;
    EXPECT_EQ(readFile("dest/again"), contents[7]);
    EXPECT_EQ(readFile("dest/loose"), contents[3]);
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

}  // namespace
