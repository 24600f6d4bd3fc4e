// The settings pass: one reading of the whole install script into settings.
#include "script/install_settings.h"

#include <windows.h>
#include <shlobj.h>

#include <string.h>

#include "base/folders.h"
#include "base/messages.h"
#include "base/text.h"
#include "script/script_grammar.h"

InstallSettings settings;

static void readQuoted(const char *text, char *field)
{
    scanQuotedValues(text, &field, 1, PATH_SIZE);
}

static void readShortcut(const char *text, bool onDesktop)
{
    if (settings.shortcutCount >= SHORTCUT_SLOTS)
        return;                       // no slot left: the line is ignored
    ShortcutRecord *link = &settings.shortcuts[settings.shortcutCount++];
    char *fields[] = {link->targetName, link->linkName, link->arguments};
    scanQuotedValues(text, fields, 3, PATH_SIZE);
    link->linkFolder[0] = '\0';
    // An unresolved desktop leaves the folder empty: the link then goes to
    // the program group folder.
    if (onDesktop)
        SpecialFolderPath(CSIDL_DESKTOPDIRECTORY, link->linkFolder, sizeof link->linkFolder);
}

static void readDestination(const char *text)
{
    readLineValue(text, settings.destinationDir, sizeof settings.destinationDir);
    size_t length = strlen(settings.destinationDir);
    if (length > 0 && settings.destinationDir[length - 1] != '\\')
        appendText(settings.destinationDir, sizeof settings.destinationDir, "\\");
}

static void measurePath(const char *path)
{
    uint32_t length = (uint32_t)strlen(path);
    if (length > settings.longestPath)
        settings.longestPath = length;
}

static void readCopyLine(const char *text)
{
    CopyLine line;
    if (parseCopyLine(text, &line) != LINE_OK)
        return;
    settings.totalBytes += line.size;
    measurePath(line.destination);
}

static void readFolderLine(const char *text)
{
    char folder[PATH_SIZE];
    if (parseDirLine(text, folder, sizeof folder) == LINE_OK)
        measurePath(folder);
}

static void readSettingsLine(const char *line)
{
    const char *rest;
    switch (lineKeyword(line, &rest)) {
    case KEYWORD_GROUP:
        readQuoted(rest, settings.groupName);
        break;
    case KEYWORD_LINK:
        readShortcut(rest, false);
        break;
    case KEYWORD_DESK:
        readShortcut(rest, true);
        break;
    case KEYWORD_PRODUCT:
        readQuoted(rest, settings.productName);
        break;
    case KEYWORD_DESTINATION:
        readDestination(rest);
        break;
    case KEYWORD_COPY:
        readCopyLine(rest);
        break;
    case KEYWORD_FOLDER:
        readFolderLine(rest);
        break;
    case KEYWORD_INSTALL_DLLS:
        settings.bInstallDlls = true;
        break;
    case KEYWORD_INSTALL_KEY:
        settings.bWriteInstallKey = true;
        readLineValue(rest, settings.installKey, sizeof settings.installKey);
        break;
    case KEYWORD_INSTALL_VALUE:
        settings.bWriteInstallKey = true;
        readLineValue(rest, settings.installValue, sizeof settings.installValue);
        break;
    default:       // comments, KEY= and lines without a keyword
        break;
    }
}

int ReadSettings()
{
    settings.shortcutCount = 0;
    settings.totalBytes = 0;
    settings.longestPath = (uint32_t)strlen(UNINSTALLER_NAME);
    char line[SCRIPT_LINE_SIZE];
    while (pfGets(line, sizeof line, settings.scriptFile))
        readSettingsLine(line);
    return 1;
}

void FormatSizeText(uint64_t totalBytes, char *text, size_t size)
{
    int64_t kilobytes = (int64_t)(totalBytes / 1024);
    int64_t megabytes = (kilobytes + 1023) / 1024;
    formatText(text, size, messageTable[MSG_SPACE_NEEDED], (int)megabytes);
}
