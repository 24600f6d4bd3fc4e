// The copy pass: one DIR ' or COPY ' line per step, so the destination
// dialog can move its progress bar between files.
#include "script/install_settings.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/messages.h"
#include "package/extract.h"
#include "package/text.h"
#include "script/script_lines.h"

// A script path that would lead outside the destination is shown with the
// caption "Error"; nothing is written for it.
static void refuseUnsafePath(const char *path)
{
    MessageBoxA(0, path, messageTable[MSG_ERROR], MB_OK);
}

// The percentage after a step; a script without sizes counts as done.
static int32_t progress()
{
    if (settings.totalBytes == 0)
        return 100;
    return (int32_t)((int64_t)(settings.copiedBytes * 100) / (int64_t)settings.totalBytes);
}

// Unpacks the entry of one COPY ' line. A line or full path that does not
// fit its buffer, or that leads outside the destination, ends the process
// like an entry that cannot be unpacked.
static int32_t copyFile(const char *text)
{
    CopyLine line;
    LineStatus status = parseCopyLine(text, &line);
    if (status == LINE_MALFORMED)
        return -1;
    if (status == LINE_TOO_LONG)
        refuseExtraction(text, settings.destinationDir);
    if (!isPathInsideDestination(line.destination)) {
        refuseUnsafePath(line.destination);
        exit(1);
    }
    char fullPath[260];
    copyText(fullPath, sizeof fullPath, settings.destinationDir);
    if (!appendText(fullPath, sizeof fullPath, line.destination))
        refuseExtraction(line.entryName, fullPath);
    settings.copiedBytes += line.size;
    OutputDebugStringA(fullPath);
    extractEntry(line.entryName, fullPath);
    return progress();
}

// Creates one folder level, or accepts one that can be entered.
static bool makeFolder(const char *text)
{
    char folder[260];
    char fullPath[260];
    if (parseDirLine(text, folder) != LINE_OK)
        return false;
    if (!isPathInsideDestination(folder)) {
        refuseUnsafePath(folder);
        return false;
    }
    copyText(fullPath, sizeof fullPath, settings.destinationDir);
    if (!appendText(fullPath, sizeof fullPath, folder))
        return false;
    char saved[260];
    GetCurrentDirectoryA(sizeof saved, saved);
    bool made = CreateDirectoryA(fullPath, 0) || SetCurrentDirectoryA(fullPath);
    SetCurrentDirectoryA(saved);
    return made;
}

int32_t RunCopyStep()
{
    if (!settings.copyScriptFile) {
        settings.copyScriptFile = pfOpen("quillfen.ini", "rt");
        if (!settings.copyScriptFile)
            return -1;
        settings.copiedBytes = 0;
    }
    if (pfEof(settings.copyScriptFile)) {
        pfClose(settings.copyScriptFile);
        return -2;
    }
    char line[1024];
    while (pfGets(line, sizeof line, settings.copyScriptFile)) {
        if (line[0] == ';')
            continue;
        if (startsWith(line, "COPY '"))
            return copyFile(line + 6);
        if (startsWith(line, "DIR '"))
            return makeFolder(line + 5) ? progress() : -1;
    }
    return 0;
}

int MakePath(const char *path)
{
    char work[260];
    if (!copyText(work, sizeof work, path)) {
        MessageBoxA(0, "CreateDirectory error!", messageTable[MSG_ERROR], MB_OK);
        return 0;
    }
    char *search = work + (work[0] ? 1 : 0);
    for (;;) {
        char *backslash = strchr(search, '\\');
        if (backslash)
            *backslash = '\0';
        bool bareDrive = strcmp(work + (work[0] ? 1 : 0), ":") == 0;
        if (!bareDrive && !CreateDirectoryA(work, 0) && GetLastError() != ERROR_ALREADY_EXISTS) {
            MessageBoxA(0, "CreateDirectory error!", messageTable[MSG_ERROR], MB_OK);
            return 0;
        }
        if (!backslash)
            return 1;
        *backslash = '\\';
        search = backslash + 1;
    }
}
