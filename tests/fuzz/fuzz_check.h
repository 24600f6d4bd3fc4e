// Shared by the fuzz targets: a private scratch folder for the installer file
// that each input is written to, and the check that ends a run when a
// property of the package store does not hold.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include <string>

// Aborts with a message naming the broken property; libFuzzer then saves the
// input that broke it.
#define FUZZ_CHECK(condition, what)                                                    \
    do {                                                                               \
        if (!(condition)) {                                                            \
            fprintf(stderr, "%s:%d: %s (%s)\n", __FILE__, __LINE__, what, #condition); \
            abort();                                                                   \
        }                                                                              \
    } while (0)

// The path of a file in a folder made for this process under $TMPDIR (or
// /tmp) and removed when the process ends.
std::string scratchPath(const char *fileName);
