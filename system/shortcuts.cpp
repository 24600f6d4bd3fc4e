#include "system/shortcuts.h"

#include <shlobj.h>

#include "package/text.h"

bool SpecialFolderPath(int folder, char *path)
{
    path[0] = '\0';
    LPITEMIDLIST list = 0;
    if (SHGetSpecialFolderLocation(0, folder, &list) != S_OK)
        return false;
    bool resolved = SHGetPathFromIDListA(list, path);
    CoTaskMemFree(list);
    if (!resolved)
        path[0] = '\0';
    return resolved;
}

bool ProgramGroupFolder(char *folder, size_t size)
{
    char programs[MAX_PATH];
    return SpecialFolderPath(CSIDL_PROGRAMS, programs) &&
           formatText(folder, size, "%s\\%s", programs, settings.groupName);
}

HRESULT CreateShortcut(ShortcutRecord *link)
{
    // Paths that do not fit are refused rather than cut into other names.
    char target[260], path[260];
    if (!formatText(target, sizeof target, "%s\\%s", link->targetDir, link->targetName) ||
        !formatText(path, sizeof path, "%s\\%s.lnk", link->linkFolder, link->linkName))
        return E_FAIL;
    IShellLinkA *shellLink;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, 0, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&shellLink);
    if (result < 0)
        return result;
    // targetDir ends with a backslash, so the target has two at the seam;
    // the shell reads them as one.
    if (!equalsIgnoreAsciiCase(link->arguments, "-uninstall"))
        link->iconIndex = 2;
    shellLink->SetPath(target);
    shellLink->SetDescription(link->description);
    shellLink->SetArguments(link->arguments);
    shellLink->SetIconLocation(link->iconPath, link->iconIndex);
    shellLink->SetWorkingDirectory(link->workingDir);

    IPersistFile *file;
    result = shellLink->QueryInterface(IID_IPersistFile, (void **)&file);
    if (result < 0) {
        shellLink->Release();
        return result;
    }
    WCHAR widePath[260];
    MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, 260);
    result = file->Save(widePath, TRUE);
    file->Release();
    shellLink->Release();
    return result;
}

void CreateShortcuts()
{
    // Without a Programs folder there is no group folder: LINK= links are
    // skipped, DESK= links are still made.
    char groupFolder[260];
    bool haveGroup = ProgramGroupFolder(groupFolder, sizeof groupFolder);
    if (haveGroup)
        MakePath(groupFolder);
    for (int32_t i = 0; i < settings.shortcutCount; i++) {
        ShortcutRecord *link = &settings.shortcuts[i];
        if (link->linkFolder[0] == '\0') {
            if (!haveGroup)
                continue;
            copyText(link->linkFolder, sizeof link->linkFolder, groupFolder);
        }
        copyText(link->targetDir, sizeof link->targetDir, settings.destinationDir);
        copyText(link->workingDir, sizeof link->workingDir, settings.destinationDir);
        CreateShortcut(link);
    }
}
