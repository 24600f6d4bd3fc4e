// The uninstall stage: two readings of the installed script, with the
// confirmation, the links and the group folder between them.
#include "uninstall/uninstall.h"

#include "base/messages.h"
#include "base/startup_state.h"
#include "base/text.h"
#include "package/package.h"
#include "script/install_settings.h"
#include "system/shortcuts.h"

// The first reading is the installer's own settings pass over the installed
// copy, so the product, the group and every link slot come out as the
// installer saw them.
static void firstReading()
{
    settings.scriptFile = pfOpen(SCRIPT_NAME, "rt");
    if (!settings.scriptFile)
        return;
    ReadSettings();
    pfClose(settings.scriptFile);
    settings.scriptFile = 0;
}

static bool confirmed()
{
    char text[PATH_SIZE];
    formatText(text, sizeof text, messageTable[MSG_CONFIRM_UNINSTALL], settings.productName);
    return MessageBoxA(0, text, messageTable[MSG_UNINSTALLATION], MB_YESNO | MB_ICONQUESTION) != IDNO;
}

// Each link from the folder the installer made it in: the desktop, or the
// group folder of the final GROUP= line. Names that would leave their folder
// are passed over.
static void removeLinksAndGroup()
{
    char groupFolder[PATH_SIZE];
    bool haveGroup = ScriptGroupFolder(groupFolder, sizeof groupFolder);
    for (int32_t i = settings.shortcutCount - 1; i >= 0; i--) {
        ShortcutRecord *link = &settings.shortcuts[i];
        char path[PATH_SIZE];
        if (AssignLinkFolder(link, haveGroup ? groupFolder : 0) && LinkFilePath(link, path, sizeof path))
            DeleteFileA(path);
    }
    if (settings.groupName[0] != '\0' && haveGroup)
        RemoveDirectoryA(groupFolder);
}

static void deleteFile(const char *path, void *)
{
    DeleteFileA(path);
}

static void removeFolder(const char *path, void *)
{
    RemoveDirectoryA(path);
}

HANDLE RunUninstall()
{
    if (startup.runMode != RUN_UNINSTALL)
        return CleanUp();
    firstReading();
    if (!confirmed())
        return 0;
    removeLinksAndGroup();
    PathList files = PathList(), dirs = PathList();
    CollectInstalledPaths(SCRIPT_NAME, &files, &dirs);
    RemoveInstalledPaths(&files, &dirs, PathRemoval{deleteFile, removeFolder, 0});
    freePathList(&files);
    freePathList(&dirs);
    return HandOver();
}
