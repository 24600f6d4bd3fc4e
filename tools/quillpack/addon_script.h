// The add-on's install script as quillpack reads it, line by line: with the
// installer's own grammar, so it sees the same lines and values the
// installer will, plus the explanations an author needs when a line cannot
// work. script_lint.h puts the lines together.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "base/path_rule.h"
#include "script/script_grammar.h"

typedef std::vector<unsigned char> Bytes;

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

// ---- Lines ----

// The line of the first NUL byte of script, where the installer's line
// ends, losing the rest of it; 0 when there is none.
int nulByteLine(const Bytes &script);

// What the installer would misread or refuse on one line (keyword and rest
// as lineKeyword gives them), in an author's words; empty when nothing. A
// COPY line without an error is parsed into *copy.
std::string lineError(const char *line, ScriptKeyword keyword, const char *rest, CopyLine *copy);
