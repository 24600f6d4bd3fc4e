// The dialogs' decisions, without a window: the size line, the browser's
// choice, the destination accepted, the agreement text.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>

#include "app/dialogs.h"
#include "script/install_settings.h"
#include "support/package_builder.h"
#include "support/temp_dir.h"

namespace {

TEST(SizeLine, WholeKilobytesRoundUpToMegabytes)
{
    struct Row {
        uint64_t bytes;
        const char *text;
    } rows[] = {
        {0, "Installation requires 0 MB of free disk space"},
        {1023, "Installation requires 0 MB of free disk space"},         // below a whole kilobyte
        {1024, "Installation requires 1 MB of free disk space"},
        {1048576, "Installation requires 1 MB of free disk space"},
        {1048577, "Installation requires 1 MB of free disk space"},      // the byte is dropped
        {1049600, "Installation requires 2 MB of free disk space"},
    };
    for (const Row &row : rows) {
        char text[128];
        FormatSizeText(row.bytes, text, sizeof text);
        EXPECT_STREQ(text, row.text) << row.bytes;
    }
}

class DestinationTest : public TempDirTest {};

TEST_F(DestinationTest, ADriveRootPickedInTheBrowserInstallsIntoTheRoot)
{
    char destination[260];
    TakeBrowseResult("C:\\", destination, sizeof destination);
    EXPECT_STREQ(destination, "C:");
    std::error_code exists;      // Windows has drive C; the stand-in makes it a folder here
    std::filesystem::create_directory("C:", exists);
    EXPECT_EQ(AcceptDestination("C:", 12, destination, sizeof destination), DESTINATION_ACCEPTED);
    EXPECT_STREQ(destination, "C:\\");
}

TEST_F(DestinationTest, AnEmptyAgreementIsShownEmptyAndAMissingOneCountsAsAccepted)
{
    EXPECT_EQ(LoadAgreementText(), nullptr);
    writeFile("Umowa.txt", Bytes());
    char *text = LoadAgreementText();
    EXPECT_STREQ(text, "");
    free(text);
}

}  // namespace
