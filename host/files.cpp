// Folders, the current directory, the module and the command line of the
// stand-in. Windows paths map onto POSIX ones by turning '\' into '/';
// errors come back as the Windows error codes.
#include <windows.h>

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "host/host.h"
#include "host/host_paths.h"

static DWORD lastError = 0;

DWORD GetLastError()
{
    return lastError;
}


static DWORD windowsError(int error)
{
    switch (error) {
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case ENOENT:
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES)
{
    if (hostFails("CreateDirectoryA")) {
        lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    if (path[0] == '\0' || mkdir(posixPath(path).c_str(), 0777) != 0) {
        lastError = path[0] ? windowsError(errno) : ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    return TRUE;
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer)
{
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd))
        return 0;
    size_t length = strlen(cwd);
    if (length + 1 > size)
        return (DWORD)(length + 1);
    memcpy(buffer, cwd, length + 1);
    return (DWORD)length;
}

BOOL SetCurrentDirectoryA(LPCSTR path)
{
    if (hostFails("SetCurrentDirectoryA") || path[0] == '\0' || chdir(posixPath(path).c_str()) != 0) {
        lastError = ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    return TRUE;
}

DWORD GetModuleFileNameA(HINSTANCE, LPSTR buffer, DWORD size)
{
    if (size == 0)
        return 0;
    size_t n = host.modulePath.size() < size - 1 ? host.modulePath.size() : size - 1;
    memcpy(buffer, host.modulePath.data(), n);
    buffer[n] = '\0';
    return (DWORD)n;
}

LPSTR GetCommandLineA()
{
    host.commandLine.reserve(host.commandLine.size() + 1);
    return &host.commandLine[0];
}

void Sleep(DWORD milliseconds)
{
    host.sleptMilliseconds += milliseconds;
}

BOOL DeleteFileA(LPCSTR path)
{
    host.events.push_back(std::string("DeleteFileA ") + path);
    if (hostFails("DeleteFileA") || path[0] == '\0' || unlink(posixPath(path).c_str()) != 0) {
        lastError = ERROR_FILE_NOT_FOUND;
        return FALSE;
    }
    return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR path)
{
    host.events.push_back(std::string("RemoveDirectoryA ") + path);
    if (path[0] == '\0' || rmdir(posixPath(path).c_str()) != 0) {
        lastError = windowsError(errno);
        return FALSE;
    }
    return TRUE;
}

BOOL CopyFileA(LPCSTR existing, LPCSTR copy, BOOL failIfExists)
{
    host.events.push_back(std::string("CopyFileA ") + existing + " -> " + copy);
    if (hostFails("CopyFileA"))
        return FALSE;
    FILE *in = fopen(posixPath(existing).c_str(), "rb");
    if (!in)
        return FALSE;
    if (failIfExists && access(posixPath(copy).c_str(), F_OK) == 0) {
        fclose(in);
        return FALSE;
    }
    FILE *out = fopen(posixPath(copy).c_str(), "wb");
    bool ok = out != 0;
    char buffer[4096];
    size_t n;
    while (ok && (n = fread(buffer, 1, sizeof buffer, in)) > 0)
        ok = fwrite(buffer, 1, n, out) == n;
    fclose(in);
    if (out && fclose(out) != 0)
        ok = false;
    return ok;
}

BOOL MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags)
{
    host.events.push_back(std::string("MoveFileExA ") + existing + " -> " + (target ? target : "(null)") + " " +
                          std::to_string(flags));
    return TRUE;
}

DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size)
{
    if (access(posixPath(longPath).c_str(), F_OK) != 0) {
        lastError = ERROR_FILE_NOT_FOUND;
        return 0;
    }
    auto found = host.shortPaths.find(longPath);
    std::string result = found != host.shortPaths.end() ? found->second : longPath;
    if (result.size() + 1 > size)
        return (DWORD)result.size() + 1;
    memcpy(shortPath, result.c_str(), result.size() + 1);
    return (DWORD)result.size();
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size)
{
    const std::string &windows = host.windowsDirectory;
    if (windows.size() + 1 > size)
        return (UINT)windows.size() + 1;
    memcpy(buffer, windows.c_str(), windows.size() + 1);
    return (UINT)windows.size();
}

// Written as a real INI file of one section, which is all the system writes.
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file)
{
    host.events.push_back(std::string("WritePrivateProfileStringA ") + section + " " + key + "=" + value + " " + file);
    FILE *out = fopen(posixPath(file).c_str(), "wb");
    if (!out)
        return FALSE;
    fprintf(out, "[%s]\r\n%s=%s\r\n", section, key, value);
    return fclose(out) == 0;
}
