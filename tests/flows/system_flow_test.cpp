// What an installation leaves beside its files: the shell links, the
// program group folder, and the hand-over to the runtime redistributable.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <string.h>

#include <algorithm>
#include <filesystem>

#include "app/startup.h"
#include "host/host.h"
#include "script/install_settings.h"
#include "support/package_builder.h"
#include "support/stub_image.h"
#include "support/temp_dir.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);

namespace {

namespace fs = std::filesystem;

const std::string DEST = "C:\\Games\\Tundra\\";

class SystemFlowTest : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        hostReset();
        memset(&settings, 0, sizeof settings);
        fs::create_directories("C:/Games");
        fs::create_directory("Programs");
        fs::create_directory("Desktop");
        host.modulePath = dir + "/setup.exe";
        host.commandLine = "setup.exe";
        host.specialFolders[CSIDL_PROGRAMS] = dir + "\\Programs";
        host.specialFolders[CSIDL_DESKTOPDIRECTORY] = dir + "\\Desktop";
    }
    // Installs a script into DEST, the user pressing OK twice.
    void install(const std::string &lines)
    {
        std::string script = "DIR=" + DEST + "\r\n" + lines;
        writeFile("setup.exe", buildPackage(stubImage(), {{"quillfen.ini", bytesOf(script)},
                                                           {"vcredist.exe.gz", gzipMember(bytesOf("MZ redist"))}}));
        host.actions.push_back({HostAction::Press, IDOK, ""});
        host.actions.push_back({HostAction::Press, IDOK, ""});
        WinMain(0, 0, 0, 0);
    }
    std::string group(const std::string &name) { return dir + "\\Programs\\" + name; }
    void runtimeVersions(const char *msvcrt, const char *msvcp60)
    {
        host.versionInfo["msvcrt.dll"] = {{{0x040904b0, msvcrt}}};
        host.versionInfo["msvcp60.dll"] = {{{0x040904b0, msvcp60}}};
    }
    size_t eventIndex(const std::string &prefix)
    {
        for (size_t i = 0; i < host.events.size(); i++)
            if (host.events[i].compare(0, prefix.size(), prefix) == 0)
                return i;
        return std::string::npos;
    }
    bool successShown() { return eventIndex("MessageBoxA Installation") != std::string::npos; }
};

TEST_F(SystemFlowTest, LinksCarryEveryField)
{
    install("GROUP= \"Tundra Vale\"\r\n"
            "LINK= \"quillfen.exe\" \"Uninstallation\" \"-uninstall\"\r\n"
            "LINK= \"quillfen.exe\" \"Loud\" \"-UNINSTALL\"\r\n"
            "LINK= \"Docs\\readme.txt\" \"Read me\"\r\n"
            "DESK= \"maps.exe\" \"Tundra Maps\" \"-fullscreen\"\r\n"
            "LINK=\"bad\"\r\n");
    struct Expected {
        std::string path, target, arguments;
        int iconIndex;
    } expected[] = {
        {group("Tundra Vale\\Uninstallation.lnk"), DEST + "\\quillfen.exe", "-uninstall", 0},
        {group("Tundra Vale\\Loud.lnk"), DEST + "\\quillfen.exe", "-UNINSTALL", 0},
        {group("Tundra Vale\\Read me.lnk"), DEST + "\\Docs\\readme.txt", "", 2},
        {dir + "\\Desktop\\Tundra Maps.lnk", DEST + "\\maps.exe", "-fullscreen", 2},
        {group("Tundra Vale\\.lnk"), DEST + "\\", "", 2},    // a line whose values did not scan
    };
    ASSERT_EQ(host.links.size(), 5u);
    for (const Expected &e : expected) {
        ASSERT_TRUE(host.links.count(e.path)) << e.path;
        const HostLink &link = host.links[e.path];
        EXPECT_EQ(link.target, e.target) << e.path;
        EXPECT_EQ(link.arguments, e.arguments) << e.path;
        EXPECT_EQ(link.workingDir, DEST) << e.path;
        EXPECT_EQ(link.description, "") << e.path;
        EXPECT_EQ(link.iconPath, "") << e.path;
        EXPECT_EQ(link.iconIndex, e.iconIndex) << e.path;
    }
    EXPECT_TRUE(fs::exists("Programs/Tundra Vale/Uninstallation.lnk"));
    EXPECT_TRUE(fs::exists("Desktop/Tundra Maps.lnk"));
}

