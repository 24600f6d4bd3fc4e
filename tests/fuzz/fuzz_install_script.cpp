// Fuzz target: the install script's whole life. The installer reads it as
// its package entry: the settings pass, then the copy pass step by step into
// a folder in the scratch folder. The uninstaller reads the installed copy,
// an ordinary file, with no package open: the settings pass, then the paths
// it removes. Whatever the bytes: both readings give the same lines (each
// pfGets into a 1024-byte buffer, and the position after it) and the same
// settings, whose text fields end inside their buffers; each copy step
// returns -2..100, the current directory stays, the process ends only with
// status 1 after a message box; at the end the scratch folder holds only
// the installer, the installed copy and the empty destination.
//
// Extraction failures end the process with exit(1): --wrap for exit and for
// opening and closing gzip readers and files (C++ symbol names) brings an
// exit back to the run, which closes what the abandoned extraction held open.
#include <setjmp.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include <filesystem>
#include <mutex>
#include <set>

#include "fuzz/fuzz_check.h"
#include "host/host.h"
#include "package/gz_reader.h"
#include "package/unpack_ahead.h"
#include "script/install_settings.h"
#include "uninstall/installed_paths.h"

static jmp_buf *exitLanding;               // set while the copy pass runs
static int exitStatus;
static std::set<GzReader *> openReaders;   // opened and not yet closed
static std::set<PackageFile> openFiles;    // likewise, entries included
static std::mutex openLock;                // the unpacking-ahead thread closes readers too
static const std::filesystem::path home = std::filesystem::current_path();

extern "C" {
[[noreturn]] void __real_exit(int status);
GzReader *__real__Z12gzReaderOpenPKcS0_(const char *name, const char *mode);
int32_t __real__Z13gzReaderCloseP8GzReader(GzReader *reader);
PackageFile __real__Z6pfOpenPKcS0_(const char *name, const char *mode);
int __real__Z7pfCloseP17PackageFileHandle(PackageFile file);

[[noreturn]] void __wrap_exit(int status)
{
    if (!exitLanding)
        __real_exit(status);
    exitStatus = status;
    longjmp(*exitLanding, 1);
}

GzReader *__wrap__Z12gzReaderOpenPKcS0_(const char *name, const char *mode)
{
    GzReader *reader = __real__Z12gzReaderOpenPKcS0_(name, mode);
    std::lock_guard<std::mutex> hold(openLock);
    return *openReaders.insert(reader).first;
}

int32_t __wrap__Z13gzReaderCloseP8GzReader(GzReader *reader)
{
    {
        std::lock_guard<std::mutex> hold(openLock);
        openReaders.erase(reader);
    }
    return __real__Z13gzReaderCloseP8GzReader(reader);
}

PackageFile __wrap__Z6pfOpenPKcS0_(const char *name, const char *mode)
{
    PackageFile file = __real__Z6pfOpenPKcS0_(name, mode);
    std::lock_guard<std::mutex> hold(openLock);
    return *openFiles.insert(file).first;
}

int __wrap__Z7pfCloseP17PackageFileHandle(PackageFile file)
{
    {
        std::lock_guard<std::mutex> hold(openLock);
        openFiles.erase(file);
    }
    return __real__Z7pfCloseP17PackageFileHandle(file);
}
}

