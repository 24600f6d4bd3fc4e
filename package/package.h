// Package store: the package appended to the installer executable and the
// file layer over it. openPackage loads a package's directory into the
// process-wide table openPackages; pfOpen and friends then read a name as a
// package entry when one matches, else as an ordinary file on disk.
// Start-up opens and closes the package; everything else only reads.
#pragma once

#include <stdint.h>
#include <stdio.h>

// ---- Package table ----

const uint32_t ENTRY_TAG = 0x10293847;      // first word of every PackageEntry
const uint32_t ORDINARY_FILE_TAG = 0;       // first word of every OrdinaryFile

// One stored entry. Its address is also the PackageFile handle of the entry.
struct PackageEntry {
    uint32_t tag;        // always ENTRY_TAG
    char *name;          // heap copy of the stored name, NUL included
    uint32_t offset;     // file offset of the entry's first byte
    int32_t size;        // stored bytes (a whole gzip member for ".gz")
    int32_t position;    // read position relative to offset, 0..size
    FILE *stream;        // the package's shared binary stream
    uint32_t rawLength;  // 0 in every shipped record; else whole reads only
    bool textMode;       // last opened with 't': CR LF reads as LF
};

// One open package.
struct PackageRecord {
    char *path;              // heap copy of the path given to openPackage
    FILE *stream;            // the package file, "rb", shared by all entries
    int32_t entryCount;      // the directory's count
    PackageEntry *entries;   // entryCount records, in directory order
};

extern PackageRecord *openPackages;  // in open order; resized on every open/close
extern int32_t openPackageCount;     // records in openPackages

// Loads the directory of the package file at path (at most 1023 bytes).
// Returns the 32-bit wrapping sum of all entry sizes, 0 when the file cannot
// be opened or its directory does not fit the file (table unchanged), -1 when
// the table cannot grow.
int32_t openPackage(const char *path);

// Closes the first open package whose path equals path (ASCII case ignored)
// and its stream. Handles into it are invalid afterwards.
// Returns 0, or -1 when no such package is open or the table cannot shrink.
int32_t closePackage(const char *path);

// The entry called name (already normalised), ASCII case ignored: the first
// match in the order the packages were opened, then in directory order; 0
// when no open package has one. Constant time whatever the number of
// entries: openPackage and closePackage keep an index of the names.
PackageEntry *findPackageEntry(const char *name);

// ---- Package file layer ----

// A stdio stream wrapped so that its first word is ORDINARY_FILE_TAG.
struct OrdinaryFile {
    uint32_t tag;        // always ORDINARY_FILE_TAG
    FILE *stream;        // the open stdio stream, always binary
    bool textMode;       // opened to read text: CR LF reads as LF
};

// Either a PackageEntry or an OrdinaryFile; the first 32-bit word tells which.
typedef struct PackageFileHandle *PackageFile;

// Opens name as a package entry (first ASCII-case-insensitive match of the
// normalised name) or else as an ordinary file of the normalised name. A
// write mode never matches an entry and opens name exactly as given.
// Returns 0 when neither works.
//
// Text mode (a mode with 't'; for an ordinary file also one with neither 't'
// nor 'b') reads CR LF as LF and every other byte unchanged, Ctrl-Z and NUL
// included; positions count bytes of the file. Entries and ordinary files
// read text alike, on every platform, so the installer's reading of its
// script entry and the uninstaller's reading of the installed copy see the
// same lines.
PackageFile pfOpen(const char *name, const char *mode);
// Opens the ordinary file at path exactly as given, never an entry, with
// pfOpen's text mode: for tools that read a script outside any package.
PackageFile pfOpenFile(const char *path, const char *mode);
// Closes an ordinary stream (stdio result); for an entry nothing happens, 0.
int pfClose(PackageFile file);
// Non-zero at the end of the entry or stream.
int pfEof(PackageFile file);
// Entries: origin 0/1/2 = start/current/end, clamped to 0..size; always 0.
int pfSeek(PackageFile file, int32_t offset, int origin);
int32_t pfTell(PackageFile file);
// Reads one line of at most count-1 characters, never past the entry's end.
char *pfGets(char *buffer, int count, PackageFile file);
// Reads up to size*count bytes, never past the entry's end; returns whole
// elements read.
size_t pfRead(void *buffer, size_t size, size_t count, PackageFile file);
// The stdio stream of an ordinary file, for writers; 0 for an entry.
FILE *pfStdioStream(PackageFile file);
// True when the handle is an ordinary stdio stream, not a package entry.
bool isOrdinaryStream(PackageFile file);

// Forgets the package bytes that text reads of entries keep; closePackage
// calls it before the stream they came from is closed.
void forgetTextWindow();

// Turns '/' into '\' and removes "..\" steps, in place.
void normalizeEntryName(char *name);