// The install record: REG_SZ, the destination with its NUL, in the key and
// value the script names; nothing without either line.
TEST_F(SystemFlowTest, TheInstallRecordIsWrittenWhereTheScriptSays)
{
    const std::string longKey = "INSTALL_KEY=" + std::string(251, 'k') + "\r\n";
    struct Case {
        const char *lines, *key, *value;      // key 0: nothing written
    } cases[] = {
        {"INSTALL_KEY=Brakmoor\\Maps\r\nINSTALL_VALUE=Dir\r\n", "software\\brakmoor\\maps", "dir"},
        {"INSTALL_KEY=Brakmoor\\Maps\r\n", "software\\brakmoor\\maps", ""},
        {"INSTALL_VALUE=Dir\r\n", "software\\", "dir"},
        {"KEY=Brakmoor\\Maps\r\n", nullptr, nullptr},
        {longKey.c_str(), nullptr, nullptr},      // SOFTWARE\\ and 251 more: cut, it would be another key
    };
    for (const Case &c : cases) {
        hostReset();
        memset(&settings, 0, sizeof settings);
        host.modulePath = dir + "/setup.exe";
        install(c.lines);
        if (!c.key) {
            EXPECT_TRUE(host.registry.empty()) << c.lines;
            continue;
        }
        ASSERT_TRUE(host.registry.count(c.key) && host.registry[c.key].count(c.value)) << c.lines;
        const HostRegistryValue &v = host.registry[c.key][c.value];
        EXPECT_EQ(v.type, (unsigned)REG_SZ) << c.lines;
        EXPECT_EQ(v.data, DEST + '\0') << c.lines;
    }
}

TEST_F(SystemFlowTest, GroupFolderIsMadeEvenWithoutLinks)
{
    install("GROUP= \"Only A Folder\"\r\n");
    EXPECT_TRUE(fs::is_directory("Programs/Only A Folder"));
    EXPECT_TRUE(host.links.empty());
    EXPECT_TRUE(successShown());
}

TEST_F(SystemFlowTest, FailuresToResolveOrSaveAreSilent)
{
    host.specialFolders.erase(CSIDL_PROGRAMS);     // no group: LINK= skipped, DESK= made
    host.faults["CoCreateInstance"] = {2, false};  // the second link object cannot be made
    install("GROUP= \"G\"\r\nLINK= \"a.exe\" \"A\"\r\nDESK= \"b.exe\" \"B\"\r\nDESK= \"c.exe\" \"C\"\r\n");
    EXPECT_FALSE(fs::exists("Programs/G"));
    EXPECT_EQ(host.links.size(), 1u);
    EXPECT_TRUE(host.links.count(dir + "\\Desktop\\B.lnk"));
    EXPECT_TRUE(successShown());

    // An unresolved desktop sends DESK= links to the group folder.
    hostReset();
    memset(&settings, 0, sizeof settings);
    host.modulePath = dir + "/setup.exe";
    host.specialFolders[CSIDL_PROGRAMS] = dir + "\\Programs";
    install("GROUP= \"G\"\r\nDESK= \"b.exe\" \"B\"\r\n");
    EXPECT_TRUE(host.links.count(group("G\\B.lnk")));
}

TEST_F(SystemFlowTest, NamesThatLeaveTheirFolderAreShownAndNotUsed)
{
    install("GROUP= \"..\\Outside\"\r\nLINK= \"a.exe\" \"A\"\r\nDESK= \"b.exe\" \"..\\Victim\"\r\n"
            "DESK= \"c.exe\" \"C\"\r\n");
    std::vector<std::string> boxes;
    for (const HostMessageBox &box : host.messageBoxes)
        if (box.caption == "Error")
            boxes.push_back(box.text);
    EXPECT_EQ(boxes, std::vector<std::string>({"..\\Outside", "..\\Victim"}));
    EXPECT_FALSE(fs::exists("Outside"));
    EXPECT_EQ(host.links.size(), 1u);                    // only the desktop link with a safe name
    EXPECT_TRUE(host.links.count(dir + "\\Desktop\\C.lnk"));
}

