// The install script's grammar: how a line of the script is recognised and
// cut into its values. Every reader of the script goes through it: the
// settings pass, the copy pass, the uninstaller's two readings and
// quillpack, which adds only its explanations. Portable: no Win32 calls.
//
// A line is what one pfGets of SCRIPT_LINE_SIZE bytes returns from the
// script opened in text mode: at most 1023 characters, CR LF read as LF, the
// line feed kept. A line is told by the keyword at its very start, compared
// case-sensitively; a blank before it hides it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "base/names.h"

// ---- Keywords ----

// In the order the settings pass tests them.
enum ScriptKeyword {
    KEYWORD_NONE,            // no keyword: every reader ignores the line
    KEYWORD_COMMENT,         // ";"
    KEYWORD_GROUP,           // "GROUP=" gap, quoted program group name
    KEYWORD_LINK,            // "LINK=" three quoted values: target, link name, arguments
    KEYWORD_DESK,            // "DESK=" as LINK=, the link on the desktop
    KEYWORD_PRODUCT,         // "PRODUCT=" gap, quoted product name
    KEYWORD_KEY,             // "KEY=" a name that no step uses
    KEYWORD_DESTINATION,     // "DIR=" the default destination to the end of the line
    KEYWORD_COPY,            // "COPY '" entry name ' ' destination ' size
    KEYWORD_INSTALL_DLLS,    // "INSTALL_DLLS" the rest of the line is ignored
    KEYWORD_INSTALL_KEY,     // "INSTALL_KEY=" registry key path to the end of the line
    KEYWORD_INSTALL_VALUE,   // "INSTALL_VALUE=" registry value name to the end of the line
    KEYWORD_FOLDER,          // "DIR '" folder path '
};

// The keyword line starts with; *rest is set to the text after it (for
// KEYWORD_NONE, to line itself).
ScriptKeyword lineKeyword(const char *line, const char **rest);

// The keyword as a script writes it ("COPY '", "LINK=", ...); "" for none.
const char *keywordText(ScriptKeyword keyword);

// For a line that lineKeyword finds no keyword on: the keyword it would
// start with without its leading blanks and tabs and with its letters in
// upper case (" COPY '", "copy '", "Group="), else KEYWORD_NONE. Every
// reader ignores such a line; quillpack tells the author why.
ScriptKeyword misplacedKeyword(const char *line);

// ---- Values ----

// Why a scan of quoted values stopped.
enum QuotedStop {
    QUOTED_ALL,          // every value was stored
    QUOTED_NO_GAP,       // an opening quote with no other character before it
    QUOTED_NO_VALUE,     // no further opening quote
    QUOTED_EMPTY,        // nothing between the quotes
    QUOTED_UNCLOSED,     // the last value stored has no closing quote
    QUOTED_TOO_LONG,     // the last value stored was cut to its field
};

// Quoted values (GROUP=, PRODUCT=, LINK=, DESK=), each into a field of
// fieldSize bytes: at least one character that is not a double quote (the
// gap), the opening quote, any whitespace, then one or more characters up to
// the closing quote. The scan stops at the first value that does not match
// (an empty one included); the fields from there on keep what they held. A
// value longer than its field is cut to fit, and the scan stops after it.
// Returns the number of values stored; *stop (unless null) says why the
// scan ended.
int scanQuotedValues(const char *text, char *const *fields, int count, size_t fieldSize,
                     QuotedStop *stop = 0);

// The rest of a line up to its line feed (DIR=, INSTALL_KEY=,
// INSTALL_VALUE=) into field, which holds it with its line feed, so a value
// may take size - 2 characters. False when it had to be cut.
bool readLineValue(const char *text, char *field, size_t size);

// How a COPY ' or DIR ' line parses. The installer takes every status but
// LINE_OK and LINE_TOO_LONG as a malformed line; quillpack says which part
// is missing.
enum LineStatus {
    LINE_OK,
    LINE_TOO_LONG,              // the text after the keyword does not fit its 260-byte buffer
    LINE_NO_NAME_END,           // the entry name (COPY) or folder (DIR) has no closing apostrophe
    LINE_NO_GAP,                // COPY: not one character and an apostrophe after the entry name
    LINE_NO_DESTINATION_END,    // COPY: the destination has no closing apostrophe
    LINE_NO_SIZE,               // COPY: no unsigned decimal 32-bit size after the destination
};

// COPY 'entry name' 'destination path' size
struct CopyLine {
    char entryName[PATH_SIZE];     // package entry to unpack
    char destination[PATH_SIZE];   // path below the destination folder
    uint32_t size;                 // unpacked size in bytes
};

// Parses the text after "COPY '" (line feed included): the entry name up
// to an apostrophe, one character, an apostrophe, the destination up to an
// apostrophe, then an unsigned decimal 32-bit size after optional blanks.
LineStatus parseCopyLine(const char *rest, CopyLine *line);

// Parses the text after "DIR '" into folder (size bytes): up to an apostrophe.
LineStatus parseDirLine(const char *rest, char *folder, size_t size);

// ---- The uninstaller's reading ----

// The file a COPY line installed, as the uninstaller reads it from the text
// after "COPY '": from three characters after the apostrophe that closes the
// entry name up to the next apostrophe, or to the end of the line as read.
// False when the entry name has no closing apostrophe or the destination
// does not fit destination (size bytes): cut short it would name another file.
bool installedFileOfCopyLine(const char *rest, char *destination, size_t size);

// The folder a DIR ' line made, read the same way from the text after "DIR '".
bool installedFolderOfDirLine(const char *rest, char *folder, size_t size);
