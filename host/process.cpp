// Processes, file attributes and version information of the stand-in. A
// started process is recorded and also written to standard error, so a
// death test sees it after the installer has ended itself.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "host/host.h"
#include "host/host_paths.h"


DWORD GetFileAttributesA(LPCSTR path)
{
    struct stat status;
    if (stat(posixPath(path).c_str(), &status) != 0)
        return INVALID_FILE_ATTRIBUTES;
    return S_ISDIR(status.st_mode) ? 0x10 : 0x80;
}

BOOL CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                    BOOL inheritHandles, DWORD, LPVOID, LPCSTR currentDirectory, STARTUPINFOA *,
                    PROCESS_INFORMATION *information)
{
    char cwd[4096] = "";
    std::string directory = currentDirectory ? currentDirectory : (getcwd(cwd, sizeof cwd) ? cwd : "");
    if (hostFails("CreateProcessA") || access(posixPath(application).c_str(), F_OK) != 0)
        return FALSE;
    host.processes.push_back({application, commandLine ? commandLine : "", directory, inheritHandles != 0});
    host.events.push_back(std::string("CreateProcessA ") + application);
    fprintf(stderr, "[CreateProcessA \"%s\" \"%s\" in \"%s\"]\n", application, commandLine ? commandLine : "",
            directory.c_str());
    memset(information, 0, sizeof *information);
    return TRUE;
}

void ExitProcess(UINT status)
{
    fflush(0);
    _exit((int)status);
}


// The "version information" handed to the caller is the library's name.
DWORD GetFileVersionInfoSizeA(LPCSTR file, LPDWORD)
{
    host.events.push_back(std::string("GetFileVersionInfoSizeA ") + file);
    return host.versionInfo.count(lowerCase(file)) ? MAX_PATH : 0;
}

BOOL GetFileVersionInfoA(LPCSTR file, DWORD, DWORD size, LPVOID data)
{
    if (!host.versionInfo.count(lowerCase(file)) || size < MAX_PATH)
        return FALSE;
    snprintf((char *)data, size, "%s", lowerCase(file).c_str());
    return TRUE;
}

BOOL VerQueryValueA(const void *block, LPCSTR subBlock, LPVOID *buffer, UINT *length)
{
    static unsigned char translations[64];
    static std::string version;
    const HostVersionInfo &info = host.versionInfo[(const char *)block];
    std::string query = subBlock;
    if (query == "\\VarFileInfo\\Translation") {
        size_t count = info.productVersions.size() < 16 ? info.productVersions.size() : 16;
        for (size_t i = 0; i < count; i++) {
            unsigned id = info.productVersions[i].first;
            unsigned short pair[2] = {(unsigned short)(id >> 16), (unsigned short)(id & 0xFFFF)};
            memcpy(translations + 4 * i, pair, 4);
        }
        *buffer = translations;
        *length = info.translationBytes >= 0 ? (UINT)info.translationBytes : (UINT)(4 * count);
        return TRUE;
    }
    for (const auto &entry : info.productVersions) {
        char name[64];
        snprintf(name, sizeof name, "\\StringFileInfo\\%04x%04x\\ProductVersion", entry.first >> 16,
                 entry.first & 0xFFFF);
        if (query == name && !entry.second.empty()) {
            version = entry.second;
            *buffer = &version[0];
            *length = (UINT)version.size() + 1;
            return TRUE;
        }
    }
    return FALSE;
}

// The named mutex: one per name, with the waits answered from the test's
// script (WAIT_OBJECT_0 when it gives none).
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name)
{
    host.events.push_back(std::string("CreateMutexA ") + name + (initialOwner ? " owned" : " unowned"));
    if (hostFails("CreateMutexA"))
        return 0;
    return (HANDLE)(uintptr_t)0x4D55;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds)
{
    host.events.push_back("WaitForSingleObject " + std::to_string(milliseconds));
    if (!object)
        return WAIT_FAILED;
    if (host.waitResults.empty())
        return WAIT_OBJECT_0;
    DWORD result = host.waitResults.front();
    host.waitResults.pop_front();
    return result;
}

BOOL ReleaseMutex(HANDLE)
{
    host.events.push_back("ReleaseMutex");
    return TRUE;
}

BOOL CloseHandle(HANDLE)
{
    host.events.push_back("CloseHandle");
    return TRUE;
}
