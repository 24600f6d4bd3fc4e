// Start-up: the program's entry point and the process-wide start-up state.
// WinMain keeps the instance handle and its own path, opens the package of
// its own executable and runs the chosen run mode.
#pragma once

#include <windows.h>

extern HINSTANCE hInstance;        // first argument of WinMain
extern char modulePath[MAX_PATH];  // full path of the running executable
extern char *moduleFileName;       // into modulePath, after its last backslash
