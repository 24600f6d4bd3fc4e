// Gzip members as the package stores them, and the output stream a package
// is written to. The build compresses payload files into members with a fixed
// header and fixed deflate settings, so the same content always gives the
// same bytes; a member that an add-on ships ready made is checked, unpacked
// and compressed again the same way.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <zlib.h>

#include <functional>
#include <string>
#include <vector>

// A package being written: counts its bytes and refuses to grow past limit.
struct PackageOutput {
    FILE *stream;          // the temporary file, "wb"
    std::string path;      // the file named in messages
    uint64_t written;      // bytes written so far
    uint64_t limit;        // largest file the installer can read, in bytes
    uint32_t crc;          // CRC-32 of every byte written but the checksum's own
};

// Writes length bytes of data. False with error set when the write fails or
// the package would grow past its limit.
bool writeOutput(PackageOutput &out, const void *data, size_t length, std::string &error);

// Writes the 4 bytes of the checksum entry's data, still unknown, and sets
// *at to their offset; fillChecksum writes them once the package is
// complete. They are the only bytes the checksum does not cover.
bool reserveChecksum(PackageOutput &out, uint32_t *at, std::string &error);
bool fillChecksum(PackageOutput &out, uint32_t at, std::string &error);

// Writes value as 4 bytes, little-endian, like writeOutput.
bool writeWord(PackageOutput &out, uint32_t value, std::string &error);

// Where a payload's bytes come from: an add-on file, read as it is, or the
// content of an add-on file that is one gzip member, inflated on the way with
// its CRC-32 and length checked.
struct PayloadReader {
    FILE *file = 0;                    // the add-on file, "rb"
    std::string path;                  // named in messages
    bool gzip = false;                 // the file is a gzip member
    z_stream inflater = {};            // gzip: inflate with the gzip wrapper
    std::vector<unsigned char> input;  // gzip: compressed bytes read ahead
    bool ended = false;                // everything has been delivered
};

// Opens the file at path; with gzip set its content is what gets read.
// False with error set when it cannot be opened.
bool openPayload(const std::string &path, bool gzip, PayloadReader &reader, std::string &error);

// Stores up to size bytes in buffer and sets *got to their number, 0 at
// the end. False with error naming the file on a read error, and for a gzip
// member that is damaged or cut short, or that bytes follow.
bool readPayload(PayloadReader &reader, unsigned char *buffer, size_t size, size_t *got, std::string &error);

void closePayload(PayloadReader &reader);

// Takes the bytes of a member as they are made; false with error set to stop.
typedef std::function<bool(const unsigned char *data, size_t length, std::string &error)> MemberSink;

// Compresses everything left in reader into one gzip member handed to sink:
// the header 1F 8B 08 00 00 00 00 00 00 0B, raw deflate at level 9, the
// CRC-32 and the length (low 32 bits) little-endian. The bytes depend on the
// content alone. Sets *length to the bytes read.
bool compressMember(PayloadReader &reader, const MemberSink &sink, uint64_t *length, std::string &error);

// Checks that the file at path is exactly one complete gzip member (valid
// header, deflate data, CRC-32 and length, nothing after it) and sets
// *unpacked to its content's length.
bool checkGzipMember(const std::string &path, uint32_t *unpacked, std::string &error);
