// The settings pass: one reading of the whole install script into settings.
#include "script/install_settings.h"

#include <windows.h>
#include <shlobj.h>

#include <string.h>

#include "package/text.h"
#include "script/script_lines.h"
#include "system/shortcuts.h"

InstallSettings settings;

static void readQuoted(const char *text, char *field)
{
    scanQuotedValues(text, &field, 1);
}

static void readShortcut(const char *text, bool onDesktop)
{
    if (settings.shortcutCount >= SHORTCUT_SLOTS)
        return;                       // no slot left: the line is ignored
    ShortcutRecord *link = &settings.shortcuts[settings.shortcutCount++];
    char *fields[] = {link->targetName, link->linkName, link->arguments};
    scanQuotedValues(text, fields, 3);
    link->linkFolder[0] = '\0';
    if (!onDesktop)
        return;
    // An unresolved desktop leaves the folder empty: the link then goes to
    // the program group folder.
    SpecialFolderPath(CSIDL_DESKTOPDIRECTORY, link->linkFolder);
}

// The rest of a line up to its line feed, cut at the field. The field holds
// the value with its line feed, so a value may take size - 2 characters.
static void readRestOfLine(const char *text, char *field, size_t size)
{
    copyText(field, size, text);
    field[strcspn(field, "\n")] = '\0';
}

static void readDestination(const char *text)
{
    readRestOfLine(text, settings.destinationDir, sizeof settings.destinationDir);
    size_t length = strlen(settings.destinationDir);
    if (length > 0 && settings.destinationDir[length - 1] != '\\')
        appendText(settings.destinationDir, sizeof settings.destinationDir, "\\");
}

static void addCopySize(const char *text)
{
    CopyLine line;
    if (parseCopyLine(text, &line) == LINE_OK)
        settings.totalBytes += line.size;
}

int ReadSettings()
{
    settings.shortcutCount = 0;
    settings.totalBytes = 0;
    char line[1024];
    while (pfGets(line, sizeof line, settings.scriptFile)) {
        if (line[0] == ';')
            continue;
        if (startsWith(line, "GROUP="))
            readQuoted(line + 6, settings.groupName);
        else if (startsWith(line, "LINK="))
            readShortcut(line + 5, false);
        else if (startsWith(line, "DESK="))
            readShortcut(line + 5, true);
        else if (startsWith(line, "PRODUCT="))
            readQuoted(line + 8, settings.productName);
        else if (startsWith(line, "KEY="))
            continue;
        else if (startsWith(line, "DIR="))
            readDestination(line + 4);
        else if (startsWith(line, "COPY '"))
            addCopySize(line + 6);
        else if (startsWith(line, "INSTALL_DLLS"))
            settings.bInstallDlls = true;
        else if (startsWith(line, "INSTALL_KEY=")) {
            settings.bWriteInstallKey = true;
            readRestOfLine(line + 12, settings.installKey, sizeof settings.installKey);
        } else if (startsWith(line, "INSTALL_VALUE=")) {
            settings.bWriteInstallKey = true;
            readRestOfLine(line + 14, settings.installValue, sizeof settings.installValue);
        }
    }
    return 1;
}
