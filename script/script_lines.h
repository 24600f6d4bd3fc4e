// The shared reading rules of the install script's lines: keywords are
// case-sensitive prefixes; COPY ' and DIR ' lines carry apostrophe-delimited
// fields. Used by the settings pass, the copy pass and the uninstaller.
#pragma once

#include <stdint.h>

// A line starting with keyword (case-sensitive, no leading blanks).
bool startsWith(const char *line, const char *keyword);

// Quoted values (GROUP=, PRODUCT=, LINK=, DESK=): for each of count fields
// (260 bytes each), at least one character that is not a quote (the gap),
// the opening quote, any whitespace, then one or more characters up to the
// closing quote. The scan stops at the first element that does not match;
// the fields from there on keep what they held.
void scanQuotedValues(const char *text, char **fields, int count);

enum LineStatus {
    LINE_OK,
    LINE_MALFORMED,   // a closing apostrophe or the size is missing
    LINE_TOO_LONG,    // the text after the keyword does not fit its 260-byte buffer
};

// COPY 'entry name' 'destination path' size
struct CopyLine {
    char entryName[260];     // package entry to unpack
    char destination[260];   // path below destinationDir
    uint32_t size;           // unpacked size in bytes
};

// Parses the text after "COPY '" (line feed included).
LineStatus parseCopyLine(const char *afterKeyword, CopyLine *line);

// Parses the text after "DIR '" into folder (260 bytes).
LineStatus parseDirLine(const char *afterKeyword, char *folder);

// True when path stays below the folder it is relative to: not absolute,
// no drive or other colon, no ".." component.
bool isPathInsideDestination(const char *path);
