// File-system calls that differ on POSIX, where names on disk are UTF-8.
#include "tools/quillpack/folder.h"

#include <errno.h>
#include <iconv.h>
#include <stdlib.h>
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

bool isLink(const std::string &path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::string resolvedPath(const std::string &path)
{
    char *real = realpath(path.c_str(), 0);
    if (!real)
        return "";
    std::string resolved = real;
    free(real);
    return resolved;
}

// text converted between two character sets; false when a character of it
// has no place in the second. ASCII is the same in both and needs no work.
static bool convert(const char *from, const char *to, const std::string &text, std::string &out)
{
    bool ascii = true;
    for (unsigned char c : text)
        ascii = ascii && c < 0x80;
    if (ascii) {
        out = text;
        return true;
    }
    iconv_t converter = iconv_open(to, from);
    if (converter == (iconv_t)-1)
        return false;
    std::string in = text;
    out.assign(text.size() * 4, '\0');
    char *inAt = &in[0], *outAt = &out[0];
    size_t inLeft = in.size(), outLeft = out.size();
    bool done = iconv(converter, &inAt, &inLeft, &outAt, &outLeft) != (size_t)-1 && inLeft == 0;
    iconv_close(converter);
    out.resize(out.size() - outLeft);
    return done;
}

bool scriptName(const std::string &disk, std::string &name)
{
    return convert("UTF-8", "CP1250", disk, name);
}

std::string diskName(const std::string &script)
{
    std::string name;
    return convert("CP1250", "UTF-8", script, name) ? name : script;
}
