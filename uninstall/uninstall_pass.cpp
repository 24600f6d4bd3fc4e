// The uninstall stage: two readings of the installed script, with the
// confirmation, the links and the group folder between them.
#include "uninstall/uninstall.h"

#include <stdlib.h>
#include <string.h>

#include "base/messages.h"
#include "base/path_rule.h"
#include "base/startup_state.h"
#include "base/text.h"
#include "package/package.h"
#include "script/install_settings.h"
#include "script/script_grammar.h"
#include "system/shortcuts.h"

static bool appendPath(PathList *list, const char *path)
{
    if (list->count == list->capacity) {
        int32_t capacity = list->capacity ? list->capacity * 2 : 32;
        void *grown = realloc(list->paths, sizeof(list->paths[0]) * (size_t)capacity);
        if (!grown)
            return false;
        list->paths = (char(*)[PATH_SIZE])grown;
        list->capacity = capacity;
    }
    copyText(list->paths[list->count++], PATH_SIZE, path);
    return true;
}

void freePathList(PathList *list)
{
    free(list->paths);
    *list = PathList();
}

// The first reading is the installer's own settings pass over the installed
// copy, so the product, the group and every link slot come out as the
// installer saw them.
static void firstReading()
{
    settings.scriptFile = pfOpen(SCRIPT_NAME, "rt");
    if (!settings.scriptFile)
        return;
    ReadSettings();
    pfClose(settings.scriptFile);
    settings.scriptFile = 0;
}

int CollectInstalledPaths(const char *scriptName, PathList *files, PathList *dirs)
{
    PackageFile script = pfOpen(scriptName, "rt");
    if (!script)
        return 0;
    char line[SCRIPT_LINE_SIZE];
    char path[PATH_SIZE];
    while (pfGets(line, sizeof line, script)) {
        const char *rest;
        ScriptKeyword keyword = lineKeyword(line, &rest);
        if (keyword == KEYWORD_FOLDER && installedFolderOfDirLine(rest, path, sizeof path) && dirs)
            appendPath(dirs, path);
        else if (keyword == KEYWORD_COPY && installedFileOfCopyLine(rest, path, sizeof path) && files)
            appendPath(files, path);
    }
    pfClose(script);
    return 1;
}

static bool confirmed()
{
    char text[PATH_SIZE];
    formatText(text, sizeof text, messageTable[MSG_CONFIRM_UNINSTALL], settings.productName);
    return MessageBoxA(0, text, messageTable[MSG_UNINSTALLATION], MB_YESNO | MB_ICONQUESTION) != IDNO;
}

// Each link from the folder the installer made it in: the desktop, or the
// group folder of the final GROUP= line. Names that would leave their folder
// are passed over.
static void removeLinksAndGroup()
{
    char groupFolder[PATH_SIZE];
    bool haveGroup = ScriptGroupFolder(groupFolder, sizeof groupFolder);
    for (int32_t i = settings.shortcutCount - 1; i >= 0; i--) {
        ShortcutRecord *link = &settings.shortcuts[i];
        char path[PATH_SIZE];
        if (AssignLinkFolder(link, haveGroup ? groupFolder : 0) && LinkFilePath(link, path, sizeof path))
            DeleteFileA(path);
    }
    if (settings.groupName[0] != '\0' && haveGroup)
        RemoveDirectoryA(groupFolder);
}

// Files, then folders, each first to last, in one walk: a folder that still
// holds anything at its turn stays. Script paths that the copy pass would
// have refused are passed over.
static void removeInstalledPaths(const PathList *files, const PathList *dirs)
{
    for (int32_t i = 0; i < files->count; i++)
        if (isPayloadPlace(files->paths[i]))
            DeleteFileA(files->paths[i]);
    for (int32_t i = 0; i < dirs->count; i++)
        if (isPathInsideFolder(dirs->paths[i]))
            RemoveDirectoryA(dirs->paths[i]);
}

HANDLE RunUninstall()
{
    if (startup.runMode != RUN_UNINSTALL)
        return CleanUp();
    firstReading();
    if (!confirmed())
        return 0;
    removeLinksAndGroup();
    PathList files = PathList(), dirs = PathList();
    CollectInstalledPaths(SCRIPT_NAME, &files, &dirs);
    removeInstalledPaths(&files, &dirs);
    freePathList(&files);
    freePathList(&dirs);
    return HandOver();
}
