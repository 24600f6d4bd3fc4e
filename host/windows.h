// The Win32 stand-in for the host build: the subset of <windows.h> that the
// system uses, with the same names, types and constants. The implementations
// in host/*.cpp record what the system does and answer from a test's script
// (host/host.h). Test equipment only; never part of the shipped executable.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define WINAPI
#define CALLBACK
#define MAX_PATH 260
#define TRUE 1
#define FALSE 0

typedef int BOOL;
typedef unsigned short WORD;
typedef uint16_t WCHAR;
typedef unsigned long ULONG;
typedef unsigned char BYTE;
typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int32_t HRESULT;
typedef const char *LPCSTR;
typedef char *LPSTR;
typedef void *LPVOID;
typedef BYTE *LPBYTE;
typedef const BYTE *CONST_LPBYTE;
typedef DWORD *LPDWORD;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef UINT_PTR WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef void *HANDLE;
typedef struct HWND__ *HWND;
typedef struct HINSTANCE__ *HINSTANCE;
typedef struct HKEY__ *HKEY;
typedef HKEY *PHKEY;
typedef DWORD REGSAM;
typedef struct SECURITY_ATTRIBUTES_ *LPSECURITY_ATTRIBUTES;
typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);

#define MAKEINTRESOURCEA(id) ((LPCSTR)(uintptr_t)(id))
#define LOWORD(l) ((unsigned short)((uintptr_t)(l) & 0xFFFF))
#define HIWORD(l) ((unsigned short)(((uintptr_t)(l) >> 16) & 0xFFFF))
#define MAKELPARAM(low, high) ((LPARAM)(((uint32_t)(unsigned short)(low)) | ((uint32_t)(unsigned short)(high) << 16)))

// ---- Errors ----
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_MORE_DATA 234L
#define ERROR_ALREADY_EXISTS 183L
#define S_OK 0
#define E_FAIL ((HRESULT)0x80004005u)
DWORD GetLastError();

// ---- Files, folders, the module ----
BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security);
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
BOOL SetCurrentDirectoryA(LPCSTR path);
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
DWORD GetFileAttributesA(LPCSTR path);
BOOL DeleteFileA(LPCSTR path);
BOOL RemoveDirectoryA(LPCSTR path);
BOOL CopyFileA(LPCSTR existing, LPCSTR copy, BOOL failIfExists);
#define MOVEFILE_DELAY_UNTIL_REBOOT 0x4
BOOL MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags);
DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size);
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file);
DWORD GetModuleFileNameA(HINSTANCE module, LPSTR buffer, DWORD size);
LPSTR GetCommandLineA();
void Sleep(DWORD milliseconds);

// ---- Processes ----
struct STARTUPINFOA {
    DWORD cb;
    DWORD rest[16];
};
struct PROCESS_INFORMATION {
    HANDLE hProcess, hThread;
    DWORD dwProcessId, dwThreadId;
};
BOOL CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES process,
                    LPSECURITY_ATTRIBUTES thread, BOOL inheritHandles, DWORD flags, LPVOID environment,
                    LPCSTR currentDirectory, STARTUPINFOA *startup, PROCESS_INFORMATION *information);
[[noreturn]] void ExitProcess(UINT status);

// ---- The named mutex ----
#define WAIT_OBJECT_0 0x0
#define WAIT_ABANDONED 0x80
#define WAIT_TIMEOUT 0x102
#define WAIT_FAILED 0xFFFFFFFF
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCSTR name);
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
BOOL ReleaseMutex(HANDLE mutex);
BOOL CloseHandle(HANDLE object);

// ---- Version information ----
DWORD GetFileVersionInfoSizeA(LPCSTR file, LPDWORD handle);
BOOL GetFileVersionInfoA(LPCSTR file, DWORD handle, DWORD size, LPVOID data);
BOOL VerQueryValueA(const void *block, LPCSTR subBlock, LPVOID *buffer, UINT *length);

// ---- Text ----
#define CP_ACP 0
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, WCHAR *wide, int wideLength);

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

// ---- Dialogs ----
#define WM_DESTROY 0x0002
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define EM_LIMITTEXT 0x00C5
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM parameter);
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetDlgItem(HWND dialog, int id);
BOOL SetWindowTextA(HWND window, LPCSTR text);
int GetWindowTextA(HWND window, LPSTR buffer, int count);
BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
BOOL BringWindowToTop(HWND window);
HWND SetFocus(HWND window);

// ---- Debugger output ----
void OutputDebugStringA(LPCSTR text);

// ---- Registry (HKEY_LOCAL_MACHINE only) ----
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002)
#define KEY_QUERY_VALUE 0x0001
#define KEY_ALL_ACCESS 0xF003F
#define REG_OPTION_NON_VOLATILE 0
#define REG_SZ 1
#define REG_DWORD 4
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
LONG RegCloseKey(HKEY key);
LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                     LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition);
LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data, DWORD size);

// ---- COM ----
HRESULT CoInitialize(LPVOID reserved);
void CoTaskMemFree(LPVOID memory);
