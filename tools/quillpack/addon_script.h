// The add-on's install script as quillpack reads it: with the installer's
// own file layer and grammar, so it sees the same lines and values the
// installer will, plus the explanations an author needs when a line cannot
// work. The build checks a script with these before it writes anything;
// verify reads the script stored in an installer with the same code.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "base/path_rule.h"
#include "package/package.h"
#include "script/script_grammar.h"

typedef std::vector<unsigned char> Bytes;

// One COPY line of the script with the line of the file it stands on.
struct ScriptCopy {
    int line;          // 1-based line of the script file
    CopyLine copy;     // as the installer parses it
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

// A phrase for what the path rule finds wrong ("is absolute", ...).
std::string pathProblemText(PathProblem problem);

// Empty when path is a destination the installer writes below its
// destination folder; else a phrase saying why it refuses it.
std::string destinationProblem(const std::string &path);

// ---- Reading ----

// Empty when script holds no NUL byte; else "LINE: ..." for the first: the
// installer's line ends there, and the rest of that line is lost.
std::string nulByteProblem(const Bytes &script);

// Reads the script through file (opened "rt") exactly as the installer does
// and appends its COPY lines to lines, in order. Checks every line that the
// installer would refuse or that names a place outside its folder: COPY
// and DIR lines, GROUP= and the link names of LINK= and DESK=. Returns false
// at the first such line, with error set to "name:LINE: what is wrong"; name
// is the script's name for messages.
bool readCopyLines(PackageFile file, const char *name, std::vector<ScriptCopy> &lines,
                   std::string &error);
