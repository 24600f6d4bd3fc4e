// Fuzz target: the copy pass over any script, run as the destination dialog
// runs it: after the settings pass, step by step until a step is negative.
// The script is the script entry of an installer that also holds the sample
// payload (fuzz_check.h); the destination is a folder in the scratch folder.
//
// Whatever the script: every step returns -2..100, the current directory
// stays, the process ends only with status 1 after a message box, and no
// file or folder appears in the scratch folder outside the destination.
//
// Extraction failures end the process with exit(1). This target is linked
// with --wrap for exit and for the calls that open and close gzip readers and
// files (wrapped by their C++ symbol names), so an exit comes back to the run,
// which then closes what the abandoned extraction held open.
#include <setjmp.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "base/text.h"
#include "fuzz/fuzz_check.h"
#include "host/host.h"
#include "package/gz_reader.h"
#include "script/install_settings.h"

namespace fs = std::filesystem;

static jmp_buf *exitLanding;               // set while the copy pass runs
static int exitStatus;
static std::set<GzReader *> openReaders;   // opened and not yet closed
static std::set<PackageFile> openFiles;    // ordinary files, likewise

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
    if (reader)
        openReaders.insert(reader);
    return reader;
}

int32_t __wrap__Z13gzReaderCloseP8GzReader(GzReader *reader)
{
    openReaders.erase(reader);
    return __real__Z13gzReaderCloseP8GzReader(reader);
}

PackageFile __wrap__Z6pfOpenPKcS0_(const char *name, const char *mode)
{
    PackageFile file = __real__Z6pfOpenPKcS0_(name, mode);
    if (file && isOrdinaryStream(file))
        openFiles.insert(file);
    return file;
}

int __wrap__Z7pfCloseP17PackageFileHandle(PackageFile file)
{
    openFiles.erase(file);
    return __real__Z7pfCloseP17PackageFileHandle(file);
}
}

namespace {

void runCopySteps()
{
    jmp_buf landing;
    if (setjmp(landing) != 0) {
        FUZZ_CHECK(exitStatus == 1 && !host.messageBoxes.empty(), "an exit without its message box or status 1");
    } else {
        exitLanding = &landing;
        int32_t step;
        while ((step = RunCopyStep()) >= 0)
            FUZZ_CHECK(step <= 100, "a step reported more than 100 percent");
        FUZZ_CHECK(step >= -2, "a step returned an unknown result");
    }
    exitLanding = 0;
    while (!openReaders.empty())
        gzReaderClose(*openReaders.begin());
    while (!openFiles.empty())
        pfClose(*openFiles.begin());
    settings.copyScriptFile = 0;   // the entry of a package about to close
}

// The folder in Windows form, with its final backslash.
std::string windowsFolder(std::string path)
{
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path + "\\";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t length)
{
    static const std::vector<TestEntry> payload = samplePayload();
    static const std::string destination = scratchPath("dest");
    static const fs::path scratch = fs::path(destination).parent_path();
    static const std::string installer = scratchPath("installer.exe");
    hostReset();
    openScriptPackage(data, length, payload);
    readSettingsFrom(SCRIPT_NAME);
    fs::create_directory(destination);
    FUZZ_CHECK(copyText(settings.destinationDir, PATH_SIZE, windowsFolder(destination).c_str()),
               "the scratch folder's path is too long");
    char before[4096], after[4096];
    FUZZ_CHECK(getcwd(before, sizeof before), "no current directory");

    runCopySteps();

    FUZZ_CHECK(getcwd(after, sizeof after) && strcmp(before, after) == 0, "the current directory changed");
    for (const fs::directory_entry &item : fs::recursive_directory_iterator(scratch)) {
        std::string path = item.path().string();
        FUZZ_CHECK(path == installer || path == destination || path.rfind(destination + "/", 0) == 0,
                   "the copy pass wrote outside the destination folder");
    }
    fs::remove_all(destination);
    closeScriptPackage();
    return 0;
}
