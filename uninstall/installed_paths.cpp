#include "uninstall/installed_paths.h"

#include <stdlib.h>

#include "base/path_rule.h"
#include "base/text.h"
#include "script/script_grammar.h"

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

int CollectInstalledPaths(const char *scriptName, PathList *files, PathList *dirs)
{
    PackageFile script = pfOpen(scriptName, "rt");
    if (!script)
        return 0;
    ReadInstalledPaths(script, files, dirs);
    pfClose(script);
    return 1;
}

void ReadInstalledPaths(PackageFile script, PathList *files, PathList *dirs)
{
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
}

void RemoveInstalledPaths(const PathList *files, const PathList *dirs, const PathRemoval &removal)
{
    for (int32_t i = 0; i < files->count; i++)
        if (isPayloadPlace(files->paths[i]))
            removal.deleteFile(files->paths[i], removal.context);
    for (int32_t i = 0; i < dirs->count; i++)
        if (isPathInsideFolder(dirs->paths[i]))
            removal.removeFolder(dirs->paths[i], removal.context);
}
