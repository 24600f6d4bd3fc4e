// The write side of the package layout that openPackage reads, for the
// packer and the tests; the installer itself never writes a package.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct DirectoryRecord {
    std::string name;        // the stored name, without its NUL
    uint32_t offset;         // file offset of the entry's first byte
    uint32_t size;           // stored bytes
    uint32_t rawLength = 0;  // 0 in every record the packer writes
};

// The directory at the end of a package that starts at file offset
// directoryOffset: the count, one record per entry (offset, size, raw
// length, name length with its NUL, the name and NUL), and directoryOffset
// itself as the last 4 bytes of the file. Every number little-endian.
std::vector<unsigned char> packageDirectory(const std::vector<DirectoryRecord> &records,
                                            uint32_t directoryOffset);
