// File-system calls that differ on POSIX.
#include "tools/quillpack/folder.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

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
