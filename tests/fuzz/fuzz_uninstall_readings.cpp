// Fuzz target: the uninstaller's two readings of the installed script,
// against the installer's reading of the same bytes.
//
// The installer reads the script as its package entry; the uninstaller
// reads the installed copy, an ordinary file, with no package open: first
// the settings pass, then CollectInstalledPaths. Whatever the bytes, both
// readings give the same lines (each pfGets into a 1024-byte buffer, and the
// position after it) and the same settings; every collected path ends inside
// its slot; and every COPY destination and DIR folder that the copy pass
// would take is among the collected paths, in script order, so that the
// uninstaller removes what the installer made.
#include <shlobj.h>
#include <string.h>

#include <utility>

#include "fuzz/fuzz_check.h"
#include "host/host.h"
#include "script/install_settings.h"
#include "script/script_grammar.h"
#include "uninstall/uninstall.h"

namespace {

typedef std::vector<std::pair<std::string, int32_t>> Lines;   // whole buffer, position after

Lines linesOf(const char *name)
{
    PackageFile file = pfOpen(name, "rt");
    FUZZ_CHECK(file != 0, "the script cannot be opened");
    Lines lines;
    char buffer[SCRIPT_LINE_SIZE];
    for (;;) {
        memset(buffer, 0, sizeof buffer);
        if (!pfGets(buffer, sizeof buffer, file))
            break;
        lines.push_back({std::string(buffer, sizeof buffer), pfTell(file)});
    }
    pfClose(file);
    return lines;
}

// The COPY destinations and DIR folders that the copy pass takes from lines.
void pathsTaken(const Lines &lines, std::vector<std::string> &files, std::vector<std::string> &dirs)
{
    for (const auto &line : lines) {
        const char *rest;
        ScriptKeyword keyword = lineKeyword(line.first.c_str(), &rest);
        CopyLine copy;
        char folder[PATH_SIZE];
        if (keyword == KEYWORD_COPY && parseCopyLine(rest, &copy) == LINE_OK)
            files.push_back(copy.destination);
        if (keyword == KEYWORD_FOLDER && parseDirLine(rest, folder, sizeof folder) == LINE_OK)
            dirs.push_back(folder);
    }
}

// True when list holds every path of wanted, in the same order.
bool holdsInOrder(const PathList &list, const std::vector<std::string> &wanted)
{
    size_t next = 0;
    for (int32_t i = 0; i < list.count; i++) {
        FUZZ_CHECK(memchr(list.paths[i], '\0', PATH_SIZE), "a collected path runs past its slot");
        if (next < wanted.size() && wanted[next] == list.paths[i])
            next++;
    }
    return next == wanted.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t length)
{
    static const std::string installed = scratchPath(SCRIPT_NAME);
    static InstallSettings installerSettings;
    host.specialFolders[CSIDL_DESKTOPDIRECTORY] = "C:\\Users\\Player\\Desktop";

    openScriptPackage(data, length);
    Lines entryLines = linesOf(SCRIPT_NAME);
    readSettingsFrom(SCRIPT_NAME);
    memcpy(&installerSettings, &settings, sizeof settings);
    closeScriptPackage();

    writeFile(installed, Bytes(data, data + length));
    FUZZ_CHECK(linesOf(installed.c_str()) == entryLines, "the installed copy reads other lines than the entry");
    readSettingsFrom(installed.c_str());
    checkSettings();
    FUZZ_CHECK(memcmp(&settings, &installerSettings, sizeof settings) == 0,
               "the uninstaller's settings differ from the installer's");

    PathList files = PathList(), dirs = PathList();
    FUZZ_CHECK(CollectInstalledPaths(installed.c_str(), &files, &dirs) == 1, "the installed copy cannot be read");
    std::vector<std::string> copied, made;
    pathsTaken(entryLines, copied, made);
    FUZZ_CHECK(holdsInOrder(files, copied), "a file the copy pass writes is not collected");
    FUZZ_CHECK(holdsInOrder(dirs, made), "a folder the copy pass makes is not collected");
    freePathList(&files);
    freePathList(&dirs);
    return 0;
}
