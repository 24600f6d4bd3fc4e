// Stand-in for <shlobj.h>: special folders and the folder browser.
#pragma once

#include <windows.h>

typedef struct ITEMIDLIST_ *LPITEMIDLIST;
typedef const struct ITEMIDLIST_ *LPCITEMIDLIST;

#define CSIDL_DESKTOPDIRECTORY 0x0010
#define CSIDL_PROGRAMS 0x0002
#define BIF_RETURNONLYFSDIRS 0x0001

struct BROWSEINFOA {
    HWND hwndOwner;
    LPCITEMIDLIST pidlRoot;
    LPSTR pszDisplayName;
    LPCSTR lpszTitle;
    UINT ulFlags;
    void *lpfn;
    LPARAM lParam;
    int iImage;
};
typedef BROWSEINFOA *LPBROWSEINFOA;

struct IMalloc {
    virtual void Free(void *memory);
    virtual unsigned long Release();
};

// ---- The shell link object ----
struct IID {
    uint32_t data1;
    uint16_t data2, data3;
    uint8_t data4[8];
};
typedef const IID &REFIID;
typedef const IID &REFCLSID;
extern const IID CLSID_ShellLink, IID_IShellLinkA, IID_IPersistFile;
#define CLSCTX_INPROC_SERVER 0x1
typedef const WCHAR *LPCOLESTR;

struct IPersistFile {
    virtual HRESULT Save(LPCOLESTR fileName, BOOL remember) = 0;
    virtual ULONG Release() = 0;
};

struct IShellLinkA {
    virtual HRESULT QueryInterface(REFIID id, void **object) = 0;
    virtual ULONG Release() = 0;
    virtual HRESULT SetPath(LPCSTR path) = 0;
    virtual HRESULT SetDescription(LPCSTR description) = 0;
    virtual HRESULT SetArguments(LPCSTR arguments) = 0;
    virtual HRESULT SetIconLocation(LPCSTR path, int index) = 0;
    virtual HRESULT SetWorkingDirectory(LPCSTR directory) = 0;
};

HRESULT CoCreateInstance(REFCLSID classId, void *outer, DWORD context, REFIID id, void **object);

HRESULT SHGetSpecialFolderLocation(HWND owner, int folder, LPITEMIDLIST *list);
BOOL SHGetPathFromIDListA(LPCITEMIDLIST list, LPSTR path);
LPITEMIDLIST SHBrowseForFolderA(LPBROWSEINFOA info);
HRESULT SHGetMalloc(IMalloc **allocator);
