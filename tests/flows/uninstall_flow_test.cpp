// Both uninstall stages against the stand-in: what the uninstall stage
// removes and hands over, and what the clean-up stage deletes once it owns
// the uninstall mutex.
#include <algorithm>
#include <filesystem>

#include "flows/flow_test.h"

namespace {

namespace fs = std::filesystem;

const char SCRIPT[] = "DIR=C:\\ignored\\\r\n"
                      "PRODUCT= \"Tundra Vale Maps\"\r\n"
                      "LINK= \"a.exe\" \"a\"\r\n"                 // before GROUP=: made in the final group
                      "GROUP= \"Tundra Vale\"\r\n"
                      "DESK= \"b.exe\" \"b\"\r\n"
                      "LINK= \"quillfen.exe\" \"c\" \"-uninstall\"\r\n"
                      "KEY=x\r\nINSTALL_DLLS\r\nINSTALL_KEY=K\r\nINSTALL_VALUE=V\r\n"
                      "; COPY 'x' 'commented.txt' 1\r\n"
                      "DIR 'Data'\r\n"
                      "DIR 'Data\\Sub'\r\n"
                      "DIR 'Empty'\r\n"
                      "COPY 'p\\a.gz' 'Data\\a.txt' 1\r\n"
                      "COPY 'p\\b.gz' 'Data\\Sub\\b.txt' 1\r\n"
                      "COPY 'p\\a.gz' 'Data\\a.txt' 1\r\n"        // listed twice
                      "COPY 'p\\c.gz'  'two blanks.txt' 1\r\n"    // read as an empty path
                      "COPY 'p\\d.gz' '..\\outside.txt' 1\r\n"
                      "DIR '..\\Outside'\r\n";

class UninstallFlowTest : public FlowTest {
protected:
    std::string install;     // the installation directory, Windows form
    std::string tempCopy;    // where the hand-over puts the temporary copy

