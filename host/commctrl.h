// Stand-in for <commctrl.h>: the progress bar messages.
#pragma once

#include <windows.h>

#define PBM_SETRANGE 0x0401
#define PBM_SETPOS 0x0402
void InitCommonControls();
