// Compressed entry reader: the decompressed content of a gzip file read
// through the package file layer. Parses member headers, inflates raw deflate
// data with zlib, checks each member's CRC-32, continues through concatenated
// members and passes data that is not gzip through unchanged. Read-only.
// Entry extraction is its user: open, read in blocks, close.
#pragma once

#include <stdint.h>
#include <zlib.h>

#include "package/package.h"

const int GZ_BUFFER_SIZE = 16384;   // input block, read with pfRead

struct GzReader {
    z_stream inflater;       // raw inflate; totals run over all members
    int status;              // last zlib result; Z_OK after a good header
    bool inputEnded;         // a read of the file returned nothing
    PackageFile file;        // from pfOpen
    unsigned char *input;    // GZ_BUFFER_SIZE bytes
    uint32_t crc;            // CRC-32 of the current member's output so far
    char *message;           // last text built by gzReaderError
    char *name;              // copy of the opened name, for error texts
    bool transparent;        // data is not (or no longer) gzip: copied as is
    char mode;               // 'r'
};

// The entry that holds sourceName compressed, into name (size bytes, at
// least 4): sourceName itself when it ends in ".gz", else sourceName with
// ".gz" appended. False when sourceName does not fit with three bytes to
// spare; name then holds what copyText left.
bool gzEntryName(const char *sourceName, char *name, size_t size);

// Opens name (mode must contain 'r') and parses the first header. Returns 0
// when the name cannot be opened (errno from the open, non-zero) or memory
// runs out; errno is set to 0 before the open.
GzReader *gzReaderOpen(const char *name, const char *mode);

// Reads file, opened for binary reading, as gzReaderOpen reads the file it
// opens; name is for error texts. The reader's close also closes file. 0 when
// memory runs out (file stays open).
GzReader *gzReaderOpenFile(PackageFile file, const char *name);

// Stores up to length decompressed bytes in buffer and returns their number:
// 0 at the end of the data (or after an error met before storing anything),
// -1 once the reader is in an error state, -2 for no reader.
int32_t gzReaderRead(GzReader *reader, void *buffer, uint32_t length);

// Closes the file and frees the reader. Returns 0 when everything went well,
// else a negative code: the sticky status (Z_DATA_ERROR, Z_BUF_ERROR for a
// member cut in its deflate data, ...), -1 for a failed close, -2 for none.
int32_t gzReaderClose(GzReader *reader);

// Puts the status in *code and returns "name: description", owned by the
// reader until the next call or the close. No reader: "stream error", -2.
const char *gzReaderError(GzReader *reader, int *code);
