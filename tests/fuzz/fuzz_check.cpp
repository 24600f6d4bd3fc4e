#include "fuzz/fuzz_check.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>

// Taken before main, so before libFuzzer's -close_fd_mask can close it.
static FILE *const startupError = fdopen(dup(2), "w");

void fuzzCheckFailed(const char *file, int line, const char *what, const char *condition)
{
    FILE *out = startupError ? startupError : stderr;
    fprintf(out, "%s:%d: %s (%s)\n", file, line, what, condition);
    fflush(out);
    abort();
}

static std::string scratchFolder;

static void removeScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(scratchFolder, ignored);
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
