// Whole installations: the dialogs, the disk, the registry, the debugger
// output and the boxes. The folder "C:" in each test's folder stands for drive C.
#include <filesystem>
#include <regex>

#include "flows/flow_test.h"
#include "package/package.h"

namespace {

namespace fs = std::filesystem;

const char DEFAULT_DIR[] = "C:\\Program Files\\Brakmoor\\Tundra Vale\\";
const std::string INSTALLED = "C:/Program Files/Brakmoor/Tundra Vale/";

const Bytes IMAGE = stubImage();
const Bytes AGREEMENT = bytesOf("Umowa licencyjna\r\nPunkt \xb9 1\r\nKoniec");
const Bytes MAP = bytesOf(std::string(3000, 'm')), TEXTURE = bytesOf(std::string(7000, 't'));

std::string standardScript(const std::string &extra = "")
{
    return "; sample\r\n"
           "DIR=C:\\Program Files\\Brakmoor\\Tundra Vale\r\n"
           "PRODUCT= \"Tundra Vale Maps\"\r\n"
           "GROUP= \"Tundra Vale Maps\"\r\n"
           "LINK= \"quillfen.exe\" \"Uninstallation\" \"-uninstall\"\r\n"
           "INSTALL_KEY=Brakmoor\\TundraMaps\r\n"
           "INSTALL_VALUE=MapsDir\r\n"
           "DIR 'Maps'\r\n"
           "DIR 'Maps\\Arctic'\r\n"
           "COPY 'Pack\\Maps\\Arctic\\ice field.map.gz' 'Maps\\Arctic\\ice field.map' 3000\r\n"
           "COPY 'Pack\\Textures\\snow.bmp' 'Maps\\snow.bmp' 7000\r\n" +
           extra;
}

class InstallFlowTest : public FlowTest {
protected:
    void SetUp() override
    {
        FlowTest::SetUp();
        fs::create_directory("C:");
        writeFile("setup.exe", tundra(standardScript()));
    }
    // The Tundra Vale installer: script, a redistributable, two payload
    // files, one more for scripts to copy, and the agreement unless left out.
    static Bytes tundra(const std::string &script, bool withAgreement = true)
    {
        std::vector<TestEntry> entries = {{"quillfen.ini", bytesOf(script)},
                                          {"Pack\\vcredist.exe.gz", gzipMember(bytesOf("MZ redistributable"))},
                                          {"Pack\\Maps\\Arctic\\ice field.map.gz", gzipMember(MAP)},
                                          {"Pack\\Textures\\snow.bmp.gz", gzipMember(TEXTURE)},
                                          {"Pack\\outside.gz", gzipMember(bytesOf("outside"))}};
        if (withAgreement)
            entries.push_back({"umowa.txt", AGREEMENT});
        return buildPackage(IMAGE, entries);
    }
};

TEST_F(InstallFlowTest, DefaultInstallationInstallsEverything)
{
    EXPECT_EQ(runAccepting(), 0);

    ASSERT_EQ(host.dialogs.size(), 2u);
    HostDialog &agreement = host.dialogs[0], &destination = host.dialogs[1];
    HostControl *bar = destination.control(1006);
    EXPECT_EQ(std::tie(agreement.templateId, agreement.focus, agreement.control(1000)->text),
              std::make_tuple(101, 1000, std::string(AGREEMENT.begin(), AGREEMENT.end())));
    EXPECT_EQ(std::tie(destination.templateId, destination.broughtToTop, destination.result, bar->rangeLow,
                       bar->rangeHigh, bar->positions),
              std::make_tuple(102, true, 1, 0, 100, std::vector<int>({0, 0, 0, 30, 100})));
    EXPECT_EQ(destination.control(1002)->textHistory.front(), DEFAULT_DIR);
    EXPECT_EQ(destination.control(1005)->textHistory,
              std::vector<std::string>({"Installation requires 1 MB of free disk space", "Copying files, please wait"}));

    EXPECT_EQ(readFile(INSTALLED + "Maps/Arctic/ice field.map"), MAP);
    EXPECT_EQ(readFile(INSTALLED + "Maps/snow.bmp"), TEXTURE);
    EXPECT_EQ(readFile(INSTALLED + "quillfen.exe"), IMAGE);
    EXPECT_EQ(readFile(INSTALLED + "quillfen.ini"), bytesOf(standardScript()));
    EXPECT_EQ(host.debugOutput, std::string("bAreGoodDlls=false\nbefora file unpack\n") + DEFAULT_DIR +
                                    "Maps\\Arctic\\ice field.map" + DEFAULT_DIR + "Maps\\snow.bmp" +
                                    "after file unpack\nafter file unpack end dialog\n");
    // The success box follows a pause of a second.
    const HostMessageBox &box = host.messageBoxes.at(0);
    EXPECT_EQ(std::make_tuple(host.messageBoxes.size(), box.text, box.caption, box.flags, host.sleptMilliseconds),
              std::make_tuple(size_t(1), "Installation successfully completed", "Installation", 0x1040u, 1000u));
}

// The field starts with the registry's destination; the browser, cancelled
// once, replaces it; the installation goes where the field says.
TEST_F(InstallFlowTest, TheFieldStartsWithTheRegistryDestinationAndTakesTheBrowsersChoice)
{
    fs::create_directories("C:/Picked");
    hostSetRegistryString("SOFTWARE\\Brakmoor\\Tundravale", "DestinationDir", "C:\\Games\\Tundra");
    host.browseAnswers = {"", "C:\\Picked\\"};
    press(IDOK);
    press(1010);
    press(1010);
    press(IDOK);
    run();
    EXPECT_EQ(host.browseFlags, 1);
    EXPECT_EQ(host.dialogs[1].control(1002)->textHistory,
              std::vector<std::string>({"C:\\Games\\Tundra", "C:\\Picked"}));
    EXPECT_EQ(readFile("C:/Picked/Maps/snow.bmp"), TEXTURE);
    std::string value;
    hostRegistryString("SOFTWARE\\Brakmoor\\TundraMaps", "MapsDir", &value);
    EXPECT_EQ(value, "C:\\Picked\\");

    // An empty value, or one too long for its buffer, leaves the default.
    for (std::string stored : {std::string(""), std::string(256, 'x')}) {
        restartInstaller();
        hostSetRegistryString("SOFTWARE\\Brakmoor\\Tundravale", "DestinationDir", stored);
        press(IDOK);
        press(IDCANCEL);
        run();
        ASSERT_EQ(host.dialogs.size(), 2u);
        EXPECT_EQ(host.dialogs[1].control(1002)->textHistory.front(), DEFAULT_DIR) << stored.size();
    }
}

TEST_F(InstallFlowTest, WrongPathKeepsTheDialogOpenForAnotherTry)
{
    // The longest name the script writes is "Maps\Arctic\ice field.map", 25
    // characters: below a folder of 233 it still fits 259, below 234 not.
    const std::string deepest = "C:\\" + std::string(230, 'd'), tooDeep = "C:\\e" + std::string(230, 'd');
    writeFile("C:/a file", bytesOf("x"));
    const std::string refused[] = {"C:\\a file", "", "Games", "C:Games", "\\\\server\\share", "C:\\Games..",
                                   "C:\\Games \\x", "C:\\a\\NUL\\b", "C:\\a\\x:y", tooDeep};
    press(IDOK);
    for (const std::string &typed : refused) {
        type(1002, typed);
        press(IDOK);
    }
    type(1002, deepest);
    press(IDOK);
    EXPECT_EQ(run(), 0);
    std::vector<std::string> expected(std::size(refused), "Wrong path");
    expected.push_back("Installation successfully completed");
    EXPECT_EQ(boxes(), expected);
    EXPECT_EQ(std::tie(host.messageBoxes.at(0).caption, host.messageBoxes.at(0).flags), std::make_tuple("Error", 0u));
    for (std::string made : {"Games", "C:/Games", "C:/Games..", "C:/a", "C:/e"})
        EXPECT_FALSE(fs::exists(made)) << made;      // refused before anything is made
    EXPECT_EQ(readFile("C:/" + deepest.substr(3) + "/Maps/Arctic/ice field.map"), MAP);
}

// Every way a run ends: the boxes it shows, its exit status, and whether it
// records the installation. Files already copied stay: nothing is rolled
// back. A damaged installer shows one box and reads nothing, not even the
// script and payload planted beside it (only the bare image reads those).
TEST_F(InstallFlowTest, EveryEndingShowsItsBoxesAndTellsItByTheStatus)
{
    const std::string success = "Installation successfully completed", installError = "Error while installing files",
                      damaged = "This installer is damaged and cannot install anything. Please download it again.";
    writeFile("quillfen.ini", bytesOf("DIR=C:\\Planted\r\nCOPY 'planted.gz' 'planted.txt' 7\r\n"));
    writeFile("planted.gz", gzipMember(bytesOf("planted")));
    const Bytes standard = tundra(standardScript()), shortImage(IMAGE.begin(), IMAGE.end() - 0x100);
    const std::vector<int> both = {IDOK, IDOK};
    struct Case {
        const char *what;
        Bytes installer;
        std::vector<int> presses;
        const char *fault;          // a Win32 call whose first call fails, or none
        std::vector<std::string> boxes;
        int status;
        bool copied, recorded;      // the payload is in the destination; the registry value is written
    } cases[] = {
        {"agreement declined", standard, {IDCANCEL}, nullptr, {}, 0, false, false},
        {"destination cancelled", standard, {IDOK, IDCANCEL}, nullptr, {}, 0, false, false},
        {"no agreement in the package", tundra(standardScript(), false), {IDOK}, nullptr, {success}, 0, true, true},
        {"a folder step failed",
         tundra(standardScript("DIR 'No\\Parent'\r\nCOPY 'Pack\\outside.gz' 'later.txt' 7\r\n")), both, nullptr,
         {installError}, 1, true, false},
        {"a folder outside", tundra(standardScript("DIR '..\\Outside'\r\n")), both, nullptr,
         {"..\\Outside", installError}, 1, true, false},
        {"the first folder cannot be made", standard, {IDOK, IDOK, IDOK}, "CreateDirectoryA",
         {"CreateDirectory error!", success}, 0, true, true},
        {"the registry refuses", standard, both, "RegCreateKeyExA", {success}, 0, true, false},
        {"a dialog cannot be made", standard, {}, "DialogBoxParamA", {}, 1, false, false},
        {"redistributable not started", tundra(standardScript("INSTALL_DLLS\r\n")), both, nullptr,
         {"VCRedits.exe couldn't be spawned"}, 1, true, true},
        {"damaged: no install script", buildPackage(IMAGE, {{"umowa.txt", AGREEMENT}}), both, nullptr, {damaged}, 1,
         false, false},
        {"damaged: a raw length", buildPackage(IMAGE, {{"quillfen.ini", bytesOf("x"), 1}}), both, nullptr, {damaged},
         1, false, false},
        {"damaged: entry 0 is not the image", buildPackage(shortImage, {{"quillfen.ini", bytesOf("x")}}), both,
         nullptr, {damaged}, 1, false, false},
    };
    for (const Case &c : cases) {
        restartInstaller();
        fs::remove_all("C:");
        fs::create_directory("C:");
        writeFile("setup.exe", c.installer);
        for (int id : c.presses)
            press(id);
        if (c.fault)
            host.faults[c.fault] = {1};
        EXPECT_EQ(run(), c.status) << c.what;
        EXPECT_EQ(boxes(), c.boxes) << c.what;
        std::string value;
        EXPECT_EQ(c.recorded, hostRegistryString("SOFTWARE\\Brakmoor\\TundraMaps", "MapsDir", &value)) << c.what;
        EXPECT_EQ(c.copied, readFile(INSTALLED + "Maps/snow.bmp") == TEXTURE) << c.what;
        for (std::string never :
             {INSTALLED + "later.txt", std::string("C:/Program Files/Brakmoor/Outside"), std::string("C:/Planted")})
            EXPECT_FALSE(fs::exists(never)) << c.what << ": " << never;
        EXPECT_EQ(openPackageCount, 0) << c.what;
    }
}

TEST_F(InstallFlowTest, NoInstallationWithoutItsUninstaller)
{
    fs::create_directories(INSTALLED + "quillfen.exe");   // a folder in its place
    EXPECT_EQ(runAccepting(), 1);
    EXPECT_EQ(boxes(), std::vector<std::string>({"Error while installing files"}));
    EXPECT_FALSE(fs::exists(INSTALLED + "Maps"));
}

// A COPY line to a place outside the destination, or onto the uninstaller's
// script, shows the name in an error box and ends the process.
TEST_F(InstallFlowTest, CopyLinesNeverWriteOutsideTheDestination)
{
    for (std::string name : {"..\\outside.txt", "C:\\outside.txt", "QUILLFEN.INI"}) {
        restartInstaller();
        writeFile("setup.exe", tundra(standardScript("COPY 'Pack\\outside.gz' '" + name + "' 7\r\n")));
        std::string box = std::regex_replace(name, std::regex("[\\\\.]"), "\\$&");
        EXPECT_EXIT(runAccepting(), ::testing::ExitedWithCode(1), "\"Error\" 0x0\\] " + box + "\n") << name;
    }
    EXPECT_FALSE(fs::exists("C:/Program Files/Brakmoor/outside.txt"));
    EXPECT_FALSE(fs::exists("C:/outside.txt"));
}

}  // namespace
