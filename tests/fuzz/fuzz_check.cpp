#include "fuzz/fuzz_check.h"

#include <dirent.h>
#include <unistd.h>

static std::string scratchFolder;

// Removes the files in the scratch folder, then the folder.
static void removeScratchFolder()
{
    DIR *dir = opendir(scratchFolder.c_str());
    if (dir) {
        while (struct dirent *item = readdir(dir)) {
            std::string name = item->d_name;
            if (name != "." && name != "..")
                unlink((scratchFolder + "/" + name).c_str());
        }
        closedir(dir);
    }
    rmdir(scratchFolder.c_str());
}

std::string scratchPath(const char *fileName)
{
    if (scratchFolder.empty()) {
        const char *base = getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/quillfen-fuzz-XXXXXX";
        FUZZ_CHECK(mkdtemp(&pattern[0]) != 0, "cannot make a scratch folder");
        scratchFolder = pattern;
        atexit(removeScratchFolder);
    }
    return scratchFolder + "/" + fileName;
}
