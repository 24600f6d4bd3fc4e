// What an installation made, as the uninstaller reads it from the installed
// script, and the order in which it removes it. Portable: the removals are
// handed in, so quillpack runs the uninstaller's own walk over a model of
// the installed folder.
#pragma once

#include <stdint.h>

#include "base/names.h"
#include "package/package.h"

// A list of script paths, in script order; duplicates stay.
struct PathList {
    char (*paths)[PATH_SIZE];   // heap array of count paths
    int32_t count;
    int32_t capacity;
};

// Second reading of the installed script: the destination of every COPY '
// line into files, the folder of every DIR ' line into dirs (either may be
// 0). Returns 1 when the script was read, 0 when it cannot be opened.
int CollectInstalledPaths(const char *scriptName, PathList *files, PathList *dirs);

// The same reading from a script already open in text mode, to its end.
void ReadInstalledPaths(PackageFile script, PathList *files, PathList *dirs);

void freePathList(PathList *list);

// How one path goes: the uninstaller passes DeleteFileA and RemoveDirectoryA.
// Failures are not reported back: the walk goes on whatever happens.
struct PathRemoval {
    void (*deleteFile)(const char *path, void *context);
    void (*removeFolder)(const char *path, void *context);
    void *context;
};

// Files, then folders, each first to last, in one walk: a folder that still
// holds anything at its turn stays. Script paths that the copy pass would
// have refused are passed over.
void RemoveInstalledPaths(const PathList *files, const PathList *dirs, const PathRemoval &removal);
