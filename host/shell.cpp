// Special folders, the folder browser and COM of the stand-in. An item list
// is a heap copy of the folder's path.
#include <shlobj.h>
#include <windows.h>

#include <string.h>

#include <string>

#include "host/host.h"

struct ITEMIDLIST_ {
    std::string path;
};

HRESULT SHGetSpecialFolderLocation(HWND, int folder, LPITEMIDLIST *list)
{
    auto found = host.specialFolders.find(folder);
    if (hostFails("SHGetSpecialFolderLocation") || found == host.specialFolders.end())
        return E_FAIL;
    *list = new ITEMIDLIST_{found->second};
    return S_OK;
}

BOOL SHGetPathFromIDListA(LPCITEMIDLIST list, LPSTR path)
{
    if (!list || list->path.size() >= MAX_PATH)
        return FALSE;
    memcpy(path, list->path.c_str(), list->path.size() + 1);
    return TRUE;
}

LPITEMIDLIST SHBrowseForFolderA(LPBROWSEINFOA info)
{
    host.browseFlags = (int)info->ulFlags;
    if (host.browseAnswers.empty())
        return 0;
    std::string answer = host.browseAnswers.front();
    host.browseAnswers.pop_front();
    return answer.empty() ? 0 : new ITEMIDLIST_{answer};
}

void IMalloc::Free(void *memory)
{
    delete (ITEMIDLIST_ *)memory;
}

unsigned long IMalloc::Release()
{
    host.calls["IMalloc::Release"]++;
    return 0;
}

HRESULT SHGetMalloc(IMalloc **allocator)
{
    static IMalloc shellAllocator;
    *allocator = &shellAllocator;
    return S_OK;
}

void CoTaskMemFree(LPVOID memory)
{
    delete (ITEMIDLIST_ *)memory;
}

HRESULT CoInitialize(LPVOID)
{
    host.calls["CoInitialize"]++;
    return S_OK;
}
