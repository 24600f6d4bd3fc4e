// Start-up: the program's entry point, the process-wide start-up state, the
// command line and the install sequence. WinMain keeps the instance handle
// and its own path, chooses the run mode from the command line and runs it.
#pragma once

#include <windows.h>

#include <stdint.h>

const int ARG_SLOTS = 128;

enum RunMode {
    RUN_INSTALL = 0,         // no option
    RUN_UNINSTALL = 1,       // "-uninstall": the uninstall stage
    RUN_CLEANUP = 2,         // "-uninstallpath DIR": the clean-up stage
};

extern HINSTANCE hInstance;          // first argument of WinMain
extern char modulePath[MAX_PATH];    // full path of the running executable
extern char *moduleFileName;         // into modulePath, after its last backslash
extern char *argTable[ARG_SLOTS];    // tokens, in place in the command-line text
extern int32_t argCount;             // tokens stored; those past 128 are ignored
extern uint32_t runMode;             // a RunMode

// Splits GetCommandLineA's text in place into argTable.
void SplitCommandLine();
// Splits text in place into argTable: the rules of SplitCommandLine.
void SplitCommandLineText(char *text);
// Sets runMode from the tokens after the first; "-uninstallpath" also sets
// settings.destinationDir (left empty when its value is missing or too long).
void ParseOptions();

// Opens the package, reads the script, shows both dialogs, writes the
// registry record and reports success; closes the script and the package.
void RunInstallSequence();
