// The package file layer: one set of stdio-shaped calls over package entries
// and ordinary files. An entry reads through the package's shared binary
// stream, re-seeking it before every read because it serves all entries.
//
// Text mode of an entry is done here, not by the runtime: the Windows
// runtime's text-mode ftell assumes that every LF in its buffer came from a
// CR LF pair, and the bytes behind a script entry are gzip data full of lone
// LFs, so its positions come out wrong (even negative). Translating CR LF
// ourselves keeps every position an exact count of file bytes.
#include "package/package.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "package/stdio_open.h"
#include "package/text.h"

static PackageEntry *asEntry(PackageFile file)
{
    return reinterpret_cast<PackageEntry *>(file);
}

static FILE *asStream(PackageFile file)
{
    return reinterpret_cast<OrdinaryFile *>(file)->stream;
}

bool isOrdinaryStream(PackageFile file)
{
    return *reinterpret_cast<uint32_t *>(file) != ENTRY_TAG;
}

FILE *pfStdioStream(PackageFile file)
{
    return isOrdinaryStream(file) ? asStream(file) : 0;
}

void normalizeEntryName(char *name)
{
    for (char *c = name; *c; c++)
        if (*c == '/')
            *c = '\\';
    char *found;
    while ((found = strstr(name, "..\\")) != 0) {
        size_t p = (size_t)(found - name);
        size_t start = 0;
        if (p > 2)
            for (size_t i = p - 2; i >= 1; i--)
                if (name[i] == '\\') {
                    start = i + 1;
                    break;
                }
        memmove(name + start, found + 3, strlen(found + 3) + 1);
    }
}

static bool isWriteMode(const char *mode)
{
    return strchr(mode, 'w') || strchr(mode, 'a') || strchr(mode, '+');
}

static PackageEntry *findEntry(const char *name)
{
    for (int32_t p = 0; p < openPackageCount; p++)
        for (int32_t e = 0; e < openPackages[p].entryCount; e++)
            if (equalsIgnoreAsciiCase(openPackages[p].entries[e].name, name))
                return &openPackages[p].entries[e];
    return 0;
}

static PackageFile openEntry(PackageEntry *entry, const char *mode)
{
    bool text = strchr(mode, 't') != 0;
    if (text && entry->rawLength != 0)
        return 0;
    entry->position = 0;
    entry->textMode = text;
    return reinterpret_cast<PackageFile>(entry);
}

PackageFile pfOpen(const char *name, const char *mode)
{
    char buffer[1024];
    if (!copyText(buffer, sizeof buffer, name)) {
        errno = ENAMETOOLONG;
        return 0;
    }
    normalizeEntryName(buffer);

    PackageEntry *entry = isWriteMode(mode) ? 0 : findEntry(buffer);
    if (entry)
        return openEntry(entry, mode);

    OrdinaryFile *file = (OrdinaryFile *)malloc(sizeof(OrdinaryFile));
    if (!file)
        return 0;
    file->tag = ORDINARY_FILE_TAG;
    file->stream = openStdioFile(buffer, mode);
    if (!file->stream) {
        int saved = errno;
        free(file);
        errno = saved;
        return 0;
    }
    return reinterpret_cast<PackageFile>(file);
}

int pfClose(PackageFile file)
{
    if (!file)
        return EOF;
    if (!isOrdinaryStream(file))
        return 0;
    int result = fclose(asStream(file));
    free(file);
    return result;
}

int pfEof(PackageFile file)
{
    if (isOrdinaryStream(file))
        return feof(asStream(file));
    PackageEntry *entry = asEntry(file);
    return entry->position >= entry->size;
}

int pfSeek(PackageFile file, int32_t offset, int origin)
{
    if (isOrdinaryStream(file))
        return fseek(asStream(file), offset, origin);
    PackageEntry *entry = asEntry(file);
    int64_t position = entry->position;
    if (origin == 0)
        position = offset;
    else if (origin == 1)
        position += offset;
    else if (origin == 2)
        position = (int64_t)entry->size + offset;
    if (position > entry->size)
        position = entry->size;
    if (position < 0)
        position = 0;
    entry->position = (int32_t)position;
    return 0;
}

