#include "system/runtime_check.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "base/messages.h"
#include "base/startup_state.h"
#include "base/text.h"
#include "script/install_settings.h"

bool RuntimeVersionsPass(const char *const *productVersions, int count)
{
    for (int i = 0; i < count; i++) {
        const char *version = productVersions[i];
        if (!version || !strchr(version, '.'))
            continue;
        // The number before the first dot: strtol stops at the dot itself.
        if (strtol(version, 0, 10) < 6)
            return false;
    }
    return true;
}

bool IsGoodRuntimeDll(const char *fileName)
{
    DWORD size = GetFileVersionInfoSizeA(fileName, 0);
    if (size == 0)
        return false;
    void *info = malloc(size);
    if (!info || !GetFileVersionInfoA(fileName, 0, size, info)) {
        free(info);
        return false;
    }
    struct Translation {
        WORD language;
        WORD codePage;
    } *translations;
    UINT length = 0;
    if (!VerQueryValueA(info, "\\VarFileInfo\\Translation", (void **)&translations, &length))
        length = 0;
    bool good = true;
    for (UINT i = 0; good && i < length / 4; i++) {
        char query[64];
        char hex[16];
        static const char digits[] = "0123456789abcdef";
        for (int d = 0; d < 4; d++) {
            hex[d] = digits[(translations[i].language >> (12 - 4 * d)) & 0xF];
            hex[4 + d] = digits[(translations[i].codePage >> (12 - 4 * d)) & 0xF];
        }
        hex[8] = '\0';
        formatText(query, sizeof query, "\\StringFileInfo\\%s\\ProductVersion", hex);
        char *version = 0;
        UINT versionLength = 0;
        if (!VerQueryValueA(info, query, (void **)&version, &versionLength) || versionLength == 0)
            version = 0;      // unreadable: passes
        const char *versions[] = {version};
        good = RuntimeVersionsPass(versions, 1);
    }
    free(info);
    return good;
}

void CheckRuntimeLibraries()
{
    settings.bAreGoodDlls = IsGoodRuntimeDll("msvcrt.dll") && IsGoodRuntimeDll("msvcp60.dll");
    OutputDebugStringA(settings.bAreGoodDlls ? "bAreGoodDlls=true\n" : "bAreGoodDlls=false\n");
}

// Starts program as a process of its own, with the redistributable's bare
// name as its command line, the installer's environment, handles and current
// directory. On success the installer ends at once, with status 0.
static void replaceInstallerWith(const char *program)
{
    if (GetFileAttributesA(program) == INVALID_FILE_ATTRIBUTES)
        return;
    char commandLine[sizeof REDISTRIBUTABLE_NAME];
    copyText(commandLine, sizeof commandLine, REDISTRIBUTABLE_NAME);
    STARTUPINFOA startupInfo = {};
    startupInfo.cb = sizeof startupInfo;
    PROCESS_INFORMATION process;
    if (CreateProcessA(program, commandLine, 0, 0, TRUE, 0, 0, 0, &startupInfo, &process))
        ExitProcess(0);
}

void RunRedistributable()
{
    if (settings.bAreGoodDlls)
        return;
    char program[PATH_SIZE];
    if (copyText(program, sizeof program, settings.destinationDir) &&
        appendText(program, sizeof program, REDISTRIBUTABLE_NAME))
        replaceInstallerWith(program);
    MessageBoxA(0, "VCRedits.exe couldn't be spawned", messageTable[MSG_ERROR], MB_ICONINFORMATION | MB_SYSTEMMODAL);
    settings.bRedistAttempted = true;
    startup.exitStatus = 1;
}
