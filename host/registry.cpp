// The registry of the stand-in: HKEY_LOCAL_MACHINE as an in-memory map of
// key paths to values, with key paths and value names compared without case.
#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "host/host.h"

static std::vector<std::string> openKeys;   // an HKEY is 1 + an index here

static std::string lower(const std::string &text)
{
    std::string out = text;
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return out;
}

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
    host.registry[lower(key)][lower(name)] = {REG_SZ, value + '\0'};
}

bool hostRegistryString(const std::string &key, const std::string &name, std::string *value)
{
    auto k = host.registry.find(lower(key));
    if (k == host.registry.end())
        return false;
    auto v = k->second.find(lower(name));
    if (v == k->second.end())
        return false;
    *value = v->second.data.substr(0, v->second.data.find('\0'));
    return true;
}

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result)
{
    if (key != HKEY_LOCAL_MACHINE || hostFails("RegOpenKeyExA") || !host.registry.count(lower(subKey)))
        return ERROR_FILE_NOT_FOUND;
    *result = handleFor(lower(subKey));
    return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY result,
                     LPDWORD)
{
    if (key != HKEY_LOCAL_MACHINE || hostFails("RegCreateKeyExA"))
        return ERROR_ACCESS_DENIED;
    host.registry[lower(subKey)];
    *result = handleFor(lower(subKey));
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
    auto v = values.find(lower(name ? name : ""));
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
    host.registry[*path][lower(name ? name : "")] = {type, std::string((const char *)data, size)};
    host.events.push_back("RegSetValueExA");
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key)
{
    return pathOf(key) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}
