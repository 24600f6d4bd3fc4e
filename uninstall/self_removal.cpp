// Self-removal: the running uninstaller cannot delete its own file, so a
// temporary copy in the Windows temp folder does it once the first process
// has released the uninstall mutex.
#include "uninstall/uninstall.h"

#include <string.h>

#include "base/messages.h"
#include "base/startup_state.h"
#include "base/text.h"
#include "script/install_settings.h"

// Without a temporary copy nobody removes the uninstaller copy and its
// script: the uninstallation did not finish.
static HANDLE handOverFailed(HANDLE mutex)
{
    startup.exitStatus = 1;
    return mutex;
}

HANDLE HandOver()
{
    // The installation directory, in short form so that the command line
    // carries it as one word, without its trailing backslash.
    copyText(settings.destinationDir, sizeof settings.destinationDir, startup.modulePath);
    char shortPath[PATH_SIZE];
    DWORD length = GetShortPathNameA(startup.modulePath, shortPath, sizeof shortPath);
    if (length > 0 && length < sizeof shortPath)
        copyText(settings.destinationDir, sizeof settings.destinationDir, shortPath);
    char *lastBackslash = strrchr(settings.destinationDir, '\\');
    if (lastBackslash)
        *lastBackslash = '\0';

    HANDLE mutex = CreateMutexA(0, TRUE, UNINSTALL_MUTEX);
    char commandLine[2 * PATH_SIZE + 32];
    formatText(commandLine, sizeof commandLine, "%s %s %s", startup.modulePath, CLEANUP_OPTION,
               settings.destinationDir);
    char windows[PATH_SIZE], temp[PATH_SIZE], copy[PATH_SIZE];
    GetWindowsDirectoryA(windows, sizeof windows);
    if (!formatText(temp, sizeof temp, "%s\\temp", windows) ||
        !formatText(copy, sizeof copy, "%s\\%s", temp, startup.moduleFileName))
        return handOverFailed(mutex);   // no room for the copy's path
    STARTUPINFOA startupInfo = {};
    startupInfo.cb = 68;
    PROCESS_INFORMATION process;
    if (!CopyFileA(startup.modulePath, copy, FALSE) ||
        !CreateProcessA(copy, commandLine, 0, 0, FALSE, 0, 0, temp, &startupInfo, &process))
        return handOverFailed(mutex);
    return mutex;
}

// The first process may still be ending when the mutex comes free, so its
// executable stays locked a little longer: try again for up to 5 seconds
// while the file is still there.
static void deleteUninstallerCopy()
{
    for (int attempt = 0; attempt < 50; attempt++) {
        if (DeleteFileA(UNINSTALLER_NAME) || GetFileAttributesA(UNINSTALLER_NAME) == INVALID_FILE_ATTRIBUTES)
            return;
        Sleep(100);
    }
}

HANDLE CleanUp()
{
    HANDLE mutex = CreateMutexA(0, FALSE, UNINSTALL_MUTEX);
    for (;;) {
        DWORD result = WaitForSingleObject(mutex, 5000);
        if (result == WAIT_TIMEOUT)
            continue;
        if (result == WAIT_FAILED) {
            startup.exitStatus = 1;
            return 0;
        }
        break;
    }
    if (settings.destinationDir[0] != '\0' && SetCurrentDirectoryA(settings.destinationDir)) {
        deleteUninstallerCopy();
        DeleteFileA(SCRIPT_NAME);
    }
    char self[PATH_SIZE], windows[PATH_SIZE], wininit[PATH_SIZE];
    GetModuleFileNameA(startup.hInstance, self, sizeof self);
    GetWindowsDirectoryA(windows, sizeof windows);
    if (formatText(wininit, sizeof wininit, "%s\\wininit.ini", windows))
        WritePrivateProfileStringA("Rename", "NUL", self, wininit);
    MoveFileExA(self, 0, MOVEFILE_DELAY_UNTIL_REBOOT);
    MessageBoxA(0, messageTable[MSG_UNINSTALL_FINISHED], messageTable[MSG_UNINSTALLATION], MB_ICONINFORMATION);
    return mutex;
}
