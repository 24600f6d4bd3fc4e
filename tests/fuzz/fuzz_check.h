// Shared by the fuzz targets: the check that ends a run when a property does
// not hold, and a private scratch folder for the files each input becomes.
#pragma once

#include <string>

#include "support/package_builder.h"

// Unless holds, writes what broke and where to the standard error the
// process started with (-close_fd_mask=2 closes its own) and aborts, so that
// libFuzzer keeps the input.
void fuzzCheck(bool holds, const char *what, const char *file = __builtin_FILE(), int line = __builtin_LINE());

// A path in a folder made for this process under $TMPDIR (or /tmp) and
// removed, with everything in it, when the process ends.
std::string scratchPath(const char *fileName);
