// Test support: installers and gzip members made in memory, byte for byte as
// the package layout gives them, so tests can also make damaged ones.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

typedef std::vector<unsigned char> Bytes;

Bytes bytesOf(const std::string &text);
// "1f 8b 08" -> bytes; blanks ignored.
Bytes hexBytes(const char *hex);
// One gzip member with the 10-byte header 1F 8B 08 00 00 00 00 00 00 0B.
Bytes gzipMember(const Bytes &content);

struct TestEntry {
    std::string name;
    Bytes data;
    uint32_t rawLength = 0;
};

// An image (entry 0 "quillfen.exe" of image bytes) followed by the entries
// and the directory; entries are stored in order after the image.
Bytes buildPackage(const Bytes &image, const std::vector<TestEntry> &entries);

void writeFile(const std::string &path, const Bytes &data);
Bytes readFile(const std::string &path);
