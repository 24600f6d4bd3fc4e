// What an installation leaves beside its files: the shell links, the
// program group folder, and the hand-over to the runtime redistributable.
#include <algorithm>
#include <filesystem>

#include "flows/flow_test.h"

namespace {

namespace fs = std::filesystem;

const std::string DEST = "C:\\Games\\Tundra\\";

class SystemFlowTest : public FlowTest {
protected:
    // Installs a script into DEST, the user pressing OK twice.
    void install(const std::string &lines)
    {
        fs::create_directories("C:/Games");
        writeFile("setup.exe", buildPackage(stubImage(), {{"quillfen.ini", bytesOf("DIR=" + DEST + "\r\n" + lines)},
                                                          {"vcredist.exe.gz", gzipMember(bytesOf("MZ redist"))}}));
        runAccepting();
    }
    std::string group(const std::string &name) { return dir + "\\Programs\\" + name; }
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
        const HostLink &l = host.links[e.path];
        EXPECT_EQ(std::tie(l.target, l.arguments, l.workingDir, l.description, l.iconPath, l.iconIndex),
                  std::make_tuple(e.target, e.arguments, DEST, "", "", e.iconIndex)) << e.path;
    }
    EXPECT_TRUE(fs::exists("Programs/Tundra Vale/Uninstallation.lnk"));    // in the group folder it made
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
        restartInstaller();
        install(c.lines);
        EXPECT_EQ(host.registry.size(), c.key ? 1u : 0u) << c.lines;
        if (c.key) {
            const HostRegistryValue &v = host.registry[c.key][c.value];
            EXPECT_EQ(std::tie(v.type, v.data), std::make_tuple((unsigned)REG_SZ, DEST + '\0')) << c.lines;
        }
    }
}

TEST_F(SystemFlowTest, FailuresToResolveOrSaveAreSilent)
{
    host.specialFolders.erase(CSIDL_PROGRAMS);     // no group: LINK= skipped, DESK= made
    host.faults["CoCreateInstance"] = {2, false};  // the second link object cannot be made
    install("GROUP= \"G\"\r\nLINK= \"a.exe\" \"A\"\r\nDESK= \"b.exe\" \"B\"\r\nDESK= \"c.exe\" \"C\"\r\n");
    EXPECT_FALSE(fs::exists("Programs/G"));
    EXPECT_EQ(host.links.size(), 1u);
    EXPECT_TRUE(host.links.count(dir + "\\Desktop\\B.lnk"));
    EXPECT_EQ(boxes(), std::vector<std::string>({"Installation successfully completed"}));

    // An unresolved desktop sends DESK= links to the group folder.
    restartInstaller();
    host.specialFolders.erase(CSIDL_DESKTOPDIRECTORY);
    install("GROUP= \"G\"\r\nDESK= \"b.exe\" \"B\"\r\n");
    EXPECT_TRUE(host.links.count(group("G\\B.lnk")));
}

TEST_F(SystemFlowTest, NamesThatLeaveTheirFolderAreShownAndNotUsed)
{
    install("GROUP= \"..\\Outside\"\r\nLINK= \"a.exe\" \"A\"\r\nDESK= \"b.exe\" \"..\\Victim\"\r\n"
            "DESK= \"c.exe\" \"C\"\r\n");
    EXPECT_EQ(boxes(), std::vector<std::string>({"..\\Outside", "..\\Victim", "Installation successfully completed"}));
    EXPECT_EQ(host.messageBoxes.at(0).caption, "Error");
    EXPECT_FALSE(fs::exists("Outside"));
    EXPECT_EQ(host.links.size(), 1u);                    // only the desktop link with a safe name
    EXPECT_TRUE(host.links.count(dir + "\\Desktop\\C.lnk"));
}

TEST_F(SystemFlowTest, StepsAfterTheDialogsRunInOrder)
{
    host.versionInfo["msvcrt.dll"] = {{{0x040904b0, "7.0.2600"}}};
    host.versionInfo["msvcp60.dll"] = {{{0x040904b0, "6.0.8168"}}};
    install("GROUP= \"G\"\r\nLINK= \"a.exe\" \"A\"\r\nINSTALL_KEY=K\r\nINSTALL_DLLS\r\n");
    std::vector<size_t> order = {eventIndex("DialogBoxParamA 102"), eventIndex("RegSetValueExA"),
                                 eventIndex("IPersistFile::Save"), eventIndex("MessageBoxA Installation")};
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()) && order.back() != std::string::npos)
        << ::testing::PrintToString(order);
    EXPECT_TRUE(host.processes.empty());       // good libraries: no redistributable
}

// The check reads every translation's product version of both libraries,
// in every run mode, and stops at the first library that fails.
TEST_F(SystemFlowTest, RuntimeCheckRunsInEveryModeAndStopsAtTheFirstFailure)
{
    struct Case {
        const char *commandLine;
        HostVersionInfo msvcrt;         // no translation: no version information
        const char *msvcp60;
        const char *line;
        bool secondExamined;
    } cases[] = {
        {"q.exe -uninstall", {{{0x040904b0, "7.0"}}}, "6.0", "bAreGoodDlls=true\n", true},
        {"q.exe -uninstallpath C:\\x", {{{0x040904b0, "5.0.1"}}}, "6.0", "bAreGoodDlls=false\n", false},
        {"q.exe -uninstall", {{{0x040904b0, "6.1"}}}, "5.2", "bAreGoodDlls=false\n", true},
        {"q.exe -uninstall", {}, "6.0", "bAreGoodDlls=false\n", false},
        {"q.exe -uninstall", {{{0x04090000, "6.0"}, {0x04150000, "5.0"}}}, "6.0", "bAreGoodDlls=false\n", false},
        {"q.exe -uninstall", {{{0x040904b0, "1.0"}}, 3}, "6.0", "bAreGoodDlls=true\n", true},   // table under 4 bytes
    };
    for (const Case &c : cases) {
        restart(dir + "/q.exe", c.commandLine);
        if (!c.msvcrt.productVersions.empty())
            host.versionInfo["msvcrt.dll"] = c.msvcrt;
        host.versionInfo["msvcp60.dll"] = {{{0x040904b0, c.msvcp60}}};
        run();
        EXPECT_EQ(host.debugOutput, c.line) << c.commandLine;
        EXPECT_EQ(eventIndex("GetFileVersionInfoSizeA msvcp60.dll") != std::string::npos, c.secondExamined);
    }
}

TEST_F(SystemFlowTest, RedistributableReplacesTheInstaller)
{
    // No version information for the runtime libraries: the check fails.
    EXPECT_EXIT(install("INSTALL_DLLS\r\nCOPY 'vcredist.exe' 'vcredist.exe' 9\r\n"), ::testing::ExitedWithCode(0),
                "\\[CreateProcessA \"C:.Games.Tundra.vcredist.exe\" \"vcredist.exe\" in \"[^\"]*\"\\]\n$");
}

}  // namespace