int32_t pfTell(PackageFile file)
{
    if (isOrdinaryStream(file))
        return (int32_t)ftell(asStream(file));
    return asEntry(file)->position;
}

// Takes the entry's position back from its stream after a read.
static void updatePosition(PackageEntry *entry)
{
    long streamPosition = ftell(entry->stream);
    if (streamPosition >= 0)
        entry->position = (int32_t)((uint32_t)streamPosition - entry->offset);
}

static bool seekEntry(PackageEntry *entry)
{
    return fseek(entry->stream, (long)(entry->offset + (uint32_t)entry->position), SEEK_SET) == 0;
}

// Reads up to limit characters of a text-mode entry into buffer, turning
// each CR LF pair inside the entry into LF; with stopAtLineFeed it stops
// after the first LF. Returns the number of characters stored; the position
// advances by the bytes they took.
static size_t readText(PackageEntry *entry, char *buffer, size_t limit, bool stopAtLineFeed)
{
    size_t stored = 0;
    bool lineDone = false;
    while (stored < limit && !lineDone && entry->position < entry->size) {
        unsigned char chunk[512];
        size_t left = (size_t)(entry->size - entry->position);
        size_t got = seekEntry(entry) ? fread(chunk, 1, left < sizeof chunk ? left : sizeof chunk, entry->stream) : 0;
        size_t used = 0;
        while (used < got && stored < limit && !lineDone) {
            unsigned char c = chunk[used];
            if (c == '\r' && used + 1 == got && got < left)
                break;                    // the pair may span chunks: read again from the CR
            if (c == '\r' && used + 1 < got && chunk[used + 1] == '\n') {
                c = '\n';
                used++;
            }
            used++;
            buffer[stored++] = (char)c;
            lineDone = stopAtLineFeed && c == '\n';
        }
        if (used == 0)
            break;
        entry->position += (int32_t)used;
    }
    return stored;
}

char *pfGets(char *buffer, int count, PackageFile file)
{
    if (isOrdinaryStream(file))
        return fgets(buffer, count, asStream(file));
    PackageEntry *entry = asEntry(file);
    if (entry->rawLength != 0 || entry->position >= entry->size || count <= 0)
        return 0;
    if (entry->textMode) {
        size_t stored = readText(entry, buffer, (size_t)count - 1, true);
        buffer[stored] = '\0';
        return stored ? buffer : 0;
    }
    if (!seekEntry(entry))
        return 0;
    int64_t n = count;
    if ((int64_t)entry->position + count - 1 > entry->size)
        n = (int64_t)entry->size - entry->position + 1;
    char *line = fgets(buffer, (int)n, entry->stream);
    updatePosition(entry);
    return line;
}

// An entry with a raw length allows one whole read from its start only.
static size_t readWholeRaw(PackageEntry *entry, void *buffer, size_t size, size_t count)
{
    if (entry->position != 0 || size == 0 || count > (size_t)entry->size / size ||
        size * count != (size_t)entry->size)
        return 0;
    if (!seekEntry(entry) || fread(buffer, 1, (size_t)entry->size, entry->stream) != (size_t)entry->size)
        return 0;
    entry->position = entry->size;
    return count;
}

size_t pfRead(void *buffer, size_t size, size_t count, PackageFile file)
{
    if (isOrdinaryStream(file))
        return fread(buffer, size, count, asStream(file));
    PackageEntry *entry = asEntry(file);
    if (entry->rawLength != 0)
        return readWholeRaw(entry, buffer, size, count);
    if (entry->position >= entry->size || size == 0)
        return 0;
    if (entry->textMode) {
        size_t limit = count > SIZE_MAX / size ? SIZE_MAX : size * count;
        return readText(entry, (char *)buffer, limit, false) / size;
    }
    size_t left = (size_t)(entry->size - entry->position);
    size_t n = count > left / size ? left : size * count;
    if (!seekEntry(entry))
        return 0;
    size_t got = fread(buffer, 1, n, entry->stream);
    updatePosition(entry);
    return got / size;
}