    void SetUp() override
    {
        FlowTest::SetUp();
        install = dir + "\\Tundra Vale";
        tempCopy = dir + "\\windows\\temp\\quillfen.exe";
        for (const char *folder : {"Tundra Vale/Data/Sub", "Tundra Vale/Empty", "Tundra Vale/Extra", "Outside",
                                   "windows/temp", "Programs/Tundra Vale"})
            fs::create_directories(folder);
        for (const char *file : {"Tundra Vale/Data/a.txt", "Tundra Vale/Data/Sub/b.txt", "Tundra Vale/two blanks.txt",
                                 "outside.txt", "Tundra Vale/quillfen.exe", "Programs/a.lnk",
                                 "Programs/Tundra Vale/a.lnk", "Programs/Tundra Vale/c.lnk", "Desktop/b.lnk", "Tundra Vale/Extra/keep.txt"})
            writeFile(file, bytesOf("x"));
        writeFile("Tundra Vale/quillfen.ini", bytesOf(SCRIPT));
        restart(install + "\\quillfen.exe", "\"" + install + "\\quillfen.exe\" -uninstall");
        fs::current_path("Tundra Vale");     // the link's working directory
    }
    std::string in(const std::string &path) { return dir + "/" + path; }
};

TEST_F(UninstallFlowTest, UninstallStageRemovesWhatTheScriptNamesAndHandsOver)
{
    host.shortPaths[install + "\\quillfen.exe"] = dir + "\\TUNDRA~1\\quillfen.exe";
    EXPECT_EQ(run(), 0);

    const HostMessageBox &box = host.messageBoxes.at(0);
    EXPECT_EQ(std::make_tuple(host.messageBoxes.size(), box.text, box.caption, box.flags),
              std::make_tuple(size_t(1), "Are you sure to uninstall Tundra Vale Maps?", "Uninstallation", 0x24u));

    // Links last-read first, then the group folder, files, folders (relative
    // to the installation: "Empty" goes, "Data" keeps its subfolder listed
    // after it). Nothing else is deleted: not another product's link, nor what
    // the script does not name or names outside, nor the uninstaller and its script.
    EXPECT_EQ(eventsStarting("DeleteFileA "),
              std::vector<std::string>({dir + "\\Programs\\Tundra Vale\\c.lnk", dir + "\\Desktop\\b.lnk",
                                        dir + "\\Programs\\Tundra Vale\\a.lnk", "Data\\a.txt", "Data\\Sub\\b.txt",
                                        "Data\\a.txt", ""}));
    EXPECT_EQ(eventsStarting("RemoveDirectoryA "),
              std::vector<std::string>({dir + "\\Programs\\Tundra Vale", "Data", "Data\\Sub", "Empty"}));
    EXPECT_FALSE(fs::exists(in("Tundra Vale/Empty")));

    // The hand-over: mutex first, then the copy and its start; the release last.
    const HostProcess &copy = host.processes.at(0);
    EXPECT_EQ(std::make_tuple(host.processes.size(), copy.application, copy.commandLine, copy.currentDirectory,
                              copy.inheritHandles),
              std::make_tuple(size_t(1), tempCopy, install + "\\quillfen.exe -uninstallpath " + dir + "\\TUNDRA~1",
                              dir + "\\windows\\temp", false));
    EXPECT_LT(eventIndex("CreateMutexA Brakmoor quillfen owned"), eventIndex("CopyFileA"));
    EXPECT_LT(eventIndex("CopyFileA"), eventIndex("CreateProcessA"));
    EXPECT_EQ(std::vector<std::string>(host.events.end() - 2, host.events.end()),
              std::vector<std::string>({"ReleaseMutex", "CloseHandle"}));
}

// Scripts without names, with names outside their folders or longer than
// their 260-byte slots, a No to the confirmation, and a temporary copy that
// cannot be made or started: what is deleted, whether the hand-over follows
// (its copy replacing a stale one), and the status. A path cut short would
// name another file.
TEST_F(UninstallFlowTest, EveryUninstallStageEndingDeletesOnlyWhatItNames)
{
    const std::string fits(259, 'f'), tooLong(260, 'l'), unnamed = "Are you sure to uninstall ?";
    const std::string longPaths =
        "COPY 'a' '" + fits + "' 1\r\nCOPY 'b' '" + tooLong + "' 1\r\nDIR '" + tooLong + "'\r\n";
    struct Case {
        const char *what, *script;
        std::string confirmation;
        std::vector<std::string> deleted;
        bool no = false;                  // the user answers No
        const char *fault = nullptr;      // a Win32 call that fails
        size_t windowsDirectory = 0;      // length of the Windows folder's path, or 0 as set up
    } cases[] = {
        {"no product, empty group", "GROUP= \"\"\r\nLINK= \"a\" \"x\"\r\n", unnamed, {dir + "\\Programs\\\\x.lnk"}},
        {"empty product", "PRODUCT= \"\"\r\nDESK= \"a\"\r\n", unnamed, {dir + "\\Desktop\\.lnk"}},
        {"names outside their folders",
         "GROUP= \"..\\..\\Outside\"\r\nDESK= \"x\" \"..\\Victim\"\r\nLINK= \"y\" \"..\\..\\Other\"\r\n", unnamed, {}},
        {"no script here", 0, unnamed, {}},
        {"paths longer than their slot", longPaths.c_str(), unnamed, {fits}},
        {"answered No", SCRIPT, "Are you sure to uninstall Tundra Vale Maps?", {}, true},
        {"the copy cannot be written", 0, unnamed, {}, false, "CopyFileA"},
        {"the copy cannot be started", 0, unnamed, {}, false, "CreateProcessA"},
        {"no room for the copy's path", 0, unnamed, {}, false, nullptr, 250},
    };
    for (const Case &c : cases) {
        if (c.script)
            writeFile(in("Tundra Vale/quillfen.ini"), bytesOf(c.script));
        else
            fs::remove(in("Tundra Vale/quillfen.ini"));
        writeFile(in("windows/temp/quillfen.exe"), bytesOf("stale"));
        restart(install + "\\quillfen.exe", "q -uninstall");
        if (c.no)
            host.messageBoxAnswers = {IDNO};
        if (c.fault)
            host.faults[c.fault] = {1, true};
        if (c.windowsDirectory)
            host.windowsDirectory = "C:\\" + std::string(c.windowsDirectory - 3, 'w');
        bool failed = c.fault || c.windowsDirectory, handedOver = !failed && !c.no;
        EXPECT_EQ(run(), failed ? 1 : 0) << c.what;
        EXPECT_EQ(host.messageBoxes.at(0).text, c.confirmation) << c.what;
        EXPECT_EQ(eventsStarting("DeleteFileA "), c.deleted) << c.what;
        EXPECT_TRUE(eventsStarting("RemoveDirectoryA ").empty()) << c.what;
        EXPECT_EQ(host.processes.size(), handedOver) << c.what;
        if (handedOver) {
            EXPECT_EQ(readFile(in("windows/temp/quillfen.exe")), bytesOf("x")) << c.what;
        }
    }
}

// The clean-up stage waits until the uninstall stage lets go of the mutex,
// deletes the uninstaller copy and its script (retrying while the first
// process still ends), has its own temporary copy deleted at the next start
// of Windows and says it has finished; it deletes nothing else.
TEST_F(UninstallFlowTest, CleanUpStageDeletesTheCopyOnceTheMutexIsFree)
{
    const std::string quoted = "\"" + install + "\"";
    struct Case {
        const char *what;
        std::string folder;            // after -uninstallpath
        std::deque<unsigned> waits;    // none: the mutex is free at once
        HostFault deleteFault;
        bool deleted;                  // the copy and its script are gone
        unsigned slept;                // milliseconds of retries
        bool finished;                 // the box, and the temporary copy's deletion scheduled
    } cases[] = {
        {"released after two timeouts", quoted, {WAIT_TIMEOUT, WAIT_TIMEOUT, WAIT_OBJECT_0}, {}, true, 0, true},
        {"first process ended without releasing", quoted, {WAIT_ABANDONED}, {}, true, 0, true},
        {"wait failed", quoted, {WAIT_FAILED}, {}, false, 0, false},
        {"the copy is in use at first", quoted, {}, {1, false}, true, 100, true},
        {"the copy never comes free", quoted, {}, {1, true}, false, 5000, true},
        {"its folder is gone", dir + "\\Gone", {}, {}, false, 0, true},
        {"no folder given", "", {}, {}, false, 0, true},
    };
    for (const Case &c : cases) {
        writeFile(in("Tundra Vale/quillfen.exe"), bytesOf("x"));
        writeFile(in("Tundra Vale/quillfen.ini"), bytesOf(SCRIPT));
        fs::remove(in("windows/wininit.ini"));
        restart(tempCopy, tempCopy + " -uninstallpath " + c.folder);
        fs::current_path(in("windows/temp"));
        host.waitResults = c.waits;
        host.faults["DeleteFileA"] = c.deleteFault;
        run();

        EXPECT_EQ(eventsStarting("CreateMutexA "), std::vector<std::string>({"Brakmoor quillfen unowned"})) << c.what;
        EXPECT_EQ(eventsStarting("WaitForSingleObject ").size(), std::max<size_t>(c.waits.size(), 1)) << c.what;
        EXPECT_EQ(fs::exists(in("Tundra Vale/quillfen.exe")) + fs::exists(in("Tundra Vale/quillfen.ini")),
                  c.deleted ? 0 : 2) << c.what;
        EXPECT_EQ(eventsStarting("DeleteFileA ").empty(), !c.deleted && !c.deleteFault.nth) << c.what;
        EXPECT_TRUE(fs::exists(in("Tundra Vale/Data/a.txt"))) << c.what;
        EXPECT_EQ(host.sleptMilliseconds, c.slept) << c.what;
        EXPECT_EQ(readFile(in("windows/wininit.ini")),
                  c.finished ? bytesOf("[Rename]\r\nNUL=" + tempCopy + "\r\n") : Bytes()) << c.what;
        EXPECT_EQ(eventsStarting("MoveFileExA "), std::vector<std::string>(c.finished, tempCopy + " -> (null) 4"))
            << c.what;
        EXPECT_EQ(boxes(), std::vector<std::string>(c.finished, "Uninstallation finished")) << c.what;
    }
    EXPECT_EQ(host.events.back(), "CloseHandle");
    EXPECT_EQ(std::tie(host.messageBoxes.at(0).caption, host.messageBoxes.at(0).flags),
              std::make_tuple("Uninstallation", 0x40u));
}

}  // namespace
