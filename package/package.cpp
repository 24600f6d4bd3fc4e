// The package table: loading and unloading the directory of a package.
#include "package/package.h"

#include <stdlib.h>
#include <string.h>

#include "base/bytes.h"
#include "base/names.h"
#include "base/text.h"
#include "package/stdio_open.h"

PackageRecord *openPackages = 0;
int32_t openPackageCount = 0;

// The entry index: every open package's entries by name, ASCII case folded,
// in one open-addressing table. Entries go in in opening order, then
// directory order, and a name already there is not added again, so a lookup
// finds what a walk through the packages would find first.
static PackageEntry **indexSlots = 0;    // indexCapacity slots, 0 for empty
static uint32_t indexCapacity = 0;       // a power of two, above twice the entries

// FNV-1a over the name with A-Z folded, as equalsIgnoreAsciiCase compares.
static uint32_t nameHash(const char *name)
{
    uint32_t hash = 2166136261u;
    for (; *name; name++)
        hash = (hash ^ (unsigned char)lowerAscii(*name)) * 16777619u;
    return hash;
}

// The slot that holds name, or the empty slot where it would go.
static PackageEntry **indexSlot(const char *name)
{
    uint32_t mask = indexCapacity - 1;
    uint32_t i = nameHash(name) & mask;
    while (indexSlots[i] && !equalsIgnoreAsciiCase(indexSlots[i]->name, name))
        i = (i + 1) & mask;
    return &indexSlots[i];
}

// Fills the index anew from the table. False, with the index as it was,
// when it must grow and memory runs out.
static bool rebuildIndex()
{
    uint64_t entries = 0;
    for (int32_t p = 0; p < openPackageCount; p++)
        entries += (uint32_t)openPackages[p].entryCount;
    uint64_t needed = 16;
    while (needed <= 2 * entries)
        needed *= 2;
    if (needed > indexCapacity) {
        PackageEntry **grown = needed <= SIZE_MAX / sizeof(PackageEntry *)
                                   ? (PackageEntry **)malloc(sizeof(PackageEntry *) * (size_t)needed)
                                   : 0;
        if (!grown)
            return false;
        free(indexSlots);
        indexSlots = grown;
        indexCapacity = (uint32_t)needed;
    }
    memset(indexSlots, 0, sizeof(PackageEntry *) * indexCapacity);
    for (int32_t p = 0; p < openPackageCount; p++)
        for (int32_t e = 0; e < openPackages[p].entryCount; e++) {
            PackageEntry **slot = indexSlot(openPackages[p].entries[e].name);
            if (!*slot)
                *slot = &openPackages[p].entries[e];
        }
    return true;
}

PackageEntry *findPackageEntry(const char *name)
{
    return indexCapacity ? *indexSlot(name) : 0;
}

// Reads one little-endian 32-bit word. False on a short read.
static bool readWord(FILE *stream, uint32_t *value)
{
    unsigned char b[4];
    if (fread(b, 1, 4, stream) != 4)
        return false;
    *value = littleEndian32(b);
    return true;
}

static void freeEntries(PackageEntry *entries, int32_t count)
{
    for (int32_t i = 0; i < count; i++)
        free(entries[i].name);
    free(entries);
}

