// The install script and the process-wide InstallSettings record. The
// settings pass (ReadSettings) reads the whole script once before any
// dialog; the copy pass (RunCopyStep) reads it again and carries out its
// DIR ' and COPY ' lines. The uninstaller runs the settings pass over the
// installed copy, so both see the same names, links and group.
#pragma once

#include <stdint.h>

#include "base/names.h"
#include "package/package.h"

const int SHORTCUT_SLOTS = 16;

// One shell link of the script (a LINK= or DESK= line).
struct ShortcutRecord {
    char targetDir[PATH_SIZE];    // destinationDir, set when the link is made
    char targetName[PATH_SIZE];   // first quoted value: target below the destination
    char arguments[PATH_SIZE];    // third quoted value
    char workingDir[PATH_SIZE];   // destinationDir, set when the link is made
    char description[PATH_SIZE];  // always empty
    char linkName[PATH_SIZE];     // second quoted value, without ".lnk"
    char linkFolder[PATH_SIZE];   // DESK=: the desktop folder; LINK=: the group folder
    char iconPath[PATH_SIZE];     // always empty
    int32_t iconIndex;            // set when the link is made
};

struct InstallSettings {
    char destinationDir[PATH_SIZE];  // DIR=, the registry, the user; ends with '\' once set
    char groupName[PATH_SIZE];       // GROUP=
    char productName[PATH_SIZE];     // PRODUCT=
    char installKey[256];            // INSTALL_KEY=: key path below HKLM\SOFTWARE
    char installValue[256];          // INSTALL_VALUE=: value receiving destinationDir
    bool bWriteInstallKey;           // an INSTALL_KEY= or INSTALL_VALUE= line was seen
    bool bInstallDlls;               // INSTALL_DLLS: run the redistributable step
    bool bAreGoodDlls;               // both runtime DLLs passed the version check
    bool bRedistAttempted;           // the redistributable could not be started
    uint64_t totalBytes;             // sum of the COPY ' sizes (settings pass)
    uint64_t copiedBytes;            // sum of the COPY ' sizes handled (copy pass)
    uint32_t longestPath;            // longest name written below the destination: COPY '
                                     // and DIR ' paths, the uninstaller copy (settings pass)
    ShortcutRecord shortcuts[SHORTCUT_SLOTS]; // LINK=/DESK= lines in script order
    int32_t shortcutCount;           // used slots; lines past the 16th are ignored
    PackageFile scriptFile;          // start-up's text-mode handle of the script
    PackageFile copyScriptFile;      // the copy pass's own handle, 0 until its first step
};

extern InstallSettings settings;

// ---- Settings pass ----

// Reads the whole script through settings.scriptFile, which is at its start,
// and fills settings. Always returns 1; malformed lines store only what scans.
// A DESK= link gets the desktop folder here; LINK= links get the program
// group folder from the final GROUP= when the links are made or removed.
int ReadSettings();

// The destination dialog's size line, "Installation requires %d MB of free
// disk space", for totalBytes: whole megabytes of whole kilobytes, rounded up.
void FormatSizeText(uint64_t totalBytes, char *text, size_t size);

// ---- Copy pass ----

// Carries out the next DIR ' or COPY ' line. Returns the progress percentage
// after it (0..100; 100 when the script names no sizes), 0 when no such line
// is left, -2 when the script was already at its end (the handle is then
// closed), -1 when a folder can be neither created nor entered, a line is
// malformed or leaves the destination, or the script cannot be opened.
// Extraction failures end the process instead. The handle is forgotten
// once closed.
int32_t RunCopyStep();

// The percentage after a step: copiedBytes * 100 / totalBytes in 64 bits,
// so totals of several gigabytes neither overflow nor lose precision; 100
// when the script names no sizes.
int32_t ProgressPercent(uint64_t copiedBytes, uint64_t totalBytes);
