// Folders, the current directory, the module and the command line of the
// stand-in. Windows paths map onto POSIX ones by turning '\' into '/';
// errors come back as the Windows error codes.
#include <windows.h>

#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "host/host.h"

static DWORD lastError = 0;

DWORD GetLastError()
{
    return lastError;
}

static std::string posixPath(LPCSTR path)
{
    std::string out = path;
    for (char &c : out)
        if (c == '\\')
            c = '/';
    return out;
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
