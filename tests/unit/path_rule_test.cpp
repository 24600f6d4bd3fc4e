// The path rule every script name meets, and the places a COPY line may
// never write.
#include <gtest/gtest.h>

#include "base/path_rule.h"

namespace {

TEST(PathRule, NamesThatCouldLeaveTheirFolderOrNameADeviceAreRefused)
{
    struct Row {
        const char *path;
        PathProblem expected;
    } rows[] = {
        {"Maps/Arctic/floe.map", PATH_INSIDE},
        {"", PATH_INSIDE},                           // the folder itself
        {"a..b\\..x\\.hidden", PATH_INSIDE},          // dots inside names are fine
        {"console.txt\\nullable\\com10\\lpt", PATH_INSIDE},
        {"\\Windows\\x", PATH_ABSOLUTE},
        {"\\\\?\\C:\\x", PATH_ABSOLUTE},
        {"C:x", PATH_COLON},
        {"Maps\\a:b", PATH_COLON},                    // a stream of a file
        {"..\\x", PATH_PARENT_STEP},
        {"Maps/../../x", PATH_PARENT_STEP},
        {"NUL", PATH_DEVICE},
        {"d\\nul.txt", PATH_DEVICE},
        {"aux.tar.gz", PATH_DEVICE},                  // the name before the first dot counts
        {"Com1", PATH_DEVICE},
        {"LPT9\\x", PATH_DEVICE},
        {"con .txt", PATH_DEVICE},
        {"Games..\\x", PATH_COMPONENT_END},           // Windows would write to Games\x
        {"Maps \\x", PATH_COMPONENT_END},
        {".\\x", PATH_COMPONENT_END},
        {"x ", PATH_COMPONENT_END},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.expected, relativePathProblem(row.path)) << row.path;
}

TEST(PathRule, PayloadNeverReplacesTheUninstallerCopyOrItsScript)
{
    EXPECT_TRUE(isPayloadPlace("Maps\\quillfen.exe"));
    EXPECT_FALSE(isPayloadPlace("QUILLFEN.EXE"));
    EXPECT_FALSE(isPayloadPlace("Quillfen.Ini"));
    EXPECT_FALSE(isPayloadPlace("quillfen.exe."));
    EXPECT_FALSE(isPayloadPlace("..\\x"));
}

}  // namespace
