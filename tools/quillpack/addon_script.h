// The add-on's install script as quillpack reads it: the same lines the
// installer will see, the COPY lines with their entry names and sizes, and the
// rules a name or a path must meet for the installer to use it. The build
// checks a script with these before it writes anything; verify reads the
// script stored in an installer with the same code.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

typedef std::vector<unsigned char> Bytes;

const size_t SCRIPT_READ_LIMIT = 1023;   // characters one line read of the installer returns
const size_t COPY_REST_LIMIT = 259;      // rest of a COPY line after "COPY '", line feed included

// One "COPY 'entry' 'destination' size" line.
struct CopyLine {
    int line;                  // 1-based line of the script file
    std::string entryName;     // as written, between the first two apostrophes
    std::string destination;   // relative to the destination folder
    uint32_t size;             // unpacked size the line declares, in bytes
};

// ---- Line ends ----

// Returns text with every lone LF turned into CR LF; CR LF pairs and every
// other byte stay as they are.
Bytes withCrLf(const Bytes &text);

// ---- Names and paths ----

// The entry name the installer opens for a COPY line's entry name: the name
// itself when it is longer than 3 bytes and ends in exactly ".gz" (lower
// case), else the name with ".gz" appended.
std::string lookupName(const std::string &entryName);

// Empty when the installer can find an entry of this name; else a phrase
// saying why it never can (a '/', "..", a leading '\', an empty component).
std::string entryNameProblem(const std::string &name);

// Empty when the relative path stays below the folder it is taken from; else
// a phrase saying why not (empty, absolute, names a drive, a ".." component,
// with '\' and '/' both taken as separators).
std::string escapeProblem(const std::string &path);

// Empty when path is a destination the installer accepts below its
// destination folder; else a phrase saying why it refuses it (see
// escapeProblem) or why it would break the installation (the place of the
// uninstaller copy).
std::string destinationProblem(const std::string &path);

// ---- Reading ----

// Reads script as the installer does (Windows text mode, lines of at most
// SCRIPT_READ_LIMIT characters) and appends its COPY lines to lines, in
// order. Also checks the folder path of each DIR line. Returns false at the
// first line the installer could not carry out, with error set to
// "file:LINE: what is wrong"; file is the script's name for messages.
bool readCopyLines(const Bytes &script, const char *file, std::vector<CopyLine> &lines,
                   std::string &error);
