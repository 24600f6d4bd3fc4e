// The Win32 stand-in for the host build: the subset of <windows.h> that the
// system uses, with the same names, types and constants. The implementations
// in host/*.cpp record what the system does and answer from a test's script.
// Test equipment only; never part of the shipped executable.
#pragma once

#include <stdint.h>

#define WINAPI
#define CALLBACK
#define MAX_PATH 260

typedef int BOOL;
typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef const char *LPCSTR;
typedef char *LPSTR;
typedef void *HANDLE;
typedef struct HWND__ *HWND;
typedef struct HINSTANCE__ *HINSTANCE;

// ---- Message boxes ----
#define MB_OK 0x0
#define MB_YESNO 0x4
#define MB_ICONQUESTION 0x20
#define MB_ICONINFORMATION 0x40
#define MB_SYSTEMMODAL 0x1000
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT flags);

// ---- Debugger output ----
void OutputDebugStringA(LPCSTR text);
