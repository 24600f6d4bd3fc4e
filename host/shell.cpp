// Special folders, the folder browser and COM of the stand-in. An item list
// is a heap copy of the folder's path.
#include <shlobj.h>
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "host/host.h"
#include "host/host_paths.h"

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

// ---- The shell link object ----

const IID CLSID_ShellLink = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IShellLinkA = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IPersistFile = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

static bool sameId(REFIID a, REFIID b)
{
    return memcmp(&a, &b, sizeof(IID)) == 0;
}

// One object serves both interfaces, as the shell's does; Save writes the
// fields as lines into the link file and records them.
struct HostShellLink final : IShellLinkA {
    struct PersistFile : IPersistFile {
        HostShellLink *owner;
        HRESULT Save(LPCOLESTR fileName, BOOL) override
        {
            if (hostFails("IPersistFile::Save"))
                return E_FAIL;
            std::string path;
            for (const WCHAR *w = fileName; *w; w++)
                path += (char)*w;
            FILE *file = fopen(posixPath(path).c_str(), "wb");
            if (!file)
                return E_FAIL;
            const HostLink &l = owner->link;
            fprintf(file, "%s\n%s\n%s\n%d\n", l.target.c_str(), l.arguments.c_str(), l.workingDir.c_str(), l.iconIndex);
            fclose(file);
            host.links[path] = l;
            host.events.push_back("IPersistFile::Save " + path);
            return S_OK;
        }
        ULONG Release() override { return owner->Release(); }
    } persist;
    HostLink link;
    int references = 1;

    HostShellLink() { persist.owner = this; }
    HRESULT QueryInterface(REFIID id, void **object) override
    {
        if (!sameId(id, IID_IPersistFile) || hostFails("QueryInterface"))
            return E_FAIL;
        references++;
        *object = &persist;
        return S_OK;
    }
    ULONG Release() override
    {
        if (--references > 0)
            return (ULONG)references;
        delete this;
        return 0;
    }
    HRESULT SetPath(LPCSTR path) override { link.target = path; return S_OK; }
    HRESULT SetDescription(LPCSTR text) override { link.description = text; return S_OK; }
    HRESULT SetArguments(LPCSTR arguments) override { link.arguments = arguments; return S_OK; }
    HRESULT SetIconLocation(LPCSTR path, int index) override
    {
        link.iconPath = path;
        link.iconIndex = index;
        return S_OK;
    }
    HRESULT SetWorkingDirectory(LPCSTR directory) override { link.workingDir = directory; return S_OK; }
};

HRESULT CoCreateInstance(REFCLSID classId, void *, DWORD, REFIID id, void **object)
{
    if (hostFails("CoCreateInstance") || !sameId(classId, CLSID_ShellLink) || !sameId(id, IID_IShellLinkA))
        return E_FAIL;
    *object = static_cast<IShellLinkA *>(new HostShellLink);
    return S_OK;
}

int MultiByteToWideChar(UINT, DWORD, LPCSTR text, int length, WCHAR *wide, int wideLength)
{
    int n = length < 0 ? (int)strlen(text) + 1 : length;
    if (n > wideLength)
        return 0;
    for (int i = 0; i < n; i++)
        wide[i] = (unsigned char)text[i];
    return n;
}