// Package layout, all integers 32-bit unsigned little-endian, offsets from
// the first byte of the file:
//
//   0            executable image (entry 0, "quillfen.exe")
//   ...          entry data, anywhere, in any order
//   D            count
//   D + 4        count records, back to back:
//                  offset, size, raw length, name length L, name (L bytes,
//                  the last one NUL)
//   end - 4      D
//
// The directory is checked against the file before anything is kept: every
// record and every entry span must lie inside the file, so a damaged or
// truncated installer is rejected instead of read out of bounds.
static bool readDirectory(FILE *stream, int32_t *sum, int32_t *count,
                          PackageEntry **entries)
{
    if (fseek(stream, 0, SEEK_END) != 0)
        return false;
    long fileLength = ftell(stream);
    if (fileLength < 8)
        return false;
    uint32_t directoryEnd = (uint32_t)fileLength - 4;  // where the trailer starts
    uint32_t directory, entryCount;
    if (fseek(stream, (long)directoryEnd, SEEK_SET) != 0 || !readWord(stream, &directory))
        return false;
    if (directory > directoryEnd - 4)
        return false;
    if (fseek(stream, (long)directory, SEEK_SET) != 0 || !readWord(stream, &entryCount))
        return false;
    uint32_t left = directoryEnd - directory - 4;     // bytes for the records
    if (entryCount > left / 17)                        // 16 bytes of fields + NUL at least
        return false;

    PackageEntry *list = (PackageEntry *)calloc(entryCount ? entryCount : 1, sizeof(PackageEntry));
    if (!list)
        return false;
    uint32_t total = 0;
    for (uint32_t i = 0; i < entryCount; i++) {
        PackageEntry *e = &list[i];
        uint32_t size, nameLength;
        e->tag = ENTRY_TAG;
        e->stream = stream;
        bool ok = left >= 16 && readWord(stream, &e->offset) && readWord(stream, &size) &&
                  readWord(stream, &e->rawLength) && readWord(stream, &nameLength);
        if (ok) {
            left -= 16;
            ok = nameLength >= 1 && nameLength <= left && size <= 0x7FFFFFFF &&
                 e->offset <= (uint32_t)fileLength && size <= (uint32_t)fileLength - e->offset &&
                 e->rawLength <= (uint32_t)fileLength - e->offset;
        }
        if (ok) {
            e->name = (char *)malloc(nameLength);
            ok = e->name && fread(e->name, 1, nameLength, stream) == nameLength &&
                 e->name[nameLength - 1] == '\0';
            left -= nameLength;
        }
        if (!ok) {
            freeEntries(list, (int32_t)i + 1);
            return false;
        }
        e->size = (int32_t)size;
        total += size;
    }
    *sum = (int32_t)total;
    *count = (int32_t)entryCount;
    *entries = list;
    return true;
}

int32_t openPackage(const char *path)
{
    char buffer[NAME_WORK_SIZE];
    if (!copyText(buffer, sizeof buffer, path))
        return 0;           // cut short it would name another file

    FILE *stream = openStdioFile(buffer, "rb");
    if (!stream)
        return 0;
    int32_t sum, count;
    PackageEntry *entries;
    if (!readDirectory(stream, &sum, &count, &entries)) {
        fclose(stream);
        return 0;
    }
    char *pathCopy = strdup(buffer);
    PackageRecord *grown = (PackageRecord *)realloc(
        openPackages, sizeof(PackageRecord) * (size_t)(openPackageCount + 1));
    if (!pathCopy || !grown) {
        free(pathCopy);
        if (grown)
            openPackages = grown;
        freeEntries(entries, count);
        fclose(stream);
        return -1;
    }
    openPackages = grown;
    PackageRecord *record = &openPackages[openPackageCount++];
    record->path = pathCopy;
    record->stream = stream;
    record->entryCount = count;
    record->entries = entries;
    if (!rebuildIndex()) {
        openPackageCount--;
        free(pathCopy);
        freeEntries(entries, count);
        fclose(stream);
        return -1;
    }
    return sum;
}

int32_t closePackage(const char *path)
{
    int32_t index = 0;
    while (index < openPackageCount && !equalsIgnoreAsciiCase(openPackages[index].path, path))
        index++;
    if (index == openPackageCount)
        return -1;

    PackageRecord *record = &openPackages[index];
    free(record->path);
    freeEntries(record->entries, record->entryCount);
    forgetTextWindow();
    fclose(record->stream);
    memmove(record, record + 1, sizeof(PackageRecord) * (size_t)(openPackageCount - index - 1));
    openPackageCount--;
    if (openPackageCount == 0) {
        free(openPackages);
        openPackages = 0;
        free(indexSlots);
        indexSlots = 0;
        indexCapacity = 0;
        return 0;
    }
    PackageRecord *shrunk = (PackageRecord *)realloc(openPackages, sizeof(PackageRecord) * (size_t)openPackageCount);
    if (shrunk)
        openPackages = shrunk;
    rebuildIndex();     // fewer entries: the index never needs to grow here
    return 0;
}
