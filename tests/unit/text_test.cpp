// Bounded text helpers: every copy into a fixed buffer goes through them.
#include <gtest/gtest.h>

#include <string>

#include "base/text.h"

namespace {

TEST(Text, CopiesAreCutAtTheBufferAndSaySo)
{
    char buffer[6];
    EXPECT_TRUE(copyText(buffer, sizeof buffer, "12345"));
    EXPECT_STREQ(buffer, "12345");
    EXPECT_FALSE(copyText(buffer, sizeof buffer, "123456"));
    EXPECT_STREQ(buffer, "12345");
    EXPECT_TRUE(copyText(buffer, sizeof buffer, "ab"));
    EXPECT_FALSE(appendText(buffer, sizeof buffer, "cdef"));
    EXPECT_STREQ(buffer, "abcde");
}

TEST(Text, FormatKnowsTextAndNumbers)
{
    struct Case {
        size_t size;
        std::string expected;
        bool fits;
    } cases[] = {
        {64, "Installation requires -12 MB of x\\y 0 2147483647%", true},
        {20, "Installation requir", false},
        {1, "", false},
    };
    for (const Case &c : cases) {
        char buffer[64];
        EXPECT_EQ(formatText(buffer, c.size, "Installation requires %d MB of %s\\%s %d %d%", -12, "x", "y", 0,
                             2147483647),
                  c.fits);
        EXPECT_EQ(std::string(buffer), c.expected);
    }
    char buffer[16];
    formatText(buffer, sizeof buffer, "%d", (int)0x80000000u);
    EXPECT_STREQ(buffer, "-2147483648");
}

TEST(Text, EqualityIgnoresOnlyAsciiCase)
{
    EXPECT_TRUE(equalsIgnoreAsciiCase("Umowa.TXT", "umowa.txt"));
    EXPECT_FALSE(equalsIgnoreAsciiCase("umowa.txt", "umowa.tx"));
    EXPECT_FALSE(equalsIgnoreAsciiCase("\xb9", "\xa5"));      // not ASCII: exact
    EXPECT_TRUE(equalsIgnoreAsciiCase("", ""));
}

}  // namespace
