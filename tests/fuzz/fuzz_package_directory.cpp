// Fuzz target: any file as an installer. Whatever the bytes, quillpack's
// list and verify finish, each says why it failed exactly when it fails, a
// file that verifies also lists, and both leave the package table empty.
// Then, with another package open, openPackage either returns 0 and leaves
// the table as it was, or adds one record whose entry spans lie inside the
// file and whose sizes sum to its result. Every entry reads back from its
// own span only: whole, then by turns in blocks and lines from wherever a
// seek puts it, binary and (where its name finds it) as text, which may
// leave out CRs and nothing else. Every name normalises, in a block of
// exactly its size, to one no longer, without '/' or "..\", that normalises
// to itself. closePackage gives back the table it found.
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "package/package.h"
#include "tools/quillpack/quillpack.h"

namespace {

// Reads to the end with pfRead and pfGets by turns, each buffer exactly as
// long as the call asks, so that the address sanitizer sees any overrun.
void readToEnd(PackageFile file, const PackageEntry &e, const char *span, bool text)
{
    static const int sizes[] = {1, 1024, 3, 2, 4096, 17, 7, 80, 16384, 3};   // odd places: pfGets
    for (int round = 0;; round++) {
        std::vector<char> buffer(sizes[round % 10]);
        bool line = round % 2;
        int32_t before = pfTell(file);
        char *got = line ? pfGets(buffer.data(), (int)buffer.size(), file) : 0;
        size_t length = line ? (got ? strlen(got) : 0) : pfRead(buffer.data(), 1, buffer.size(), file);
        int32_t after = pfTell(file);
        fuzzCheck(length <= buffer.size() - line && before <= after && after <= e.size, "a read left the entry");
        fuzzCheck(!line || (got != 0) == (after > before), "pfGets moved on without a line, or stood still");
        // The span bytes it consumed, in text mode but for CRs; a line may stop at a NUL before their end.
        std::string delivered(buffer.data(), length), consumed(span + before, span + after);
        if (text)
            for (std::string *bytes : {&delivered, &consumed})
                bytes->erase(std::remove(bytes->begin(), bytes->end(), '\r'), bytes->end());
        fuzzCheck(line ? consumed.compare(0, delivered.size(), delivered) == 0 : consumed == delivered,
                  "a read delivered bytes that are not the entry's");
        if (!line && length == 0)
            break;
    }
    fuzzCheck(e.rawLength != 0 || pfTell(file) == e.size, "reads stopped before the end of the entry");
}

// The entries of a package opened from data. Every binary read comes first:
// a name may find another entry (its normalised form is that entry's name)
// and switch that one to text mode.
void readEntries(const PackageRecord &added, const uint8_t *data, size_t length, int32_t sum)
{
    uint32_t total = 0;
    for (int32_t i = 0; i < added.entryCount; i++) {
        const PackageEntry &e = added.entries[i];
        const char *span = (const char *)data + e.offset;
        fuzzCheck(e.size >= 0 && e.offset <= length && (uint32_t)e.size <= length - e.offset &&
                      e.rawLength <= length - e.offset,
                  "an entry's span lies outside the file");
        total += (uint32_t)e.size;
        PackageFile file = (PackageFile)&e;
        std::vector<char> whole((size_t)e.size);
        fuzzCheck(e.size == 0 || (pfRead(whole.data(), whole.size(), 1, file) == 1 &&
                                  memcmp(whole.data(), span, whole.size()) == 0),
                  "a whole read did not deliver the entry");
        for (int origin = 0; origin < 3; origin++)
            for (int32_t offset : {INT32_MIN, -1, 0, 1, INT32_MAX}) {
                pfSeek(file, offset, origin);
                fuzzCheck(pfTell(file) >= 0 && pfTell(file) <= e.size, "a seek left the entry");
            }
        pfSeek(file, e.size / 3, 0);
        readToEnd(file, e, span, false);
    }
    fuzzCheck(sum == (int32_t)total, "openPackage's result is not the sum of the entry sizes");
    for (int32_t i = 0; i < added.entryCount; i++) {
        const PackageEntry &e = added.entries[i];
        std::vector<char> name(e.name, e.name + strlen(e.name) + 1);
        normalizeEntryName(name.data());
        std::string once = name.data();
        fuzzCheck(once.size() < name.size() && once.find('/') == once.npos && once.find("..\\") == once.npos,
                  "a normalised name is longer, or holds a '/' or a \"..\\\" step");
        normalizeEntryName(name.data());
        fuzzCheck(once == name.data(), "normalising a normalised name changed it");
        PackageFile text = pfOpen(e.name, "rt");
        if (text == (PackageFile)&e)
            readToEnd(text, e, (const char *)data + e.offset, true);
        else
            pfClose(text);   // another entry or file of that name, or none
    }
}

bool samePackage(const PackageRecord &a, const PackageRecord &b)
{
    return a.path == b.path && a.stream == b.stream && a.entryCount == b.entryCount && a.entries == b.entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t length)
{
    static const std::string path = scratchPath("installer.exe"), firstPath = scratchPath("first.exe");
    static FILE *const listing = fopen("/dev/null", "w");
    writeFile(path, Bytes(data, data + length));
    std::string error;
    bool listed = listInstaller(path, listing, error);
    fuzzCheck(listed == error.empty() && openPackageCount == 0, "list failed without a reason, or left a package");
    std::vector<Finding> findings;
    bool verified = verifyInstaller(path, findings);
    fuzzCheck(verified == !hasErrors(findings) && openPackageCount == 0,
              "verify failed without an error, or left a package");
    fuzzCheck(!verified || listed, "a file that verifies does not list");

    writeFile(firstPath, buildPackage(bytesOf("MZ"), {{"first.txt", bytesOf("opened first\r\n")}}));
    fuzzCheck(openPackage(firstPath.c_str()) > 0, "the first package did not load");
    const PackageRecord first = openPackages[0];
    int32_t sum = openPackage(path.c_str());
    fuzzCheck(samePackage(openPackages[0], first), "openPackage changed an open package");
    fuzzCheck(openPackageCount == 2 || (openPackageCount == 1 && sum == 0), "openPackage added a wrong record");
    if (openPackageCount == 2) {
        readEntries(openPackages[1], data, length, sum);
        fuzzCheck(closePackage(path.c_str()) == 0 && openPackageCount == 1 && samePackage(openPackages[0], first),
                  "closePackage did not give back the table it found");
    }
    fuzzCheck(closePackage(firstPath.c_str()) == 0, "closing the first package");
    return 0;
}
