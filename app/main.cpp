// The program's entry point and the install sequence.
#include "app/startup.h"

#include <commctrl.h>

#include <string.h>

#include "app/dialogs.h"
#include "base/messages.h"
#include "base/report.h"
#include "package/integrity.h"
#include "script/install_settings.h"
#include "system/registry.h"
#include "system/runtime_check.h"
#include "system/shortcuts.h"
#include "uninstall/uninstall.h"

void RunInstallSequence()
{
    // A damaged installer reads nothing, not even the files beside it.
    if (openInstallerPackage(startup.modulePath) == INSTALLER_DAMAGED) {
        showError(messageTable[MSG_DAMAGED_INSTALLER]);
        startup.exitStatus = 1;
        return;
    }
    settings.scriptFile = pfOpen(SCRIPT_NAME, "rt");
    if (settings.scriptFile) {
        ReadSettings();
        if (ShowAgreementDialog() && ShowDestinationDialog()) {
            WriteInstallRecord();
            CreateShortcuts();
            if (settings.bInstallDlls)
                RunRedistributable();
            if (!settings.bRedistAttempted) {
                Sleep(1000);
                MessageBoxA(0, messageTable[MSG_INSTALL_SUCCEEDED], messageTable[MSG_INSTALLATION],
                            MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL);
            }
        }
        pfClose(settings.scriptFile);
    }
    closePackage(startup.modulePath);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    startup.hInstance = instance;
    startup.exitStatus = 0;
    GetModuleFileNameA(0, startup.modulePath, sizeof startup.modulePath);
    char *lastBackslash = strrchr(startup.modulePath, '\\');
    startup.moduleFileName = lastBackslash ? lastBackslash + 1 : startup.modulePath;

    InitCommonControls();
    CoInitialize(0);
    SplitCommandLine();
    ParseOptions();
    CheckRuntimeLibraries();
    if (startup.runMode == RUN_INSTALL) {
        RunInstallSequence();
        return startup.exitStatus;
    }
    // Releasing the mutex is this process's last act: it lets the clean-up
    // stage go on.
    HANDLE mutex = RunUninstall();
    if (mutex) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    return startup.exitStatus;
}
