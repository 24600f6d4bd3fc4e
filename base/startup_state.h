// The start-up state: what WinMain learns about its own process before it
// chooses a run mode. Start-up fills it once; the dialogs and the
// uninstaller read it.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "base/names.h"

const int ARG_SLOTS = 128;

enum RunMode {
    RUN_INSTALL = 0,         // no option
    RUN_UNINSTALL = 1,       // "-uninstall": the uninstall stage
    RUN_CLEANUP = 2,         // "-uninstallpath DIR": the clean-up stage
};

struct StartupState {
    HINSTANCE hInstance;             // first argument of WinMain
    char modulePath[PATH_SIZE];      // full path of the running executable
    char *moduleFileName;            // into modulePath, after its last backslash
    char *argTable[ARG_SLOTS];       // tokens, in place in the command-line text
    int32_t argCount;                // tokens stored; those past 128 are ignored
    uint32_t runMode;                // a RunMode, from the options
    int exitStatus;                  // 0; 1 once an error has stopped the installation
                                     // or the uninstallation (after its message)
};

extern StartupState startup;
