// Gzip members as the package stores them, and the output stream a package
// is written to. The build compresses payload files into members with a fixed
// header and fixed deflate settings, so the same file always gives the same
// bytes, and checks members that an add-on ships ready made.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>

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

// Writes everything left in the file in (named source in messages) to out as
// one gzip member: the header 1F 8B 08 00 00 00 00 00 00 0B, raw deflate at
// level 9, the CRC-32 and the length (low 32 bits) little-endian. Sets
// *length to the bytes read.
bool writeGzipMember(FILE *in, const std::string &source, PackageOutput &out, uint64_t *length,
                     std::string &error);

// Checks that the file at path is exactly one complete gzip member (valid
// header, deflate data, CRC-32 and length, nothing after it) and sets
// *unpacked to the length its trailer records.
bool checkGzipMember(const std::string &path, uint32_t *unpacked, std::string &error);
