// Files and folders common to both platforms.
#include "tools/quillpack/folder.h"

#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

bool readWholeFile(const std::string &path, Bytes &data, std::string &error)
{
    data.clear();
    FILE *file = fopen(path.c_str(), "rb");
    if (!file) {
        error = path + ": " + strerror(errno);
        return false;
    }
    unsigned char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
        data.insert(data.end(), buffer, buffer + n);
    bool failed = ferror(file) != 0;
    int saved = errno;
    fclose(file);
    if (failed)
        error = path + ": " + strerror(saved);
    return !failed;
}

bool isFolder(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isRegularFile(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string lowerAscii(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return text;
}

bool listFolder(const std::string &folder, std::vector<std::string> &names, std::string &error)
{
    DIR *dir = opendir(folder.c_str());
    if (!dir) {
        error = folder + ": " + strerror(errno);
        return false;
    }
    errno = 0;
    while (struct dirent *item = readdir(dir)) {
        std::string name = item->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    int failure = errno;
    closedir(dir);
    if (failure != 0)
        error = folder + ": " + strerror(failure);
    return failure == 0;
}

bool isInsideFolder(const std::string &path, const std::string &folder)
{
    std::string real = resolvedPath(path), base = resolvedPath(folder);
    return !real.empty() && !base.empty() && real.compare(0, base.size(), base) == 0 &&
           (real.size() == base.size() || real[base.size()] == '/' || real[base.size()] == '\\');
}

// The listing of folder from the cache, read on first use. Null with error
// set when the folder cannot be read.
static const std::map<std::string, std::vector<std::string>> *
listing(FolderCache &cache, const std::string &folder, std::string &error)
{
    auto known = cache.folders.find(folder);
    if (known != cache.folders.end())
        return &known->second;
    std::vector<std::string> found;
    if (!listFolder(folder, found, error))
        return 0;
    // A name without a form in the script's code page cannot be named by
    // a script.
    std::map<std::string, std::vector<std::string>> names;
    std::string inScript;
    for (const std::string &name : found)
        if (scriptName(name, inScript))
            names[lowerAscii(inScript)].push_back(name);
    return &(cache.folders[folder] = names);
}

int findIgnoringCase(FolderCache &cache, const std::string &root,
                     const std::vector<std::string> &components, std::string &path,
                     std::string &error)
{
    std::string current = root;
    for (size_t i = 0; i < components.size(); i++) {
        const auto *names = listing(cache, current, error);
        if (!names)
            return -1;
        auto match = names->find(lowerAscii(components[i]));
        if (match == names->end())
            return 0;
        if (match->second.size() > 1) {
            error = current + ": both '" + match->second[0] + "' and '" + match->second[1] +
                    "' match '" + components[i] + "'; the installer cannot tell them apart";
            return -1;
        }
        current += "/" + match->second[0];
        if (isLink(current) && !isInsideFolder(current, root)) {
            error = current + ": a symbolic link that leads out of the add-on folder (to " +
                    resolvedPath(current) + "); quillpack does not follow it";
            return -1;
        }
        bool last = i + 1 == components.size();
        if (last ? !isRegularFile(current) : !isFolder(current))
            return 0;
    }
    path = current;
    return 1;
}
