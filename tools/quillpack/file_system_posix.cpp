// File-system calls that differ on POSIX.
#include "tools/quillpack/folder.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

bool replaceFile(const std::string &from, const std::string &to, std::string &error)
{
    if (rename(from.c_str(), to.c_str()) == 0)
        return true;
    error = to + ": " + strerror(errno);
    return false;
}

bool makeFolder(const std::string &path, std::string &error)
{
    if (mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && isFolder(path)))
        return true;
    error = path + ": " + strerror(errno);
    return false;
}

std::string ownExecutable()
{
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path);
    if (n <= 0 || (size_t)n >= sizeof path)
        return "";
    return std::string(path, (size_t)n);
}
