// Shared by the fuzz targets: the check that ends a run when a property does
// not hold, a private scratch folder for the files each input is written to,
// and the install script stored as the entry of an installer.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "support/package_builder.h"

// Aborts with a message naming the broken property; libFuzzer then saves the
// input that broke it.
#define FUZZ_CHECK(condition, what)                                    \
    do {                                                               \
        if (!(condition))                                              \
            fuzzCheckFailed(__FILE__, __LINE__, what, #condition);     \
    } while (0)

// Writes the message to the standard error the process started with (a
// target run with -close_fd_mask=2 has lost its own) and aborts.
[[noreturn]] void fuzzCheckFailed(const char *file, int line, const char *what, const char *condition);

// The path of a file in a folder made for this process under $TMPDIR (or
// /tmp) and removed, with everything in it, when the process ends.
std::string scratchPath(const char *fileName);

// ---- The install script ----

// Writes an installer whose script entry holds the bytes, followed by
// entries, into the scratch folder and opens it as the only package.
void openScriptPackage(const uint8_t *script, size_t length, const std::vector<TestEntry> &entries = {});
void closeScriptPackage();

// Runs the settings pass over the script that name opens in text mode,
// on settings cleared as at start-up.
void readSettingsFrom(const char *name);

// What every settings pass keeps: each text field ends inside its buffer,
// no more links than slots, the longest path fits a path buffer.
void checkSettings();

// Payload for the copy pass: the sample add-on's files under the entry
// names and with the unpacked sizes its script gives them, an entry that is
// not gzip and one whose CRC is wrong. script, when given, receives a COPY
// line for every entry with its unpacked size.
std::vector<TestEntry> samplePayload(std::string *script = 0);
