#include "system/registry.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "base/text.h"
#include "script/install_settings.h"

void ReadRegistryString(const char *keyPath, const char *valueName, char *buffer, uint32_t size)
{
    buffer[0] = '\0';
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    DWORD length = size;
    LONG status = RegQueryValueExA(key, valueName, 0, 0, (LPBYTE)buffer, &length);
    RegCloseKey(key);
    buffer[status == ERROR_SUCCESS && length <= size ? length : 0] = '\0';
}

void WriteInstallRecord()
{
    if (!settings.bWriteInstallKey)
        return;
    char keyPath[PATH_SIZE];
    if (!formatText(keyPath, sizeof keyPath, "SOFTWARE\\%s", settings.installKey))
        return;     // a key cut short would be another key
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, 0, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, 0, &key, 0) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key, settings.installValue, 0, REG_SZ, (const BYTE *)settings.destinationDir,
                   (DWORD)strlen(settings.destinationDir) + 1);
    RegCloseKey(key);
}
