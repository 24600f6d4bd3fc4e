// File-system calls that differ on Windows: rename does not replace an
// existing file there, and mkdir takes no mode.
#include "tools/quillpack/folder.h"

#include <windows.h>

#include <direct.h>
#include <errno.h>
#include <string.h>

// The system's text for a Win32 error code, without the trailing line end.
static std::string systemMessage(DWORD code)
{
    char text[256];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, 0,
                             code, 0, text, sizeof text, 0);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' '))
        n--;
    if (n == 0)
        return "error " + std::to_string(code);
    return std::string(text, n);
}

bool replaceFile(const std::string &from, const std::string &to, std::string &error)
{
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    error = to + ": " + systemMessage(GetLastError());
    return false;
}

bool makeFolder(const std::string &path, std::string &error)
{
    if (_mkdir(path.c_str()) == 0 || (errno == EEXIST && isFolder(path)))
        return true;
    error = path + ": " + strerror(errno);
    return false;
}

std::string ownExecutable()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(0, path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return "";
    return std::string(path, n);
}

bool isLink(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::string resolvedPath(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, 0);
    if (file == INVALID_HANDLE_VALUE)
        return "";
    char resolved[MAX_PATH * 4];
    DWORD n = GetFinalPathNameByHandleA(file, resolved, sizeof resolved, 0);
    CloseHandle(file);
    if (n == 0 || n >= sizeof resolved)
        return "";
    // Without the "\\?\" that marks a path past MAX_PATH.
    return strncmp(resolved, "\\\\?\\", 4) == 0 ? std::string(resolved + 4, n - 4) : std::string(resolved, n);
}

bool scriptName(const std::string &disk, std::string &name)
{
    name = disk;
    return true;
}

std::string diskName(const std::string &script)
{
    return script;
}
