// Fuzz target: a whole installer file, as openPackage reads it from disk.
//
// Whatever the bytes, openPackage either rejects the file (result 0, table
// unchanged) or accepts exactly the directories that fit the file, with every
// record as the bytes give it. Every entry of an accepted package must then
// read back its stored bytes through pfOpen "rb", and with CR LF pairs read
// as LF through "rt", whole or line by line and after any pfSeek, never past
// its end; closePackage must release it all.
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "package/package.h"
#include "support/package_builder.h"

namespace {

// One directory record as the file's bytes give it.
struct Record {
    uint32_t offset;
    uint32_t size;
    uint32_t rawLength;
    std::string name;    // up to the first NUL of the name field
};

uint32_t wordIn(const uint8_t *data, uint64_t at)
{
    return data[at] | (data[at + 1] << 8) | (data[at + 2] << 16) | ((uint32_t)data[at + 3] << 24);
}

// Reads the directory without the package code: the last word gives the
// offset D of the count, the records follow it back to back and must end
// before that last word. A directory fits the file when every record lies
// there, every name field ends with its NUL, sizes stay below 2^31 and each
// entry's span (and its raw length) lies inside the file.
bool parseDirectory(const uint8_t *data, size_t length, std::vector<Record> &records)
{
    if (length < 8)
        return false;
    uint64_t end = length - 4;
    uint64_t directory = wordIn(data, end);
    if (directory + 4 > end)
        return false;
    uint32_t count = wordIn(data, directory);
    uint64_t at = directory + 4;
    for (uint32_t i = 0; i < count; i++) {
        if (at + 16 > end)
            return false;
        Record r;
        r.offset = wordIn(data, at);
        r.size = wordIn(data, at + 4);
        r.rawLength = wordIn(data, at + 8);
        uint32_t nameLength = wordIn(data, at + 12);
        at += 16;
        if (nameLength == 0 || at + nameLength > end || data[at + nameLength - 1] != 0)
            return false;
        if (r.size > 0x7FFFFFFF || r.offset > length || r.size > length - r.offset ||
            r.rawLength > length - r.offset)
            return false;
        r.name = (const char *)data + at;
        at += nameLength;
        records.push_back(r);
    }
    return true;
}

char foldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

bool sameName(const char *a, const char *b)
{
    for (; *a && *b; a++, b++)
        if (foldAscii(*a) != foldAscii(*b))
            return false;
    return *a == *b;
}

// A name that lookup normalisation leaves as it is, so that pfOpen must
// find it among the entries instead of falling through to the disk.
bool isLookupName(const std::string &name)
{
    return name.size() < 1024 && name.find('/') == std::string::npos &&
           name.find("..\\") == std::string::npos;
}

// The entry that a lookup of name must return: the first match in open order.
PackageEntry *firstMatch(const char *name)
{
    for (int32_t p = 0; p < openPackageCount; p++)
        for (int32_t e = 0; e < openPackages[p].entryCount; e++)
            if (sameName(openPackages[p].entries[e].name, name))
                return &openPackages[p].entries[e];
    return 0;
}

// The characters that a read makes of the bytes it consumed: in text mode a
// CR LF pair reads as LF; in binary mode, and for every other byte, a byte
// reads as itself.
std::string charactersOf(const uint8_t *bytes, size_t length, bool text)
{
    std::string characters;
    for (size_t i = 0; i < length; i++) {
        if (text && bytes[i] == '\r' && i + 1 < length && bytes[i + 1] == '\n')
            continue;
        characters.push_back((char)bytes[i]);
    }
    return characters;
}

// Reads from the current position to the end with varied element sizes and
// checks every character against the entry's bytes; a partial trailing
// element is stored and consumed but not counted.
void readToEnd(PackageFile file, const PackageEntry *entry, const uint8_t *data, bool text)
{
    static const size_t elementSizes[] = {1, 3, 4096, 7, 1, 16384, 2};
    static const size_t counts[] = {1, 5, 1, 9, 300, 1, 7};
    for (int round = 0;; round++) {
        size_t size = elementSizes[round % 7], count = counts[round % 7];
        int32_t before = pfTell(file);
        std::vector<uint8_t> buffer(size * count);
        size_t got = pfRead(buffer.data(), size, count, file);
        int32_t after = pfTell(file);
        FUZZ_CHECK(after >= before && after <= entry->size, "pfRead moved outside the entry");
        std::string expected = charactersOf(data + entry->offset + before, (size_t)(after - before), text);
        FUZZ_CHECK(expected.size() <= size * count, "pfRead stored more than asked");
        FUZZ_CHECK(got == expected.size() / size, "pfRead miscounted its elements");
        FUZZ_CHECK(memcmp(buffer.data(), expected.data(), expected.size()) == 0,
                   "pfRead delivered other characters than the entry's");
        if (after == before)
            break;
        FUZZ_CHECK(round <= entry->size, "pfRead does not reach the end");
    }
    FUZZ_CHECK(pfTell(file) == entry->size, "a read to the end stopped short");
    FUZZ_CHECK(pfEof(file) != 0, "no end of file at the entry's end");
}

// Seeks from every origin to in-range and out-of-range places; the position
// must be the requested one clamped to 0..size.
void seekAround(PackageFile file, const PackageEntry *entry)
{
    const int32_t size = entry->size;
    const int32_t offsets[] = {0, 1, -1, size / 2, size, size + 1, -size, INT32_MIN, INT32_MAX};
    for (int origin = 0; origin <= 3; origin++)
        for (int32_t offset : offsets) {
            int64_t previous = pfTell(file);
            FUZZ_CHECK(pfSeek(file, offset, origin) == 0, "pfSeek on an entry failed");
            int64_t wanted = origin == 0 ? offset
                           : origin == 1 ? previous + offset
                           : origin == 2 ? (int64_t)size + offset
                                         : previous;
            if (wanted > size)
                wanted = size;
            if (wanted < 0)
                wanted = 0;
            FUZZ_CHECK(pfTell(file) == wanted, "pfSeek did not clamp to the entry");
            FUZZ_CHECK((pfEof(file) != 0) == (wanted >= size), "pfEof disagrees with the position");
        }
}

// Reads lines to the end with varied buffer sizes. A line never holds more
// than count - 1 characters nor more than the entry has left.
void readLines(PackageFile file, const PackageEntry *entry, const uint8_t *data, bool text)
{
    static const int counts[] = {1024, 2, 17, 3, 80};
    for (int round = 0;; round++) {
        int count = counts[round % 5];
        std::vector<char> buffer(count);
        int32_t before = pfTell(file);
        char *line = pfGets(buffer.data(), count, file);
        int32_t after = pfTell(file);
        if (!line) {
            FUZZ_CHECK(after == before, "a pfGets that returned none moved the position");
            break;
        }
        FUZZ_CHECK(line == buffer.data(), "pfGets returned another buffer");
        FUZZ_CHECK(before < entry->size, "pfGets read at the end of the entry");
        FUZZ_CHECK(after > before && after <= entry->size, "pfGets moved outside the entry");
        std::string expected = charactersOf(data + entry->offset + before, (size_t)(after - before), text);
        FUZZ_CHECK(expected.size() < (size_t)count, "pfGets took more than count - 1 characters");
        FUZZ_CHECK(expected.find('\n') == std::string::npos || expected.find('\n') == expected.size() - 1,
                   "pfGets read on after a line feed");
        FUZZ_CHECK(expected.back() == '\n' || expected.size() == (size_t)count - 1 || after == entry->size,
                   "pfGets stopped inside a line");
        size_t length = strlen(line);
        FUZZ_CHECK(length <= expected.size() && memcmp(line, expected.data(), length) == 0 &&
                       (length == expected.size() || expected[length] == '\0'),
                   "pfGets delivered a line that is not the entry's");
        FUZZ_CHECK(round <= entry->size, "pfGets does not reach the end");
    }
    if (pfTell(file) >= entry->size) {
        FUZZ_CHECK(pfEof(file) != 0, "no end of file after the last line");
        char buffer[16];
        FUZZ_CHECK(pfGets(buffer, sizeof buffer, file) == 0, "a line after the end");
    }
}

// A raw-length entry allows one whole read from position 0, which delivers
// the entry's bytes.
void readWholeRaw(PackageFile file, const PackageEntry *entry, const uint8_t *data)
{
    FUZZ_CHECK(pfSeek(file, 0, 2) == 0 && pfTell(file) == entry->size, "end of a raw entry");
    uint8_t probe[4];
    FUZZ_CHECK(pfRead(probe, 1, sizeof probe, file) == 0, "a raw entry read from its end");
    pfSeek(file, 0, 0);
    std::vector<uint8_t> buffer((size_t)entry->size + 1);
    if (entry->size > 1)
        FUZZ_CHECK(pfRead(buffer.data(), 1, (size_t)entry->size - 1, file) == 0,
                   "a partial read of a raw entry succeeded");
    FUZZ_CHECK(pfTell(file) == 0, "a refused raw read moved the position");
    FUZZ_CHECK(pfRead(buffer.data(), 1, (size_t)entry->size, file) == (size_t)entry->size,
               "the whole read of a raw entry failed");
    FUZZ_CHECK(memcmp(buffer.data(), data + entry->offset, (size_t)entry->size) == 0,
               "the whole read of a raw entry delivered other bytes");
    FUZZ_CHECK(pfTell(file) == entry->size, "a whole raw read left the position short");
}

void exerciseEntry(const Record &record, const uint8_t *data)
{
    const char *name = record.name.c_str();
    PackageEntry *entry = firstMatch(name);
    FUZZ_CHECK(entry != 0, "a stored name matches no entry");

    PackageFile file = pfOpen(name, "rb");
    FUZZ_CHECK(file == reinterpret_cast<PackageFile>(entry), "pfOpen rb did not find the entry");
    FUZZ_CHECK(!isOrdinaryStream(file) && pfTell(file) == 0, "a fresh entry handle");
    if (entry->rawLength != 0) {
        readWholeRaw(file, entry, data);
        FUZZ_CHECK(pfOpen(name, "rt") == 0, "a raw entry opened in text mode");
        seekAround(file, entry);
        FUZZ_CHECK(pfClose(file) == 0, "closing an entry");
        return;
    }
    readToEnd(file, entry, data, false);
    seekAround(file, entry);
    pfSeek(file, entry->size / 3, 0);
    readToEnd(file, entry, data, false);
    pfSeek(file, 0, 0);
    readLines(file, entry, data, false);

    PackageFile text = pfOpen(name, "rt");
    FUZZ_CHECK(text == file, "pfOpen rt did not find the entry");
    FUZZ_CHECK(pfTell(text) == 0, "pfOpen rt did not restart the entry");
    readLines(text, entry, data, true);
    seekAround(text, entry);
    pfSeek(text, entry->size / 2, 0);
    readLines(text, entry, data, true);
    pfSeek(text, entry->size / 5, 0);
    readToEnd(text, entry, data, true);

    file = pfOpen(name, "rb");   // binary again: bytes as stored
    FUZZ_CHECK(file == text && pfTell(file) == 0, "pfOpen rb after rt");
    readToEnd(file, entry, data, false);
    FUZZ_CHECK(pfClose(file) == 0, "closing an entry");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t length)
{
    static const std::string path = scratchPath("installer.exe");
    writeFile(path, Bytes(data, data + length));

    std::vector<Record> records;
    bool fits = parseDirectory(data, length, records);
    int32_t countBefore = openPackageCount;
    int32_t sum = openPackage(path.c_str());
    if (!fits) {
        FUZZ_CHECK(sum == 0 && openPackageCount == countBefore, "a directory that does not fit was loaded");
        return 0;
    }
    FUZZ_CHECK(openPackageCount == countBefore + 1, "a directory that fits was rejected");

    const PackageRecord &package = openPackages[openPackageCount - 1];
    FUZZ_CHECK(package.entryCount == (int32_t)records.size(), "entry count");
    uint32_t total = 0;
    for (size_t i = 0; i < records.size(); i++) {
        const PackageEntry &e = package.entries[i];
        const Record &r = records[i];
        FUZZ_CHECK(e.tag == ENTRY_TAG && e.position == 0 && e.stream == package.stream, "loaded entry state");
        FUZZ_CHECK(e.offset == r.offset && (uint32_t)e.size == r.size && e.rawLength == r.rawLength,
                   "an entry differs from its record");
        FUZZ_CHECK(strcmp(e.name, r.name.c_str()) == 0, "an entry name differs from its record");
        total += r.size;
    }
    FUZZ_CHECK(sum == (int32_t)total, "openPackage result is not the sum of the sizes");

    for (const Record &r : records)
        if (isLookupName(r.name))
            exerciseEntry(r, data);

    FUZZ_CHECK(closePackage(path.c_str()) == 0, "closing the package");
    FUZZ_CHECK(openPackageCount == countBefore, "the table did not shrink");
    FUZZ_CHECK(closePackage(path.c_str()) == -1, "closing a package twice");
    return 0;
}
