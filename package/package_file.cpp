// The package file layer: one set of stdio-shaped calls over package entries
// and ordinary files. An entry reads through the package's shared binary
// stream, re-seeking it before every read because it serves all entries;
// text reads come out of a window of the package's bytes.
//
// Text mode is done here, not by the runtime, for entries and ordinary files
// alike. The Windows runtime's text-mode ftell assumes that every LF in its
// buffer came from a CR LF pair, and the bytes behind a script entry are
// gzip data full of lone LFs, so its positions come out wrong (even
// negative); and its text mode ends a file at Ctrl-Z, which would let the
// uninstaller's reading of the installed script stop where the installer's
// did not. Translating CR LF here keeps every position an exact count of
// file bytes and every reading of the same bytes the same.
#include "package/package.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "base/names.h"
#include "base/text.h"
#include "package/stdio_open.h"

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

static PackageFile openEntry(PackageEntry *entry, const char *mode)
{
    bool text = strchr(mode, 't') != 0;
    if (text && entry->rawLength != 0)
        return 0;
    entry->position = 0;
    entry->textMode = text;
    return reinterpret_cast<PackageFile>(entry);
}

// Ordinary files are opened binary: text mode is done by this layer, as for
// entries, so the runtime's own (which stops at Ctrl-Z) never applies.
static PackageFile openOrdinary(const char *name, const char *mode)
{
    char stdioMode[8];
    size_t n = 0;
    for (const char *m = mode; *m && n < sizeof stdioMode - 2; m++)
        if (*m != 't' && *m != 'b')
            stdioMode[n++] = *m;
    stdioMode[n++] = 'b';
    stdioMode[n] = '\0';

    OrdinaryFile *file = (OrdinaryFile *)malloc(sizeof(OrdinaryFile));
    if (!file)
        return 0;
    file->tag = ORDINARY_FILE_TAG;
    file->textMode = !isWriteMode(mode) && (strchr(mode, 't') || !strchr(mode, 'b'));
    file->stream = openStdioFile(name, stdioMode);
    if (!file->stream) {
        int saved = errno;
        free(file);
        errno = saved;
        return 0;
    }
    return reinterpret_cast<PackageFile>(file);
}

PackageFile pfOpenFile(const char *path, const char *mode)
{
    return openOrdinary(path, mode);
}

PackageFile pfOpen(const char *name, const char *mode)
{
    if (isWriteMode(mode))
        return openOrdinary(name, mode);
    char buffer[NAME_WORK_SIZE];
    if (!copyText(buffer, sizeof buffer, name)) {
        errno = ENAMETOOLONG;
        return 0;
    }
    normalizeEntryName(buffer);
    PackageEntry *entry = findPackageEntry(buffer);
    return entry ? openEntry(entry, mode) : openOrdinary(buffer, mode);
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

// Text reads of entries come out of one window of a package's bytes. The
// copy pass reads the script a line at a time between the entries it
// unpacks; without the window every line would move the shared stream away
// from the entry data and read the same script bytes again.
static struct {
    FILE *stream;                 // the package stream the bytes are from; 0: none
    uint32_t from;                // file offset of bytes[0]
    uint32_t length;              // bytes held
    unsigned char bytes[4096];
} textWindow;

void forgetTextWindow()
{
    textWindow.stream = 0;
}

// Reads up to size raw bytes for text mode: an entry's from its position,
// an ordinary stream's from where it stands. *more tells whether bytes may
// follow the ones read.
static size_t readRaw(PackageFile file, unsigned char *chunk, size_t size, bool *more)
{
    if (isOrdinaryStream(file)) {
        size_t got = fread(chunk, 1, size, asStream(file));
        *more = got == size;
        return got;
    }
    PackageEntry *entry = asEntry(file);
    size_t left = (size_t)(entry->size - entry->position);
    size_t want = left < size ? left : size;
    uint32_t at = entry->offset + (uint32_t)entry->position;
    // Filled anew from here when it holds fewer than the bytes wanted: a CR
    // at the end of a read is read again at the start of the next one.
    if (textWindow.stream != entry->stream || at < textWindow.from ||
        at - textWindow.from + want > textWindow.length) {
        textWindow.stream = entry->stream;
        textWindow.from = at;
        textWindow.length =
            seekEntry(entry) ? (uint32_t)fread(textWindow.bytes, 1, sizeof textWindow.bytes, entry->stream) : 0;
    }
    size_t held = textWindow.length - (at - textWindow.from);
    size_t got = held < want ? held : want;
    memcpy(chunk, textWindow.bytes + (at - textWindow.from), got);
    *more = got < left;
    return got;
}

// Takes used of the got bytes readRaw returned; the rest is read again.
static void consumeRaw(PackageFile file, size_t used, size_t got)
{
    if (!isOrdinaryStream(file))
        asEntry(file)->position += (int32_t)used;
    else if (used < got)
        fseek(asStream(file), -(long)(got - used), SEEK_CUR);
}

// Reads up to limit characters of text into buffer, turning each CR LF pair
// into LF; with stopAtLineFeed it stops after the first LF. Returns the
// number of characters stored; the position advances by the bytes they took.
static size_t readText(PackageFile file, char *buffer, size_t limit, bool stopAtLineFeed)
{
    size_t stored = 0;
    bool lineDone = false;
    while (stored < limit && !lineDone) {
        unsigned char chunk[512];
        bool more;
        size_t got = readRaw(file, chunk, sizeof chunk, &more);
        size_t used = 0;
        while (used < got && stored < limit && !lineDone) {
            unsigned char c = chunk[used];
            if (c == '\r' && used + 1 == got && more)
                break;                    // the pair may span chunks: read again from the CR
            if (c == '\r' && used + 1 < got && chunk[used + 1] == '\n') {
                c = '\n';
                used++;
            }
            used++;
            buffer[stored++] = (char)c;
            lineDone = stopAtLineFeed && c == '\n';
        }
        consumeRaw(file, used, got);
        if (used == 0)
            break;
    }
    return stored;
}

// True when the handle reads text through readText.
static bool readsText(PackageFile file)
{
    return isOrdinaryStream(file) ? reinterpret_cast<OrdinaryFile *>(file)->textMode : asEntry(file)->textMode;
}

char *pfGets(char *buffer, int count, PackageFile file)
{
    if (count <= 0)
        return 0;
    if (readsText(file)) {
        if (!isOrdinaryStream(file) && asEntry(file)->position >= asEntry(file)->size)
            return 0;
        size_t stored = readText(file, buffer, (size_t)count - 1, true);
        buffer[stored] = '\0';
        return stored ? buffer : 0;
    }
    if (isOrdinaryStream(file))
        return fgets(buffer, count, asStream(file));
    PackageEntry *entry = asEntry(file);
    if (entry->rawLength != 0 || entry->position >= entry->size)
        return 0;
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
    if (size == 0)
        return 0;
    if (readsText(file)) {
        size_t limit = count > SIZE_MAX / size ? SIZE_MAX : size * count;
        return readText(file, (char *)buffer, limit, false) / size;
    }
    if (isOrdinaryStream(file))
        return fread(buffer, size, count, asStream(file));
    PackageEntry *entry = asEntry(file);
    if (entry->rawLength != 0)
        return readWholeRaw(entry, buffer, size, count);
    if (entry->position >= entry->size)
        return 0;
    size_t left = (size_t)(entry->size - entry->position);
    size_t n = count > left / size ? left : size * count;
    if (!seekEntry(entry))
        return 0;
    size_t got = fread(buffer, 1, n, entry->stream);
    entry->position += (int32_t)got;
    return got / size;
}
