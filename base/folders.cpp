#include "base/folders.h"

#include <windows.h>
#include <shlobj.h>

#include <string.h>

#include "base/names.h"
#include "base/report.h"
#include "base/text.h"

static void showCreateDirectoryError()
{
    showError("CreateDirectory error!");
}

int MakePath(const char *path)
{
    char work[PATH_SIZE];
    if (!copyText(work, sizeof work, path)) {
        showCreateDirectoryError();
        return 0;
    }
    // Each prefix up to a backslash is one level; a bare drive ("C:") is
    // not made.
    char *search = work + (work[0] ? 1 : 0);
    for (;;) {
        char *backslash = strchr(search, '\\');
        if (backslash)
            *backslash = '\0';
        bool bareDrive = strcmp(work + (work[0] ? 1 : 0), ":") == 0;
        if (!bareDrive && !CreateDirectoryA(work, 0) && GetLastError() != ERROR_ALREADY_EXISTS) {
            showCreateDirectoryError();
            return 0;
        }
        if (!backslash)
            return 1;
        *backslash = '\\';
        search = backslash + 1;
    }
}

bool SpecialFolderPath(int folder, char *path, size_t size)
{
    path[0] = '\0';
    LPITEMIDLIST list = 0;
    if (SHGetSpecialFolderLocation(0, folder, &list) != S_OK)
        return false;
    char resolved[MAX_PATH];
    bool ok = SHGetPathFromIDListA(list, resolved);
    CoTaskMemFree(list);
    if (!ok || !copyText(path, size, resolved)) {
        path[0] = '\0';
        return false;
    }
    return true;
}
