// The settings pass over scripts stored in a package, as start-up reads them.
#include <gtest/gtest.h>

#include <string.h>

#include <functional>

#include "script/install_settings.h"
#include "support/package_builder.h"
#include "support/temp_dir.h"

namespace {

class SettingsPassTest : public TempDirTest {
protected:
    // Stores script as the package's "quillfen.ini" and runs the pass on it.
    void read(const std::string &script)
    {
        closeAllPackages();
        writeFile("setup.exe", buildPackage(bytesOf("MZ"), {{"quillfen.ini", bytesOf(script)},
                                                           {"after", bytesOf("\nGROUP= \"not this\"\n")}}));
        ASSERT_GT(openPackage("setup.exe"), 0);
        memset(&settings, 0, sizeof settings);
        settings.scriptFile = pfOpen("quillfen.ini", "rt");
        ASSERT_TRUE(settings.scriptFile);
        EXPECT_EQ(ReadSettings(), 1);
    }
};

TEST_F(SettingsPassTest, TextFieldsFollowTheKeywordAndQuoteRules)
{
    std::string long300(300, 'x');
    struct Case {
        const char *what;
        std::string script;
        char *field;
        std::string expected;
    } cases[] = {
        {"CR LF gone", "PRODUCT= \"Maps\"\r\nKEY=x\r\n", settings.productName, "Maps"},
        {"blanks inside quotes", "GROUP= \"  two  \"\n", settings.groupName, "two  "},
        {"no gap before quote", "GROUP=\"G\"\n", settings.groupName, ""},
        {"empty value keeps earlier", "GROUP= \"A\"\nGROUP= \"\"\n", settings.groupName, "A"},
        {"later line wins", "GROUP= \"A\"\nGROUP= \"B\"\n", settings.groupName, "B"},
        {"lower-case keyword", "group= \"G\"\n", settings.groupName, ""},
        {"leading blank", " GROUP= \"G\"\n", settings.groupName, ""},
        {"value cut at its field", "GROUP= \"" + long300 + "\"\n", settings.groupName, std::string(259, 'x')},
        {"dir gains backslash", "DIR=C:\\Games\\Tundra\r\n", settings.destinationDir, "C:\\Games\\Tundra\\"},
        {"dir of 258 and its backslash fit", "DIR=" + std::string(258, 'd') + "\n", settings.destinationDir,
         std::string(258, 'd') + "\\"},
        {"dir of 259 is cut with no room left", "DIR=" + std::string(259, 'd') + "\n", settings.destinationDir,
         std::string(259, 'd')},
        {"dir without line feed", "DIR=C:\\Last", settings.destinationDir, "C:\\Last\\"},
        {"empty dir stays empty", "DIR=\n", settings.destinationDir, ""},
        {"DIR ' is not DIR=", "DIR 'Data'\n", settings.destinationDir, ""},
        // 1023 characters make one read; the rest is a line of its own.
        {"a long line's 1024th character", "; " + std::string(1021, 'c') + "GROUP= \"Piece\"\n", settings.groupName,
         "Piece"},
        {"after a long line", "; " + std::string(1100, 'd') + "\nPRODUCT= \"P\"\n", settings.productName, "P"},
        {"install key cut", "INSTALL_KEY=" + long300 + "\n", settings.installKey, std::string(255, 'x')},
    };
    for (const Case &c : cases) {
        read(c.script);
        EXPECT_EQ(std::string(c.field), c.expected) << c.what;
    }
}

TEST_F(SettingsPassTest, FlagsSizesAndTheSixteenLinks)
{
    read("INSTALL_VALUE=V\n");     // either record line alone asks for the record
    EXPECT_TRUE(settings.bWriteInstallKey && !settings.bInstallDlls);
    read("INSTALL_DLLSanything\n");
    EXPECT_TRUE(settings.bInstallDlls && !settings.bWriteInstallKey);
    std::string links;     // lines past the sixteenth link are ignored
    for (int i = 0; i < 20; i++)
        links += "LINK= \"t" + std::to_string(i) + "\" \"l\" \"a\"\n";
    read(links);
    EXPECT_EQ(settings.shortcutCount, 16);
    EXPECT_STREQ(settings.shortcuts[15].targetName, "t15");

    struct Case {
        const char *what;
        std::string script;
        uint64_t total;
    } cases[] = {
        {"two sizes", "COPY 'a.gz' 'a' 300\r\nCOPY 'b.gz' 'b' 700\r\n", 1000},
        {"blanks in destination", "COPY 'a.gz' 'My Maps\\a b.map'   42\n", 42},
        {"past 32 bits", "COPY 'a' 'a' 4294967295\nCOPY 'b' 'b' 4294967295\nCOPY 'c' 'c' 2\n", 8589934592ull},
        {"no size", "COPY 'a' 'a'\nCOPY 'b' 'b' 5\n", 5},
        {"no closing apostrophe", "COPY 'a' 'a 7\nCOPY 'b' 'b' 5\n", 5},
        {"size too large", "COPY 'a' 'a' 4294967296\n", 0},
        {"lower-case copy", "copy 'a' 'a' 9\n", 0},
    };
    for (const Case &c : cases) {
        read(c.script);
        EXPECT_EQ(settings.totalBytes, c.total) << c.what;
    }
}

}  // namespace