TEST_F(SystemFlowTest, StepsAfterTheDialogsRunInOrder)
{
    runtimeVersions("7.0.2600", "6.0.8168");
    install("GROUP= \"G\"\r\nLINK= \"a.exe\" \"A\"\r\nINSTALL_KEY=K\r\nINSTALL_DLLS\r\n");
    size_t registry = eventIndex("RegSetValueExA"), link = eventIndex("IPersistFile::Save"),
           success = eventIndex("MessageBoxA Installation"), dialog = eventIndex("DialogBoxParamA 102");
    ASSERT_NE(success, std::string::npos);
    EXPECT_LT(dialog, registry);
    EXPECT_LT(registry, link);
    EXPECT_LT(link, success);
    EXPECT_TRUE(host.processes.empty());       // good libraries: no redistributable
    EXPECT_EQ(host.debugOutput.substr(0, 18), "bAreGoodDlls=true\n");
}

TEST_F(SystemFlowTest, RuntimeCheckRunsInEveryModeAndStopsAtTheFirstFailure)
{
    struct Case {
        const char *commandLine, *msvcrt, *msvcp60;
        const char *line;
        bool secondExamined;
    } cases[] = {
        {"q.exe -uninstall", "7.0", "6.0", "bAreGoodDlls=true\n", true},
        {"q.exe -uninstallpath C:\\x", "5.0.1", "6.0", "bAreGoodDlls=false\n", false},
        {"q.exe -uninstall", "6.1", "5.2", "bAreGoodDlls=false\n", true},
        {"q.exe -uninstall", 0, "6.0", "bAreGoodDlls=false\n", false},   // no version information
    };
    for (const Case &c : cases) {
        hostReset();
        host.commandLine = c.commandLine;
        if (c.msvcrt)
            runtimeVersions(c.msvcrt, c.msvcp60);
        WinMain(0, 0, 0, 0);
        EXPECT_EQ(host.debugOutput, c.line) << c.commandLine;
        EXPECT_EQ(eventIndex("GetFileVersionInfoSizeA msvcp60.dll") != std::string::npos, c.secondExamined);
        EXPECT_TRUE(host.dialogs.empty());
    }
}

TEST_F(SystemFlowTest, VersionTablesOfOneLibrary)
{
    struct Case {
        const char *what;
        HostVersionInfo info;
        bool good;
    } cases[] = {
        {"two translations 6 and 5", {{{0x04090000, "6.0"}, {0x04150000, "5.0"}}}, false},
        {"two translations 6 and 7", {{{0x04090000, "6.0"}, {0x04150000, "7.0"}}}, true},
        {"commas, no dot", {{{0x040904b0, "5, 0, 0, 1"}}}, true},
        {"table shorter than 4 bytes", {{{0x040904b0, "1.0"}}, 3}, true},
        {"unreadable product version", {{{0x040904b0, ""}}}, true},
    };
    for (const Case &c : cases) {
        hostReset();
        host.commandLine = "q.exe -uninstall";
        host.versionInfo["msvcrt.dll"] = c.info;
        host.versionInfo["msvcp60.dll"] = {{{0x040904b0, "6.0"}}};
        WinMain(0, 0, 0, 0);
        EXPECT_EQ(host.debugOutput, c.good ? "bAreGoodDlls=true\n" : "bAreGoodDlls=false\n") << c.what;
    }
}

TEST_F(SystemFlowTest, FailingLibrariesWithoutRedistributableSaySoInsteadOfSuccess)
{
    runtimeVersions("5.0", "6.0");
    install("INSTALL_DLLS\r\n");
    ASSERT_FALSE(host.messageBoxes.empty());
    EXPECT_EQ(host.messageBoxes.back().text, "VCRedits.exe couldn't be spawned");
    EXPECT_EQ(host.messageBoxes.back().caption, "Error");
    EXPECT_EQ(host.messageBoxes.back().flags, 0x1040u);
    EXPECT_FALSE(successShown());
    EXPECT_EQ(openPackageCount, 0);
}

TEST_F(SystemFlowTest, RedistributableReplacesTheInstaller)
{
    runtimeVersions("5.0", "6.0");
    EXPECT_EXIT(install("INSTALL_DLLS\r\nCOPY 'vcredist.exe' 'vcredist.exe' 9\r\n"), ::testing::ExitedWithCode(0),
                "\\[CreateProcessA \"C:.Games.Tundra.vcredist.exe\" \"vcredist.exe\" in \"[^\"]*\"\\]\n$");
}

TEST_F(SystemFlowTest, WithoutInstallDllsNothingIsStarted)
{
    runtimeVersions("5.0", "6.0");
    install("COPY 'vcredist.exe' 'vcredist.exe' 9\r\n");
    EXPECT_TRUE(host.processes.empty());
    EXPECT_TRUE(successShown());
}

}  // namespace
