// The uninstall stage: two readings of the installed script, with the
// confirmation, the links and the group folder between them.
#include "uninstall/uninstall.h"

#include <shlobj.h>

#include <stdlib.h>
#include <string.h>

#include "app/messages.h"
#include "app/startup.h"
#include "package/package.h"
#include "package/text.h"
#include "script/install_settings.h"
#include "script/script_lines.h"
#include "system/shortcuts.h"

static bool appendPath(PathList *list, const char *path)
{
    if (list->count == list->capacity) {
        int32_t capacity = list->capacity ? list->capacity * 2 : 32;
        void *grown = realloc(list->paths, sizeof(list->paths[0]) * (size_t)capacity);
        if (!grown)
            return false;
        list->paths = (char(*)[260])grown;
        list->capacity = capacity;
    }
    copyText(list->paths[list->count++], 260, path);
    return true;
}

void freePathList(PathList *list)
{
    free(list->paths);
    *list = PathList();
}

// A LINK= or DESK= line of the first reading: the link's name and folder.
// A LINK= folder is built from the group name read so far. An unresolved
// folder leaves linkFolder empty, and that link is not deleted.
static void readLink(const char *text, bool onDesktop)
{
    if (settings.shortcutCount >= SHORTCUT_SLOTS)
        return;
    ShortcutRecord *link = &settings.shortcuts[settings.shortcutCount++];
    char *fields[] = {link->targetName, link->linkName, link->arguments};
    scanQuotedValues(text, fields, 3);
    char folder[MAX_PATH];
    if (onDesktop && SpecialFolderPath(CSIDL_DESKTOPDIRECTORY, folder)) {
        copyText(link->linkFolder, sizeof link->linkFolder, folder);
    } else if (SpecialFolderPath(CSIDL_PROGRAMS, folder)) {
        char groupFolder[256];     // where the installer put it
        if (formatText(groupFolder, sizeof groupFolder, "%s\\%s", folder, settings.groupName))
            copyText(link->linkFolder, sizeof link->linkFolder, groupFolder);
    }
}

static void firstReading()
{
    PackageFile script = pfOpen("quillfen.ini", "rt");
    if (!script)
        return;
    char line[1024];
    while (pfGets(line, sizeof line, script)) {
        if (line[0] == ';')
            continue;
        char *field;
        if (startsWith(line, "GROUP=")) {
            field = settings.groupName;
            scanQuotedValues(line + 6, &field, 1);
        } else if (startsWith(line, "LINK=")) {
            readLink(line + 5, false);
        } else if (startsWith(line, "DESK=")) {
            readLink(line + 5, true);
        } else if (startsWith(line, "PRODUCT=")) {
            field = settings.productName;
            scanQuotedValues(line + 8, &field, 1);
        }
    }
    pfClose(script);
}

// A field of the second reading: from start to the next apostrophe, or to
// the end of the line as read. False when it does not fit its 260 bytes:
// cut short it would name another file.
static bool takeField(const char *start, char *field)
{
    bool fits = copyText(field, 260, start);
    char *end = strchr(field, '\'');
    if (end)
        *end = '\0';
    return fits || end;
}

int CollectInstalledPaths(const char *scriptName, PathList *files, PathList *dirs)
{
    PackageFile script = pfOpen(scriptName, "r");
    if (!script)
        return 0;
    char line[1024];
    char field[260];
    while (pfGets(line, sizeof line, script)) {
        if (line[0] == ';')
            continue;
        if (startsWith(line, "DIR '")) {
            if (takeField(line + 5, field) && dirs)
                appendPath(dirs, field);
        } else if (startsWith(line, "COPY '")) {
            // The destination starts three characters after the apostrophe
            // that closes the source: apostrophe, separator, apostrophe.
            const char *sourceEnd = strchr(line + 6, '\'');
            if (!sourceEnd || !sourceEnd[1] || !sourceEnd[2])
                continue;
            if (takeField(sourceEnd + 3, field) && files)
                appendPath(files, field);
        }
    }
    pfClose(script);
    return 1;
}

static bool confirmed()
{
    char text[260];
    formatText(text, sizeof text, messageTable[MSG_CONFIRM_UNINSTALL], settings.productName);
    return MessageBoxA(0, text, messageTable[MSG_UNINSTALLATION], MB_YESNO | MB_ICONQUESTION) != IDNO;
}

static void removeLinksAndGroup()
{
    for (int32_t i = settings.shortcutCount - 1; i >= 0; i--) {
        const ShortcutRecord *link = &settings.shortcuts[i];
        if (link->linkFolder[0] == '\0')
            continue;
        char path[260];
        if (formatText(path, sizeof path, "%s\\%s.lnk", link->linkFolder, link->linkName))
            DeleteFileA(path);
    }
    char programs[MAX_PATH];
    if (settings.groupName[0] == '\0' || !SpecialFolderPath(CSIDL_PROGRAMS, programs))
        return;
    char group[260];
    if (formatText(group, sizeof group, "%s\\%s", programs, settings.groupName))
        RemoveDirectoryA(group);
}

// Files, then folders, each first to last, in one walk: a folder that still
// holds anything at its turn stays. Script paths that would lead outside the
// installation directory are passed over.
static void removeInstalledPaths(const PathList *files, const PathList *dirs)
{
    for (int32_t i = 0; i < files->count; i++)
        if (isPathInsideDestination(files->paths[i]))
            DeleteFileA(files->paths[i]);
    for (int32_t i = 0; i < dirs->count; i++)
        if (isPathInsideDestination(dirs->paths[i]))
            RemoveDirectoryA(dirs->paths[i]);
}

HANDLE RunUninstall()
{
    if (runMode != RUN_UNINSTALL)
        return CleanUp();
    firstReading();
    if (!confirmed())
        return 0;
    removeLinksAndGroup();
    PathList files = PathList(), dirs = PathList();
    CollectInstalledPaths("quillfen.ini", &files, &dirs);
    removeInstalledPaths(&files, &dirs);
    freePathList(&files);
    freePathList(&dirs);
    return HandOver();
}
