// Fuzz target: a whole installer file, as openPackage reads it from disk,
// while another package is already open.
//
// Whatever the bytes, openPackage either leaves the table as it was or adds
// exactly one record, whose entry spans lie inside the file and whose sizes
// sum to its result. Every entry then reads back from its own span only:
// whole, in odd blocks and line by line, binary and (where its name finds it)
// as text, which may leave out CRs and nothing else, from wherever a seek
// puts it. closePackage gives back the table it found.
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "package/package.h"

namespace {

// The bytes with every CR left out.
std::string withoutCR(const char *bytes, size_t length)
{
    std::string kept;
    for (size_t i = 0; i < length; i++)
        if (bytes[i] != '\r')
            kept.push_back(bytes[i]);
    return kept;
}

// True when the characters a read delivered come from the span bytes it
// consumed: the same bytes, or in text mode the same but for CRs. A line
// (prefix) may stop at a NUL before the end of what it consumed.
bool fromSpan(const char *got, size_t length, const uint8_t *span, size_t consumed, bool text, bool prefix)
{
    std::string delivered = text ? withoutCR(got, length) : std::string(got, length);
    std::string source = text ? withoutCR((const char *)span, consumed) : std::string((const char *)span, consumed);
    return prefix ? source.compare(0, delivered.size(), delivered) == 0 : source == delivered;
}

// Reads from the position to the end in blocks of varied size, each buffer
// exactly as long as the read asks, so that the address sanitizer sees any
// overrun.
void readBlocks(PackageFile file, const PackageEntry &e, const uint8_t *span, bool text)
{
    static const size_t sizes[] = {1, 3, 4096, 7, 16384, 2};
    for (int round = 0;; round++) {
        std::vector<char> buffer(sizes[round % 6]);
        int32_t before = pfTell(file);
        size_t got = pfRead(buffer.data(), 1, buffer.size(), file);
        int32_t after = pfTell(file);
        FUZZ_CHECK(got <= buffer.size() && before <= after && after <= e.size, "a read left the entry");
        FUZZ_CHECK(fromSpan(buffer.data(), got, span + before, (size_t)(after - before), text, false),
                   "a read delivered bytes that are not the entry's");
        if (got == 0)
            break;
    }
    FUZZ_CHECK(e.rawLength != 0 || pfTell(file) == e.size, "reads stopped before the end of the entry");
}

void readLines(PackageFile file, const PackageEntry &e, const uint8_t *span, bool text)
{
    static const int counts[] = {1024, 2, 17, 3, 80};
    for (int round = 0;; round++) {
        std::vector<char> buffer(counts[round % 5]);
        int32_t before = pfTell(file);
        char *line = pfGets(buffer.data(), (int)buffer.size(), file);
        int32_t after = pfTell(file);
        if (!line) {
            FUZZ_CHECK(after == before, "a pfGets that returned no line moved on");
            break;
        }
        size_t length = strlen(line);
        FUZZ_CHECK(length < buffer.size() && before < after && after <= e.size, "a line left the entry or stood still");
        FUZZ_CHECK(fromSpan(line, length, span + before, (size_t)(after - before), text, true),
                   "a line holds bytes that are not the entry's");
    }
}

// Binary reads of an entry that no text open has touched yet.
void readBinary(PackageEntry &e, const uint8_t *data)
{
    const uint8_t *span = data + e.offset;
    PackageFile file = reinterpret_cast<PackageFile>(&e);
    std::vector<char> whole((size_t)e.size);
    FUZZ_CHECK(e.size == 0 || (pfRead(whole.data(), (size_t)e.size, 1, file) == 1 &&
                               fromSpan(whole.data(), (size_t)e.size, span, (size_t)e.size, false, false)),
               "a whole read did not deliver the entry");
    static const int32_t offsets[] = {INT32_MIN, -1, 0, 1, INT32_MAX};
    for (int origin = 0; origin < 3; origin++)
        for (int32_t offset : offsets) {
            pfSeek(file, offset, origin);
            FUZZ_CHECK(pfTell(file) >= 0 && pfTell(file) <= e.size, "a seek left the entry");
        }
    pfSeek(file, e.size / 3, 0);
    readBlocks(file, e, span, false);
    pfSeek(file, 0, 0);
    readLines(file, e, span, false);
}

// Text reads, where the entry's name finds the entry itself. A name may
// also find another entry (its normalised form is that entry's name) and
// switch that one to text mode, so these come after all binary reads.
void readText(PackageEntry &e, const uint8_t *data)
{
    PackageFile text = pfOpen(e.name, "rt");
    if (text != reinterpret_cast<PackageFile>(&e)) {   // another entry or file of that name, or none
        pfClose(text);
        return;
    }
    readLines(text, e, data + e.offset, true);
    pfSeek(text, e.size / 2, 0);
    readBlocks(text, e, data + e.offset, true);
}

// A package opened before the first input, which every input's open and
// close must leave as it is.
PackageRecord openFirstPackage()
{
    std::string path = scratchPath("first.exe");
    writeFile(path, buildPackage(bytesOf("MZ"), {{"first.txt", bytesOf("opened first\r\n")}}));
    FUZZ_CHECK(openPackage(path.c_str()) > 0 && openPackageCount == 1, "the first package did not load");
    return openPackages[0];
}

bool firstUnchanged(const PackageRecord &first)
{
    const PackageRecord &now = openPackages[0];
    return now.path == first.path && now.stream == first.stream && now.entryCount == first.entryCount &&
           now.entries == first.entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t length)
{
    static const PackageRecord first = openFirstPackage();
    static const std::string path = scratchPath("installer.exe");
    writeFile(path, Bytes(data, data + length));
    int32_t sum = openPackage(path.c_str());
    FUZZ_CHECK(firstUnchanged(first), "openPackage changed an open package");
    FUZZ_CHECK(openPackageCount == 1 || openPackageCount == 2, "openPackage added more than one record");
    if (openPackageCount == 1) {
        FUZZ_CHECK(sum == 0, "a rejected package did not return 0");
        return 0;
    }
    PackageRecord &added = openPackages[1];
    uint32_t total = 0;
    for (int32_t i = 0; i < added.entryCount; i++) {
        const PackageEntry &e = added.entries[i];
        FUZZ_CHECK(e.size >= 0 && e.offset <= length && (uint32_t)e.size <= length - e.offset &&
                       e.rawLength <= length - e.offset,
                   "an entry's span lies outside the file");
        total += (uint32_t)e.size;
    }
    FUZZ_CHECK(sum == (int32_t)total, "openPackage's result is not the sum of the entry sizes");
    for (int32_t i = 0; i < added.entryCount; i++)
        readBinary(added.entries[i], data);
    for (int32_t i = 0; i < added.entryCount; i++)
        readText(added.entries[i], data);
    FUZZ_CHECK(closePackage(path.c_str()) == 0 && openPackageCount == 1 && firstUnchanged(first),
               "closePackage did not give back the table it found");
    return 0;
}
