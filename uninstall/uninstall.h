// The uninstaller: two stages in two processes. The uninstall stage
// ("-uninstall", in the installation directory) removes the links, the
// program group folder, the installed files and the script's folders, then
// hands over to a temporary copy of itself. The clean-up stage
// ("-uninstallpath DIR") waits for the first process to let go of the
// uninstall mutex, deletes the uninstaller copy and its script, and has
// Windows delete the temporary copy at its next start.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "base/names.h"

// A list of script paths, in script order; duplicates stay.
struct PathList {
    char (*paths)[PATH_SIZE];   // heap array of count paths
    int32_t count;
    int32_t capacity;
};

// Runs the stage that runMode selects. Returns the uninstall mutex, owned,
// for start-up to release and close; 0 when the user declined or the
// clean-up stage could not wait for the mutex.
HANDLE RunUninstall();

// Second reading of the installed script: the destination of every COPY '
// line into files, the folder of every DIR ' line into dirs (either may be
// 0). Returns 1 when the script was read, 0 when it cannot be opened.
int CollectInstalledPaths(const char *scriptName, PathList *files, PathList *dirs);

void freePathList(PathList *list);

// ---- The two halves of self-removal ----

// Starts the temporary copy in the Windows temp folder with "-uninstallpath"
// and the short form of the installation directory; returns the mutex,
// created owned before the copy starts. A copy that cannot be written or
// started sets exit status 1.
HANDLE HandOver();
// The clean-up stage in the temporary copy. A failed wait for the mutex
// deletes nothing and sets exit status 1.
HANDLE CleanUp();
