// The copy pass: one DIR ' or COPY ' line per step, so the destination
// dialog can move its progress bar between files.
#include "script/install_settings.h"

#include <windows.h>

#include "base/path_rule.h"
#include "base/report.h"
#include "base/text.h"
#include "package/extract.h"
#include "package/unpack_ahead.h"
#include "script/script_grammar.h"

int32_t ProgressPercent(uint64_t copiedBytes, uint64_t totalBytes)
{
    if (totalBytes == 0)
        return 100;
    return (int32_t)((int64_t)(copiedBytes * 100) / (int64_t)totalBytes);
}

static int32_t progress()
{
    return ProgressPercent(settings.copiedBytes, settings.totalBytes);
}

// Unpacks the entry of one COPY ' line. A line or full path that does not
// fit its buffer, or a destination that the path rule refuses or that would
// replace the uninstaller copy, ends the process like an entry that cannot
// be unpacked.
static int32_t copyFile(const char *rest)
{
    CopyLine line;
    LineStatus status = parseCopyLine(rest, &line);
    if (status == LINE_TOO_LONG)
        refuseExtraction(rest, settings.destinationDir);
    if (status != LINE_OK)
        return -1;
    if (!isPayloadPlace(line.destination))
        refuseUnsafeDestination(line.destination);
    char fullPath[PATH_SIZE];
    if (!formatText(fullPath, sizeof fullPath, "%s%s", settings.destinationDir, line.destination))
        refuseExtraction(line.entryName, fullPath);
    settings.copiedBytes += line.size;
    OutputDebugStringA(fullPath);
    extractEntry(line.entryName, fullPath, line.size);
    return progress();
}

// Creates one folder level, or accepts one that can be entered.
static bool makeFolder(const char *rest)
{
    char folder[PATH_SIZE];
    if (parseDirLine(rest, folder, sizeof folder) != LINE_OK)
        return false;
    if (!isPathInsideFolder(folder)) {
        showError(folder);
        return false;
    }
    char fullPath[PATH_SIZE];
    if (!formatText(fullPath, sizeof fullPath, "%s%s", settings.destinationDir, folder))
        return false;
    char saved[PATH_SIZE];
    GetCurrentDirectoryA(sizeof saved, saved);
    bool made = CreateDirectoryA(fullPath, 0) || SetCurrentDirectoryA(fullPath);
    SetCurrentDirectoryA(saved);
    return made;
}

// Reads the whole script once, planning the entry of every COPY line the
// copy pass will unpack, and starts unpacking them ahead; then goes back to
// the script's start.
static void planCopyPass(PackageFile script)
{
    stopUnpackingAhead();       // anything a pass left halfway still holds
    char line[SCRIPT_LINE_SIZE];
    while (pfGets(line, sizeof line, script)) {
        const char *rest;
        CopyLine copy;
        if (lineKeyword(line, &rest) == KEYWORD_COPY && parseCopyLine(rest, &copy) == LINE_OK)
            planUnpackingAhead(copy.entryName, copy.size);
    }
    pfSeek(script, 0, 0);
    startUnpackingAhead();
}

static int32_t copyStep()
{
    if (!settings.copyScriptFile) {
        settings.copyScriptFile = pfOpen(SCRIPT_NAME, "rt");
        if (!settings.copyScriptFile)
            return -1;
        settings.copiedBytes = 0;
        planCopyPass(settings.copyScriptFile);
    }
    if (pfEof(settings.copyScriptFile)) {
        pfClose(settings.copyScriptFile);
        settings.copyScriptFile = 0;
        return -2;
    }
    char line[SCRIPT_LINE_SIZE];
    while (pfGets(line, sizeof line, settings.copyScriptFile)) {
        const char *rest;
        ScriptKeyword keyword = lineKeyword(line, &rest);
        if (keyword == KEYWORD_COPY)
            return copyFile(rest);
        if (keyword == KEYWORD_FOLDER)
            return makeFolder(rest) ? progress() : -1;
    }
    return 0;
}

int32_t RunCopyStep()
{
    int32_t result = copyStep();
    if (result < 0)
        stopUnpackingAhead();
    return result;
}
