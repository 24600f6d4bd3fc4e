// The compressed entry reader, over package entries built byte for byte.
#include <gtest/gtest.h>

#include <filesystem>

#include "package/gz_reader.h"
#include "support/package_builder.h"
#include "support/temp_dir.h"

namespace {

using namespace std::string_literals;

const Bytes content = bytesOf("The quick brown fox jumps over the lazy dog. "
                              "The quick brown fox jumps over the lazy dog.\n");

class GzReaderTest : public TempDirTest {
protected:
    // Stores data as "entry.gz" between two other entries and opens it.
    void store(const Bytes &data)
    {
        closeAllPackages();
        writeFile("setup.exe", buildPackage(bytesOf("MZ"), {{"before", bytesOf("BEFORE")},
                                                           {"entry.gz", data},
                                                           {"after", bytesOf("\x1f\x8b" "AFTER")}}));
        ASSERT_GT(openPackage("setup.exe"), 0);
    }
};

Bytes concat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A member whose header has extra field (300 NULs, so its length needs
// both bytes), name, comment and header CRC.
Bytes memberWithAllFlags(const Bytes &data)
{
    Bytes plain = gzipMember(data);
    Bytes out = concat(hexBytes("1f 8b 08 1e 00 00 00 00 00 03  2c 01"), Bytes(300, 0));
    out = concat(out, bytesOf("name.txt\0a comment\0\x12\x34"s));
    return concat(out, Bytes(plain.begin() + 10, plain.end()));
}

TEST_F(GzReaderTest, InputsDeliverTheirContentOrFailWithTheirStatusAndText)
{
    Bytes member = gzipMember(content);
    Bytes cutLength(member.begin(), member.end() - 3);   // CRC whole, length short
    Bytes badCrc = member;
    badCrc[badCrc.size() - 8] ^= 0x01;
    const char *dataError = "Entry.GZ: data error";
    struct Case {
        const char *what;
        Bytes input;
        Bytes expected;            // delivered, before a failure too
        const char *error = "";    // gzReaderError after the last read; "": not looked at
        int32_t last = 0;          // the read that ended the loop
        int32_t close = 0;         // gzReaderClose
    } cases[] = {
        {"shipped member", member, content},
        {"two members", concat(member, gzipMember(bytesOf("second"))), concat(content, bytesOf("second"))},
        {"not gzip", bytesOf("plain text, passed through"), bytesOf("plain text, passed through")},   // "after" not read
        {"trailing plain data", concat(member, bytesOf("tail")), concat(content, bytesOf("tail"))},
        {"trailing lone magic byte", concat(member, hexBytes("1f")), concat(content, hexBytes("1f"))},
        {"lone magic byte", hexBytes("1f"), hexBytes("1f")},
        {"empty entry", Bytes(), Bytes()},
        {"empty member", gzipMember(Bytes()), Bytes()},
        {"all header flags", memberWithAllFlags(content), content},
        {"length word short", cutLength, content},
        {"reserved flag 0x20", hexBytes("1f 8b 08 20 00 00 00 00 00 0b 03 00"), {}, dataError, -1, Z_DATA_ERROR},
        {"method not deflate", hexBytes("1f 8b 07 00 00 00 00 00 00 0b 03 00"), {}, dataError, -1, Z_DATA_ERROR},
        {"header cut short", hexBytes("1f 8b 08 08 00 00 00 00 00 0b 61"), {}, dataError, -1, Z_DATA_ERROR},
        {"crc mismatch", badCrc, content, dataError, -1, Z_DATA_ERROR},
        // The read that meets the fault has stored nothing: 0, then the close fails.
        {"bad block type", hexBytes("1f 8b 08 00 00 00 00 00 00 0b 07 00 00 00"), {}, "Entry.GZ: invalid block type",
         0, Z_DATA_ERROR},
    };
    for (const Case &c : cases)
        for (uint32_t block : {16384u, 1u, 7u, 64u}) {
            SCOPED_TRACE(std::string(c.what) + " block " + std::to_string(block));
            store(c.input);
            GzReader *reader = gzReaderOpen("Entry.GZ", "rb");
            ASSERT_TRUE(reader);
            std::vector<unsigned char> buffer(block);
            Bytes data;
            int last, code;
            while ((last = gzReaderRead(reader, buffer.data(), block)) > 0)
                data.insert(data.end(), buffer.begin(), buffer.begin() + last);
            EXPECT_EQ(data, c.expected);
            EXPECT_EQ(last, c.last);
            if (*c.error) {
                EXPECT_STREQ(gzReaderError(reader, &code), c.error);
            }
            EXPECT_EQ(gzReaderClose(reader), c.close);
        }
}

TEST_F(GzReaderTest, OpenFailuresAndOrdinaryFiles)
{
    store(gzipMember(content));
    EXPECT_EQ(gzReaderOpen("missing.gz", "rb"), nullptr);
    EXPECT_EQ(gzReaderOpen("entry.gz", "wb"), nullptr);

    // A name no entry has reads the file on disk.
    writeFile("disk.gz", gzipMember(content));
    GzReader *reader = gzReaderOpen("disk.gz", "rb");
    ASSERT_TRUE(reader);
    std::vector<unsigned char> buffer(4096);
    int32_t n = gzReaderRead(reader, buffer.data(), (uint32_t)buffer.size());
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + n), content);
    EXPECT_EQ(gzReaderRead(reader, buffer.data(), (uint32_t)buffer.size()), 0);
    EXPECT_EQ(gzReaderClose(reader), 0);

    // A read error of an ordinary file is an error, never the end of the
    // data: a folder opens for reading on POSIX, and then fails to read.
    std::filesystem::create_directory("folder.gz");
    reader = gzReaderOpen("folder.gz", "rb");
    if (!reader)
        GTEST_SKIP() << "folders cannot be opened as files here";
    EXPECT_EQ(gzReaderRead(reader, buffer.data(), (uint32_t)buffer.size()), -1);
    int code = 0;
    EXPECT_STREQ(gzReaderError(reader, &code), "folder.gz: file error");
    EXPECT_EQ(code, Z_ERRNO);
    EXPECT_EQ(gzReaderClose(reader), Z_ERRNO);
}

}  // namespace
