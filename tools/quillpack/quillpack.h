// quillpack, the add-on author's tool: builds a self-extracting installer
// from the quillfen.exe stub and an add-on folder, and lists, verifies and
// extracts finished installers through the installer's own package layer.
// main.cpp reads the command line and calls one of these.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

const uint64_t MAX_PACKAGE_BYTES = 0x7FFFFFFF;   // offsets and sizes stay below 2^31

// What a command did, for the line it prints when it succeeds.
struct Totals {
    uint32_t entries = 0;   // entries written (build, extract) or COPY lines checked (verify)
    uint64_t bytes = 0;     // bytes written, or unpacked by verify
};

struct BuildOptions {
    std::string stubPath;      // the bare quillfen.exe
    std::string addonDir;      // quillfen.ini, Umowa.txt and the payload files
    std::string outputPath;    // the installer to write
    uint64_t maxPackageBytes = MAX_PACKAGE_BYTES;   // largest installer file allowed
    unsigned threads = 0;      // compressing threads; 0: one per core
};

// Writes the installer: the stub as entry 0 "quillfen.exe", "quillfen.ini"
// and "umowa.txt" plain with CR LF line ends, one gzip entry per distinct
// entry name of the script's COPY lines (an add-on file that is itself a
// gzip member is unpacked and compressed again), then the directory and its
// offset. The bytes are the same whatever the number of threads.
// Everything is checked before the first byte is written, and the file
// appears only when complete. Returns false with error set ("file: reason" or
// "quillfen.ini:LINE: reason"); no output file is left then. On success,
// totals (unless null) gets the entries and the bytes of the file.
bool buildInstaller(const BuildOptions &options, std::string &error, Totals *totals = 0);

// Prints one line per entry of the installer at path (name, offset, stored
// size, raw length, and the unpacked size of gzip entries) under a header
// line, in aligned columns. False with error set when it cannot be loaded.
bool listInstaller(const std::string &path, FILE *out, std::string &error);

// Checks the installer at path as the installer will use it: entry 0, the
// script, and every COPY entry read through the gzip reader to
// its end with the size its line declares. Appends one text per problem;
// true when there are none. totals (unless null) gets the COPY lines checked
// and the bytes they unpack to.
bool verifyInstaller(const std::string &path, std::vector<std::string> &problems,
                     Totals *totals = 0);

// Writes every entry's stored bytes to a file below dir ('\' in names makes
// sub-folders). Entries whose names would leave dir are refused and reported,
// like any entry that cannot be written; the others are still written. True
// when every entry was written. totals (unless null) gets the entries and
// bytes written.
bool extractInstaller(const std::string &path, const std::string &dir,
                      std::vector<std::string> &problems, Totals *totals = 0);
