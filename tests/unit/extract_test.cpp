// Entry extraction: the names it looks up, what it writes, and every
// failure row: its message box, the caption, and exit status 1.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "host/host.h"
#include "package/extract.h"
#include "support/package_builder.h"
#include "support/temp_dir.h"

namespace {

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
        long size = std::filesystem::exists(c.written) ? (long)readFile(c.written).size() : -1;
        EXPECT_EQ(size, c.writtenSize) << c.what;
    }
}

}  // namespace
