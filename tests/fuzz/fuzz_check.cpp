#include "fuzz/fuzz_check.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

// Taken before main, so before libFuzzer's -close_fd_mask can close it.
static FILE *const startupError = fdopen(dup(2), "w");
static std::error_code removalError;   // not read: the scratch folder goes if it can

void fuzzCheck(bool holds, const char *what, const char *file, int line)
{
    if (holds)
        return;
    FILE *out = startupError ? startupError : stderr;
    fprintf(out, "%s:%d: %s\n", file, line, what);
    fflush(out);
    abort();
}

std::string scratchPath(const char *fileName)
{
    static std::string folder;
    if (folder.empty()) {
        folder = (std::filesystem::temp_directory_path() / "quillfen-fuzz-XXXXXX").string();
        fuzzCheck(mkdtemp(&folder[0]) != 0, "cannot make a scratch folder");
        atexit([] { std::filesystem::remove_all(folder, removalError); });
    }
    return folder + "/" + fileName;
}
