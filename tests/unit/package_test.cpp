// The package table: layout, loading, rejection of damaged directories,
// lookups across packages, closing.
#include <gtest/gtest.h>

#include <ctype.h>
#include <string.h>
#include <strings.h>

#include "package/package.h"
#include "support/package_builder.h"
#include "support/temp_dir.h"

namespace {

class PackageTest : public TempDirTest {};

const Bytes image = bytesOf("MZ fake image bytes");

std::vector<TestEntry> sampleEntries()
{
    return {{"quillfen.ini", bytesOf("DIR=C:\\Game\r\n")},
            {"umowa.txt", bytesOf("Umowa")},
            {"Pack\\Data\\track.map.gz", gzipMember(bytesOf("map data"))}};
}

TEST_F(PackageTest, ShippedLayoutLoadsEveryRecordInDirectoryOrder)
{
    std::vector<TestEntry> entries = sampleEntries();
    Bytes file = buildPackage(image, entries);
    writeFile("setup.exe", file);

    int32_t expectedSum = (int32_t)image.size();
    for (const TestEntry &e : entries)
        expectedSum += (int32_t)e.data.size();
    ASSERT_EQ(openPackage("setup.exe"), expectedSum);
    ASSERT_EQ(openPackageCount, 1);
    PackageRecord &record = openPackages[0];
    EXPECT_STREQ(record.path, "setup.exe");
    ASSERT_EQ(record.entryCount, 4);
    EXPECT_STREQ(record.entries[0].name, "quillfen.exe");
    EXPECT_EQ(record.entries[0].offset, 0u);
    EXPECT_EQ(record.entries[0].size, (int32_t)image.size());
    uint32_t offset = (uint32_t)image.size();
    for (int i = 1; i < 4; i++) {
        const PackageEntry &e = record.entries[i];
        EXPECT_EQ(e.tag, ENTRY_TAG);
        EXPECT_STREQ(e.name, entries[i - 1].name.c_str());
        EXPECT_EQ(e.offset, offset);
        EXPECT_EQ(e.size, (int32_t)entries[i - 1].data.size());
        EXPECT_EQ(e.position, 0);
        EXPECT_EQ(e.stream, record.stream);
        offset += (uint32_t)e.size;
    }
    // The last four bytes point at the count.
    EXPECT_EQ(wordAt(file, wordAt(file, file.size() - 4)), 4u);
}

// Each row damages one field of a valid one-entry package.
TEST_F(PackageTest, DirectoriesThatDoNotFitTheFileAreRejected)
{
    Bytes good = buildPackage(image, {{"a.txt", bytesOf("abc")}});
    size_t directory = wordAt(good, good.size() - 4);
    size_t second = directory + 4 + 16 + 13;   // the "a.txt" record
    struct Case {
        const char *what;
        size_t at;
        uint32_t value;
    } cases[] = {
        {"directory offset past the end", good.size() - 4, (uint32_t)good.size()},
        {"directory offset in the trailer", good.size() - 4, (uint32_t)good.size() - 6},
        {"count larger than the records", directory, 3},
        {"huge count", directory, 0x7FFFFFFF},
        {"entry span past the end", second + 4, (uint32_t)good.size()},
        {"entry offset past the end", second, 0xFFFFFF00u},
        {"negative size", second + 4, 0x80000000u},
        {"name length past the end", second + 12, 1000},
        {"name length zero", second + 12, 0},
        {"name without its NUL", second + 12, 5},
        {"raw length past the end", second + 8, 0x7FFFFFF0u},
    };
    for (const Case &c : cases) {
        Bytes bad = good;
        for (int i = 0; i < 4; i++)
            bad[c.at + i] = (unsigned char)(c.value >> (8 * i));
        writeFile("bad.exe", bad);
        EXPECT_EQ(openPackage("bad.exe"), 0) << c.what;
        EXPECT_EQ(openPackageCount, 0) << c.what;
    }
    writeFile("short.exe", Bytes(good.end() - 7, good.end()));   // too short for a directory
    for (const char *path : {"short.exe", "missing.exe"}) {
        EXPECT_EQ(openPackage(path), 0) << path;
        EXPECT_EQ(openPackageCount, 0) << path;
    }
    EXPECT_EQ(closePackage("missing.exe"), -1);
    writeFile("good.exe", good);
    EXPECT_NE(openPackage("good.exe"), 0);
}

TEST_F(PackageTest, SamePathTwiceGivesTwoRecordsAndLookupsPreferTheFirst)
{
    writeFile("setup.exe", buildPackage(image, sampleEntries()));
    openPackage("setup.exe");
    openPackage("setup.exe");
    ASSERT_EQ(openPackageCount, 2);
    PackageFile first = pfOpen("umowa.txt", "rb");
    EXPECT_EQ((void *)first, (void *)&openPackages[0].entries[2]);

    EXPECT_EQ(closePackage("SETUP.EXE"), 0);   // case ignored
    ASSERT_EQ(openPackageCount, 1);
    char buffer[16] = {};
    PackageFile again = pfOpen("Umowa.txt", "rb");
    ASSERT_TRUE(again);
    EXPECT_EQ(pfRead(buffer, 1, sizeof buffer, again), 5u);
    EXPECT_STREQ(buffer, "Umowa");
}

// The index must answer exactly what a walk through the packages answers:
// the first match in opening order, then directory order. Names repeat and
// differ in case across and within packages, and packages come and go.
TEST_F(PackageTest, IndexedLookupFindsWhatTheWalkFinds)
{
    auto walk = [](const std::string &name) -> PackageEntry * {
        for (int32_t p = 0; p < openPackageCount; p++)
            for (int32_t e = 0; e < openPackages[p].entryCount; e++)
                if (strcasecmp(openPackages[p].entries[e].name, name.c_str()) == 0)
                    return &openPackages[p].entries[e];
        return 0;
    };
    const char *stems[] = {"Maps\\a", "maps\\A", "MAPS\\a", "b", "B", "odd/name", "x..\\y", "\xa3\\\xbf"};
    uint32_t seed = 7;
    auto next = [&seed]() { return (seed = seed * 1103515245 + 12345) >> 16; };
    std::vector<std::string> names;
    for (int package = 0; package < 4; package++) {
        std::vector<TestEntry> entries;
        for (int i = 0; i < 300; i++) {
            std::string name = std::string(stems[next() % 8]) + std::to_string(next() % 90);
            entries.push_back({name, bytesOf(name)});
            names.push_back(name);
        }
        std::string path = "p" + std::to_string(package) + ".exe";
        writeFile(path, buildPackage(image, entries));
        ASSERT_GT(openPackage(path.c_str()), 0);
    }
    names.push_back("not there");
    for (const char *close : {"", "p1.exe", "p0.exe", "p3.exe", "p2.exe"}) {
        if (*close)
            closePackage(close);
        for (const std::string &name : names) {
            std::string upper = name;
            for (char &c : upper)
                c = (char)toupper((unsigned char)c);
            for (const std::string &asked : {name, upper})
                ASSERT_EQ(findPackageEntry(asked.c_str()), walk(asked)) << asked << " after closing " << close;
        }
    }
}

TEST_F(PackageTest, HandlesSurviveOtherPackagesOpeningAndClosing)
{
    writeFile("one.exe", buildPackage(image, {{"one.txt", bytesOf("first")}}));
    writeFile("two.exe", buildPackage(image, {{"two.txt", bytesOf("second")}}));
    writeFile("three.exe", buildPackage(image, {{"three.txt", bytesOf("third")}}));
    openPackage("one.exe");
    openPackage("two.exe");
    PackageFile two = pfOpen("two.txt", "rt");
    ASSERT_TRUE(two);
    openPackage("three.exe");
    closePackage("one.exe");
    char line[32];
    ASSERT_TRUE(pfGets(line, sizeof line, two));
    EXPECT_STREQ(line, "second");
    EXPECT_EQ(openPackageCount, 2);
    EXPECT_STREQ(openPackages[0].path, "two.exe");
}

}  // namespace
