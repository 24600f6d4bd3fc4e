// Bounded text helpers: every copy into a fixed buffer goes through them.
#include <gtest/gtest.h>

#include <string>

#include "base/text.h"

namespace {

TEST(Text, CopiesAndFormatsAreCutAtTheBufferAndSaySo)
{
    char buffer[64];
    EXPECT_TRUE(copyText(buffer, 6, "12345"));
    EXPECT_STREQ(buffer, "12345");
    EXPECT_FALSE(copyText(buffer, 6, "123456"));
    EXPECT_STREQ(buffer, "12345");
    EXPECT_TRUE(copyText(buffer, 6, "ab"));
    EXPECT_FALSE(appendText(buffer, 6, "cdef"));
    EXPECT_STREQ(buffer, "abcde");
    const std::string whole = "Installation requires -12 MB of x\\y 0 2147483647 -2147483648%";
    for (size_t size : {64u, 20u, 1u}) {
        EXPECT_EQ(formatText(buffer, size, "Installation requires %d MB of %s\\%s %d %d %d%", -12, "x", "y", 0,
                             2147483647, (int)0x80000000u),
                  size > whole.size());
        EXPECT_EQ(std::string(buffer), whole.substr(0, size - 1)) << size;
    }
}

TEST(Text, EqualityIgnoresOnlyAsciiCase)
{
    EXPECT_TRUE(equalsIgnoreAsciiCase("Umowa.TXT AZ", "umowa.txt az"));
    EXPECT_FALSE(equalsIgnoreAsciiCase("umowa.txt", "umowa.tx"));
    EXPECT_FALSE(equalsIgnoreAsciiCase("\xb9", "\xa5"));      // not ASCII: exact
}

}  // namespace
