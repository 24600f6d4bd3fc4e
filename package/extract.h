// Entry extraction: copies package entries out into files on disk. The
// copy pass calls extractEntry once per COPY line to unpack a (normally
// gzip) entry; it never reports a failure back: every error shows a message
// box and ends the process with exit status 1, keeping what was written so
// far. The destination dialog copies the uninstaller copy and its script out
// byte for byte with CopyEntryToDestination.
#pragma once

#include "package/gz_reader.h"

// Unpacks sourceName (".gz" appended unless it ends in ".gz") into outputPath,
// created or truncated; or writes the bytes a second thread has already
// unpacked for it (see unpack_ahead.h), with the same messages. Returns only when the file is complete and closed
// and holds exactly size bytes, the size its COPY line names: a damaged
// entry that still reads (data without the gzip magic is passed through as
// it is) is caught by its size.
void extractEntry(const char *sourceName, const char *outputPath, uint32_t size);

// Copies everything reader delivers into output (opened for writing), then
// closes both, and checks that it came to size bytes. Does not return on
// failure.
void copyDecompressed(GzReader *reader, PackageFile output, uint32_t size);

// Shows "file:SOURCE outfile:OUTPUT" with the caption "Error in zip file" and
// ends the process with exit status 1: for an entry that cannot be unpacked
// because its name or output path does not fit.
[[noreturn]] void refuseExtraction(const char *sourceName, const char *outputPath);

// Shows path with the caption "Error" and ends the process with exit status
// 1, writing nothing: for a destination that the path rule refuses.
[[noreturn]] void refuseUnsafeDestination(const char *path);

// Copies the entry's stored bytes unchanged into a file of the same name in
// destinationDir (which ends with '\'), created or truncated, in blocks of
// GZ_BUFFER_SIZE. False when the entry or the file cannot be opened, or a
// read or write falls short.
bool CopyEntryToDestination(const char *entryName, const char *destinationDir);

// Shows message with the caption "Zip error - perhaps bad crc", writes it to
// standard error and ends the process with exit status 1.
[[noreturn]] void fatalZipError(const char *message);
