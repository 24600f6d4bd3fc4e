// The command line: splitting in place, and the options it selects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/startup.h"
#include "script/install_settings.h"

namespace {

// Splits line as the command line; startup.argTable points into it until the next call.
std::vector<std::string> split(const std::string &line)
{
    static std::vector<char> text;
    text.assign(line.begin(), line.end());
    text.push_back('\0');
    SplitCommandLineText(text.data());
    return std::vector<std::string>(startup.argTable, startup.argTable + startup.argCount);
}

typedef std::vector<std::string> Tokens;

TEST(SplitCommandLine, TokensFollowTheQuoteAndBlankRules)
{
    struct Case {
        const char *line;
        Tokens tokens;
    } cases[] = {
        {"", {}},
        {"\"C:\\Program Files\\Game\\quillfen.exe\" -uninstall", {"C:\\Program Files\\Game\\quillfen.exe", "-uninstall"}},
        {"C:\\Temp Dir\\q.exe  -x\t\tC:\\Game\\", {"C:\\Temp", "Dir\\q.exe", "-x", "C:\\Game\\"}},   // no escapes
        {"\"a b\"c", {"a b", "c"}},              // a closing quote ends the token at once
        {"\"a\tb\" c", {"a", "b\"", "c"}},        // a tab ends a quoted token too
        {"x\"y z", {"x\"y", "z"}},               // a quote inside a plain token belongs to it
        {"\"open to the end", {"open to the end"}},
        {"a \"\" b", {"a", "", "b"}},            // two quotes: an empty token
    };
    for (const Case &c : cases)
        EXPECT_EQ(split(c.line), c.tokens) << c.line;
}

TEST(ParseOptions, RunModeAndUninstallPath)
{
    std::string tooLong(300, 'p');
    struct Case {
        std::string line;
        uint32_t mode;
        const char *destination;
    } cases[] = {
        {"-uninstall", RUN_INSTALL, "untouched"},              // the first token is the program
        {"q.exe -UNINSTALL", RUN_UNINSTALL, "untouched"},
        {"q.exe -uninstallx", RUN_INSTALL, "untouched"},
        {"q.exe -UninstallPath \"C:\\Program Files\\Game\\\"", RUN_CLEANUP, "C:\\Program Files\\Game\\"},
        {"q.exe -uninstallpath C:\\Game -uninstall", RUN_UNINSTALL, "C:\\Game"},
        {"q.exe -uninstallpath -uninstall", RUN_CLEANUP, "-uninstall"},
        {"q.exe -uninstallpath", RUN_CLEANUP, ""},             // no value: empty
        {"q.exe -uninstallpath " + tooLong, RUN_CLEANUP, ""},  // does not fit: empty
        {"q.exe -uninstallpath A -uninstallpath B", RUN_CLEANUP, "B"},
    };
    for (const Case &c : cases) {
        strcpy(settings.destinationDir, "untouched");
        split(c.line);
        ParseOptions();
        EXPECT_EQ(startup.runMode, c.mode) << c.line;
        EXPECT_STREQ(settings.destinationDir, c.destination) << c.line;
    }
}

}  // namespace
