// The version rule over the product versions of a runtime library.
#include <gtest/gtest.h>

#include <vector>

#include "system/runtime_check.h"

namespace {

TEST(RuntimeVersionsPass, MajorNumberBeforeTheFirstDot)
{
    struct Case {
        std::vector<const char *> versions;
        bool pass;
    } cases[] = {
        {{"7.0.2600.2180"}, true},
        {{"5.0"}, false},
        {{"5, 0, 0, 1"}, true},        // no dot: passes whatever the number
        {{" +6.1"}, true},             // leading blanks and sign
        {{"-7.0"}, false},
        {{"v6.0"}, false},             // no digits: 0
        {{nullptr}, true},             // unreadable
        {{}, true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(RuntimeVersionsPass(c.versions.data(), (int)c.versions.size()), c.pass)
            << (c.versions.empty() || !c.versions[0] ? "(none)" : c.versions[0]);
}

}  // namespace
