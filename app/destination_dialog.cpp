// The destination and progress dialog: proposes a folder, lets the user type
// or browse for another, then saves the uninstaller copy and runs the copy
// pass inside the OK handler while the progress bar follows it.
#include "app/dialogs.h"

#include <commctrl.h>
#include <shlobj.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/resource.h"
#include "app/startup.h"
#include "base/folders.h"
#include "base/messages.h"
#include "base/path_rule.h"
#include "base/report.h"
#include "base/text.h"
#include "package/extract.h"
#include "script/install_settings.h"
#include "system/registry.h"

// The longest destination the field accepts: room is left for the trailing
// backslash that every path below it is built on.
const size_t DESTINATION_LIMIT = 258;

void ChooseDefaultDestination(char *destinationDir, size_t size, const char *registryValue)
{
    if (registryValue[0] != '\0')
        copyText(destinationDir, size, registryValue);
}

void TakeBrowseResult(const char *chosen, char *destinationDir, size_t size)
{
    copyText(destinationDir, size, chosen);
    size_t length = strlen(destinationDir);
    if (length > 0 && destinationDir[length - 1] == '\\')
        destinationDir[length - 1] = '\0';
}

DestinationVerdict AcceptDestination(const char *typed, size_t longestName, char *destinationDir, size_t size)
{
    size_t length = strlen(typed);
    size_t folderLength = length + (length > 0 && typed[length - 1] == '\\' ? 0 : 1);
    if (!isDestinationFolder(typed, longestName) || folderLength + 1 > size)
        return DESTINATION_WRONG_PATH;
    copyText(destinationDir, size, typed);
    char saved[PATH_SIZE];
    GetCurrentDirectoryA(sizeof saved, saved);
    if (!MakePath(destinationDir))
        return DESTINATION_NOT_CREATED;
    if (!SetCurrentDirectoryA(destinationDir))
        return DESTINATION_WRONG_PATH;
    if (destinationDir[length - 1] != '\\')
        appendText(destinationDir, size, "\\");
    SetCurrentDirectoryA(saved);
    return DESTINATION_ACCEPTED;
}

bool RunCopyLoop(void (*showPosition)(int32_t percent, void *context), void *context)
{
    int32_t result;
    while ((result = RunCopyStep()) >= 0)
        showPosition(result, context);
    return result != -1;
}

static void showPosition(int32_t percent, void *dialog)
{
    SendDlgItemMessageA((HWND)dialog, IDC_PROGRESS, PBM_SETPOS, (WPARAM)percent, 0);
}

static void initialise(HWND dialog)
{
    char registryValue[256];
    ReadRegistryString(GAME_KEY, GAME_FOLDER_VALUE, registryValue, 255);
    ChooseDefaultDestination(settings.destinationDir, sizeof settings.destinationDir, registryValue);
    SetWindowTextA(GetDlgItem(dialog, IDC_DESTINATION_DIR), settings.destinationDir);
    SendDlgItemMessageA(dialog, IDC_DESTINATION_DIR, EM_LIMITTEXT, DESTINATION_LIMIT, 0);
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETPOS, 0, 0);
    BringWindowToTop(dialog);
    SetFocus(GetDlgItem(dialog, IDC_DESTINATION_DIR));
    char sizeText[128];
    FormatSizeText(settings.totalBytes, sizeText, sizeof sizeText);
    SetDlgItemTextA(dialog, IDC_STATUS_TEXT, sizeText);
}

static void browse(HWND dialog)
{
    char displayName[PATH_SIZE];
    BROWSEINFOA info = {};
    info.hwndOwner = dialog;
    info.pszDisplayName = displayName;
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
    if (!chosen)
        return;
    char path[PATH_SIZE];
    if (SHGetPathFromIDListA(chosen, path)) {
        TakeBrowseResult(path, settings.destinationDir, sizeof settings.destinationDir);
        SetWindowTextA(GetDlgItem(dialog, IDC_DESTINATION_DIR), settings.destinationDir);
    }
    IMalloc *allocator;
    if (SHGetMalloc(&allocator) == S_OK) {
        allocator->Free(chosen);
        allocator->Release();
    }
}

// "Error while installing files": the dialog ends, and so does the
// installation, with exit status 1.
static void failInstallation(HWND dialog)
{
    showError(messageTable[MSG_INSTALL_FAILED]);
    startup.exitStatus = 1;
    EndDialog(dialog, 0);
}

static void install(HWND dialog)
{
    char typed[512];
    GetWindowTextA(GetDlgItem(dialog, IDC_DESTINATION_DIR), typed, 511);
    DestinationVerdict verdict =
        AcceptDestination(typed, settings.longestPath, settings.destinationDir, sizeof settings.destinationDir);
    if (verdict == DESTINATION_NOT_CREATED)
        return;
    if (verdict == DESTINATION_WRONG_PATH) {
        showError(messageTable[MSG_WRONG_PATH]);
        return;
    }
    // No installation without its uninstaller: a failed copy of either ends
    // the installation here.
    if (!CopyEntryToDestination(UNINSTALLER_NAME, settings.destinationDir) ||
        !CopyEntryToDestination(SCRIPT_NAME, settings.destinationDir)) {
        failInstallation(dialog);
        return;
    }
    SetDlgItemTextA(dialog, IDC_STATUS_TEXT, messageTable[MSG_COPYING]);
    OutputDebugStringA("befora file unpack\n");
    bool copied = RunCopyLoop(showPosition, dialog);
    OutputDebugStringA("after file unpack\n");
    if (!copied) {
        OutputDebugStringA("after file unpack error\n");
        failInstallation(dialog);
        return;
    }
    OutputDebugStringA("after file unpack end dialog\n");
    EndDialog(dialog, 1);
}

INT_PTR CALLBACK DestinationDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        initialise(dialog);
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    if (wParam == IDCANCEL)
        EndDialog(dialog, 0);
    else if (wParam == IDC_BROWSE)
        browse(dialog);
    else if (wParam == IDOK)
        install(dialog);
    return TRUE;
}

bool ShowDestinationDialog()
{
    return RunDialog(IDD_DESTINATION, DestinationDialogProc);
}
