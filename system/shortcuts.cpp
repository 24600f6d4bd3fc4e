#include "system/shortcuts.h"

#include <shlobj.h>

#include "base/folders.h"
#include "base/path_rule.h"
#include "base/report.h"
#include "base/text.h"

HRESULT CreateShortcut(ShortcutRecord *link)
{
    // Paths that do not fit are refused rather than cut into other names.
    char target[PATH_SIZE], path[PATH_SIZE];
    if (!formatText(target, sizeof target, "%s\\%s", link->targetDir, link->targetName) ||
        !LinkFilePath(link, path, sizeof path))
        return E_FAIL;
    IShellLinkA *shellLink;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, 0, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&shellLink);
    if (result < 0)
        return result;
    // targetDir ends with a backslash, so the target has two at the seam;
    // the shell reads them as one.
    link->iconIndex = LinkIconIndex(link);
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
    WCHAR widePath[PATH_SIZE];
    MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, PATH_SIZE);
    result = file->Save(widePath, TRUE);
    file->Release();
    shellLink->Release();
    return result;
}

void CreateShortcuts()
{
    // Without a group folder (no Programs folder, or a refused name) LINK=
    // links are skipped; DESK= links are still made.
    if (!isPathInsideFolder(settings.groupName))
        showError(settings.groupName);
    char groupFolder[PATH_SIZE];
    bool haveGroup = ScriptGroupFolder(groupFolder, sizeof groupFolder);
    if (haveGroup)
        MakePath(groupFolder);
    for (int32_t i = 0; i < settings.shortcutCount; i++) {
        ShortcutRecord *link = &settings.shortcuts[i];
        if (!isPathInsideFolder(link->linkName)) {
            showError(link->linkName);
            continue;
        }
        if (!AssignLinkFolder(link, haveGroup ? groupFolder : 0))
            continue;
        copyText(link->targetDir, sizeof link->targetDir, settings.destinationDir);
        copyText(link->workingDir, sizeof link->workingDir, settings.destinationDir);
        CreateShortcut(link);
    }
}
