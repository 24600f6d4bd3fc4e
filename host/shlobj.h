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

HRESULT SHGetSpecialFolderLocation(HWND owner, int folder, LPITEMIDLIST *list);
BOOL SHGetPathFromIDListA(LPCITEMIDLIST list, LPSTR path);
LPITEMIDLIST SHBrowseForFolderA(LPBROWSEINFOA info);
HRESULT SHGetMalloc(IMalloc **allocator);