namespace {

typedef std::vector<std::pair<std::string, int32_t>> Lines;   // whole buffer, position after

// The sample add-on's files under the entry names and with the unpacked
// sizes its script gives them, an entry that is not gzip, one whose CRC is
// wrong, and the script's place.
std::vector<TestEntry> payload()
{
    static const char *const names[] = {
        "Docs\\Readme.txt.gz", "Data\\heights.csv.gz", "Maps\\vale_north.map.gz", "Maps\\vale_south.map.gz",
        "Maps\\Arctic\\floe.map.gz", "Maps\\Arctic\\glacier.map.gz", "Textures\\ice.bmp.gz", "plain.gz", "damaged.gz"};
    static const uint32_t sizes[] = {903, 130, 4106, 3850, 2314, 204298, 3126, 40, 100};
    std::vector<TestEntry> entries;
    for (size_t i = 0; i < 9; i++)
        entries.push_back({names[i], gzipMember(Bytes(sizes[i], (unsigned char)('a' + i)))});
    entries[7].data = Bytes(sizes[7], 'h');
    entries[8].data[entries[8].data.size() - 8] ^= 0x01;
    entries.push_back({SCRIPT_NAME, {}});
    return entries;
}

// One reading of the script that name opens: its lines, then the settings
// pass from its start, on settings cleared as at start-up.
Lines readScript(const char *name)
{
    PackageFile file = pfOpen(name, "rt");
    fuzzCheck(file != 0, "the script cannot be opened");
    Lines lines;
    char buffer[SCRIPT_LINE_SIZE] = {};
    while (pfGets(buffer, sizeof buffer, file))
        lines.push_back({std::string(buffer, sizeof buffer), pfTell(file)});
    memset(&settings, 0, sizeof settings);
    pfSeek(file, 0, 0);
    settings.scriptFile = file;
    ReadSettings();
    pfClose(file);
    settings.scriptFile = 0;
    return lines;
}

bool endsInside(const char *text, size_t size)
{
    return memchr(text, '\0', size) != 0;
}

void checkSettings(const InstallSettings &s)
{
    bool ended = endsInside(s.installKey, sizeof s.installKey) && endsInside(s.installValue, sizeof s.installValue);
    for (const char *field : {s.destinationDir, s.groupName, s.productName})
        ended = ended && endsInside(field, PATH_SIZE);
    for (const ShortcutRecord &l : s.shortcuts)   // the fields that the settings pass writes
        for (const char *field : {l.targetName, l.arguments, l.linkName, l.linkFolder})
            ended = ended && endsInside(field, PATH_SIZE);
    fuzzCheck(ended, "a text field of the settings runs past its buffer");
    fuzzCheck(s.shortcutCount >= 0 && s.shortcutCount <= SHORTCUT_SLOTS, "more links than slots");
    fuzzCheck(s.longestPath < PATH_SIZE, "a measured path is longer than a path buffer");
}

void runCopyPass()
{
    jmp_buf landing;
    if (setjmp(landing) != 0) {
        fuzzCheck(exitStatus == 1 && !host.messageBoxes.empty(), "an exit without its message box or status 1");
    } else {
        exitLanding = &landing;
        int32_t step;
        while ((step = RunCopyStep()) >= 0)
            fuzzCheck(step <= 100, "a step reported more than 100 percent");
        fuzzCheck(step >= -2, "a step returned an unknown result");
    }
    exitLanding = 0;
    stopUnpackingAhead();    // what the exit's clean-up does
    while (!openReaders.empty())
        gzReaderClose(*openReaders.begin());
    while (!openFiles.empty())
        pfClose(*openFiles.begin());
}

// The uninstaller's reading of the paths and their removal, from the
// destination, where it runs. Its one walk leaves a folder listed before its
// subfolders, so here it walks again while that removes a folder.
void uninstall(const char *script, const char *destination)
{
    PathList files = PathList(), dirs = PathList();
    fuzzCheck(CollectInstalledPaths(script, &files, &dirs) == 1, "the installed copy cannot be read");
    for (const PathList *list : {&files, &dirs})
        for (int32_t i = 0; i < list->count; i++)
            fuzzCheck(endsInside(list->paths[i], PATH_SIZE), "a collected path runs past its slot");
    std::filesystem::current_path(destination);
    for (bool removed = true; removed;) {
        removed = false;
        PathRemoval removal = {[](const char *path, void *) { DeleteFileA(path); },
                               [](const char *path, void *done) { *(bool *)done |= RemoveDirectoryA(path) != 0; },
                               &removed};
        RemoveInstalledPaths(&files, &dirs, removal);
    }
    std::filesystem::current_path(home);
    freePathList(&files);
    freePathList(&dirs);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t length)
{
    static const std::string installer = scratchPath("installer.exe"), installed = scratchPath(SCRIPT_NAME),
                             destination = scratchPath("dest");
    static std::vector<TestEntry> entries = payload();
    static InstallSettings installerSettings;
    hostReset();
    host.specialFolders[CSIDL_DESKTOPDIRECTORY] = "C:\\Users\\Player\\Desktop";
    entries.back().data = Bytes(data, data + length);
    writeFile(installer, buildPackage(bytesOf("MZ"), entries));
    fuzzCheck(openPackage(installer.c_str()) > 0 && openPackageCount == 1, "a well-formed installer did not load");
    Lines entryLines = readScript(SCRIPT_NAME);
    checkSettings(settings);
    memcpy(&installerSettings, &settings, sizeof settings);
    std::filesystem::create_directory(destination);
    snprintf(settings.destinationDir, PATH_SIZE, "%s\\", destination.c_str());
    runCopyPass();
    fuzzCheck(std::filesystem::current_path() == home, "the current directory changed");
    fuzzCheck(closePackage(installer.c_str()) == 0 && openPackageCount == 0, "closing the installer");

    writeFile(installed, Bytes(data, data + length));
    fuzzCheck(readScript(installed.c_str()) == entryLines, "the installed copy reads other lines than the entry");
    fuzzCheck(memcmp(&settings, &installerSettings, sizeof settings) == 0,
              "the uninstaller's settings differ from the installer's");
    uninstall(installed.c_str(), destination.c_str());
    for (const auto &item : std::filesystem::recursive_directory_iterator(scratchPath("")))
        fuzzCheck(item.path() == installer || item.path() == installed || item.path() == destination,
                  "the copy pass wrote outside the destination, or the uninstaller left what it made");
    return 0;
}
