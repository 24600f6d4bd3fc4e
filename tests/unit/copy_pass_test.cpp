// The copy pass step by step, on real folders.
#include <gtest/gtest.h>

#include <string.h>

#include <filesystem>

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
    // The results of the steps up to the first negative one (or the 50th).
    std::vector<int32_t> runAll()
    {
        std::vector<int32_t> results = {RunCopyStep()};
        while (results.back() >= 0 && results.size() < 50)
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

TEST(CopyProgress, IsExactForTotalsOfSeveralGigabytes)
{
    EXPECT_EQ(ProgressPercent(4294967295ull, 3 * 4294967295ull), 33);
    EXPECT_EQ(ProgressPercent(2 * 4294967295ull, 3 * 4294967295ull), 66);
    EXPECT_EQ(ProgressPercent(0, 0), 100);
}

}  // namespace
