// The registry of the stand-in: HKEY_LOCAL_MACHINE as an in-memory map of
// key paths to values, with key paths and value names compared without case.
#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "host/host.h"
#include "host/host_paths.h"

static std::vector<std::string> openKeys;   // an HKEY is 1 + an index here


static HKEY handleFor(const std::string &path)
{
    openKeys.push_back(path);
    return (HKEY)(uintptr_t)openKeys.size();
}

static std::string *pathOf(HKEY key)
{
    size_t index = (uintptr_t)key - 1;
    return index < openKeys.size() ? &openKeys[index] : 0;
}

void hostSetRegistryString(const std::string &key, const std::string &name, const std::string &value)
{
    host.registry[lowerCase(key)][lowerCase(name)] = {REG_SZ, value + '\0'};
}

bool hostRegistryString(const std::string &key, const std::string &name, std::string *value)
{
    auto k = host.registry.find(lowerCase(key));
    if (k == host.registry.end())
        return false;
    auto v = k->second.find(lowerCase(name));
    if (v == k->second.end())
        return false;
    *value = v->second.data.substr(0, v->second.data.find('\0'));
    return true;
}

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result)
{
    if (key != HKEY_LOCAL_MACHINE || hostFails("RegOpenKeyExA") || !host.registry.count(lowerCase(subKey)))
        return ERROR_FILE_NOT_FOUND;
    *result = handleFor(lowerCase(subKey));
    return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY result,
                     LPDWORD)
{
    if (key != HKEY_LOCAL_MACHINE || hostFails("RegCreateKeyExA"))
        return ERROR_ACCESS_DENIED;
    host.registry[lowerCase(subKey)];
    *result = handleFor(lowerCase(subKey));
    return ERROR_SUCCESS;
}

// As Windows: ERROR_MORE_DATA when the value does not fit, the size then
// telling how much it needs.
LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size)
{
    std::string *path = pathOf(key);
    if (!path)
        return ERROR_FILE_NOT_FOUND;
    auto &values = host.registry[*path];
    auto v = values.find(lowerCase(name ? name : ""));
    if (v == values.end())
        return ERROR_FILE_NOT_FOUND;
    if (type)
        *type = v->second.type;
    DWORD needed = (DWORD)v->second.data.size();
    if (data && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data)
        memcpy(data, v->second.data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE *data, DWORD size)
{
    std::string *path = pathOf(key);
    if (!path || hostFails("RegSetValueExA"))
        return ERROR_ACCESS_DENIED;
    host.registry[*path][lowerCase(name ? name : "")] = {type, std::string((const char *)data, size)};
    host.events.push_back("RegSetValueExA");
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key)
{
    return pathOf(key) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}
