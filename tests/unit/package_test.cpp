// The package table: rejection of damaged directories, lookups across
// packages, closing. (Loading intact packages begins every flow and end-to-end test.)
#include <gtest/gtest.h>

#include <ctype.h>
#include <string.h>
#include <strings.h>

#include "base/bytes.h"
#include "package/package.h"
#include "support/package_builder.h"
#include "support/temp_dir.h"

namespace {

class PackageTest : public TempDirTest {};

const Bytes image = bytesOf("MZ fake image bytes");

// Each row damages one field of a valid one-entry package.
TEST_F(PackageTest, DirectoriesThatDoNotFitTheFileAreRejected)
{
    Bytes good = buildPackage(image, {{"a.txt", bytesOf("abc")}});
    size_t directory = littleEndian32(&good[good.size() - 4]);
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
    EXPECT_EQ(openPackage("short.exe"), 0);
    EXPECT_EQ(closePackage("short.exe"), -1);
    writeFile("good.exe", good);
    EXPECT_NE(openPackage("good.exe"), 0);
}

// The index must answer exactly what a walk through the packages answers:
// the first match in opening order, then directory order. Names repeat and
// differ in case across and within packages, one path is opened twice, and
// packages come and go while a handle of one of them is held.
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
    std::vector<std::string> names = {"not there"};
    PackageFile held = 0;
    for (int package = 0; package < 4; package++) {
        std::vector<TestEntry> entries = {{"only" + std::to_string(package), bytesOf("held\r\n")}};
        for (int i = 0; i < 300; i++) {
            std::string name = std::string(stems[next() % 8]) + std::to_string(next() % 90);
            entries.push_back({name, bytesOf(name)});
            names.push_back(name);
        }
        std::string path = "p" + std::to_string(package) + ".exe";
        writeFile(path, buildPackage(image, entries));
        ASSERT_GT(openPackage(path.c_str()), 0);
        if (package == 2)
            held = pfOpen("only2", "rt");
    }
    ASSERT_GT(openPackage("p0.exe"), 0);    // a second record: its entries are never the first match
    for (const char *close : {"", "P1.EXE", "p0.exe", "p3.exe", "p2.exe"}) {
        ASSERT_EQ(*close ? closePackage(close) : 0, 0) << close;   // the first record of the path, case ignored
        for (const std::string &name : names) {
            std::string upper = name;
            for (char &c : upper)
                c = (char)toupper((unsigned char)c);
            for (const std::string &asked : {name, upper})
                ASSERT_EQ(findPackageEntry(asked.c_str()), walk(asked)) << asked << " after closing " << close;
        }
        char line[16];
        if (strcmp(close, "p2.exe") != 0) {
            pfSeek(held, 0, 0);
            ASSERT_TRUE(pfGets(line, sizeof line, held)) << close;
            EXPECT_STREQ(line, "held\n") << close;
        }
    }
    ASSERT_EQ(openPackageCount, 1);
    EXPECT_EQ(closePackage("p0.exe"), 0);
}

}  // namespace
