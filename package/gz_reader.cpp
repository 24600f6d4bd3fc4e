// The compressed entry reader. The first error sticks in status; reads after
// it return -1, and gzReaderError turns it into "name: description".
#include "package/gz_reader.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "base/text.h"

static const int END = -1;   // nextInputByte: no more input

static void freeReader(GzReader *reader)
{
    free(reader->message);
    free(reader->input);
    free(reader->name);
    free(reader);
}

// Refills the input buffer from the file. False when nothing came; then
// input has ended, and a read error of an ordinary stream sets Z_ERRNO.
static bool refill(GzReader *reader, size_t keep)
{
    errno = 0;
    size_t got = pfRead(reader->input + keep, 1, GZ_BUFFER_SIZE - keep, reader->file);
    reader->inflater.next_in = reader->input;
    reader->inflater.avail_in = (uInt)(keep + got);
    if (got > 0)
        return true;
    reader->inputEnded = true;
    if (isOrdinaryStream(reader->file) && ferror(pfStdioStream(reader->file)))
        reader->status = Z_ERRNO;
    return false;
}

static int nextInputByte(GzReader *reader)
{
    if (reader->inputEnded)
        return END;
    if (reader->inflater.avail_in == 0 && !refill(reader, 0))
        return END;
    reader->inflater.avail_in--;
    return *reader->inflater.next_in++;
}

// Looks at the next two input bytes without taking them: the gzip magic is
// taken only when both match, so data that is not gzip stays unread and is
// delivered as it is. A lone byte before the end is kept at the buffer start.
static bool atGzipMagic(GzReader *reader)
{
    z_stream *s = &reader->inflater;
    if (s->avail_in < 2 && !reader->inputEnded) {
        if (s->avail_in == 1)
            reader->input[0] = s->next_in[0];
        refill(reader, s->avail_in);
        reader->inputEnded = false;    // the bytes kept may still be read
        if (s->avail_in == 0)
            reader->inputEnded = true;
    }
    return s->avail_in >= 2 && s->next_in[0] == 0x1F && s->next_in[1] == 0x8B;
}

// Parses a gzip member header (RFC 1952). Data without the magic turns the
// reader transparent; a header cut short or with unknown method or reserved
// flags is a data error.
static void readHeader(GzReader *reader)
{
    if (!atGzipMagic(reader)) {
        if (reader->inflater.avail_in > 0)
            reader->transparent = true;
        if (reader->status != Z_ERRNO)   // a read error is not the end of the data
            reader->status = reader->inflater.avail_in > 0 ? Z_OK : Z_STREAM_END;
        return;
    }
    reader->inflater.next_in += 2;
    reader->inflater.avail_in -= 2;
    int method = nextInputByte(reader);
    int flags = nextInputByte(reader);
    if (method != Z_DEFLATED || flags == END || (flags & 0xE0) != 0) {
        reader->status = Z_DATA_ERROR;
        return;
    }
    for (int i = 0; i < 6; i++)        // time, extra flags, operating system
        nextInputByte(reader);
    if (flags & 0x04) {                // extra field
        int low = nextInputByte(reader);
        int high = nextInputByte(reader);
        int length = (low == END || high == END) ? 0 : low | (high << 8);
        while (length-- > 0 && nextInputByte(reader) != END) {
        }
    }
    if (flags & 0x08) {                // file name
        int c;
        while ((c = nextInputByte(reader)) != 0 && c != END) {
        }
    }
    if (flags & 0x10) {                // comment
        int c;
        while ((c = nextInputByte(reader)) != 0 && c != END) {
        }
    }
    if (flags & 0x02) {                // header CRC, not checked
        nextInputByte(reader);
        nextInputByte(reader);
    }
    reader->status = reader->inputEnded ? Z_DATA_ERROR : Z_OK;
}

static uint32_t readTrailerWord(GzReader *reader)
{
    uint32_t value = 0;
    int c = 0;
    for (int i = 0; i < 4; i++) {
        c = nextInputByte(reader);
        value |= (uint32_t)(c & 0xFF) << (8 * i);
    }
    if (c == END)
        reader->status = Z_DATA_ERROR;
    return value;
}

bool gzEntryName(const char *sourceName, char *name, size_t size)
{
    size_t length = strlen(sourceName);
    bool endsInGz = length > 3 && strcmp(sourceName + length - 3, ".gz") == 0;
    if (!copyText(name, size - 3, sourceName))
        return false;
    if (!endsInGz)
        appendText(name, size, ".gz");
    return true;
}

// A reader with its buffers and inflate state, not yet reading a file.
static GzReader *newReader(const char *name)
{
    GzReader *reader = (GzReader *)calloc(1, sizeof(GzReader));
    if (!reader)
        return 0;
    reader->status = Z_OK;
    reader->mode = 'r';
    reader->name = strdup(name);
    reader->input = (unsigned char *)malloc(GZ_BUFFER_SIZE);
    if (!reader->name || !reader->input) {
        freeReader(reader);
        return 0;
    }
    reader->inflater.next_in = reader->input;
    if (inflateInit2(&reader->inflater, -MAX_WBITS) != Z_OK) {
        freeReader(reader);
        return 0;
    }
    return reader;
}

GzReader *gzReaderOpen(const char *name, const char *mode)
{
    if (!name || !mode || !strchr(mode, 'r'))
        return 0;
    GzReader *reader = newReader(name);
    if (!reader)
        return 0;
    errno = 0;
    reader->file = pfOpen(name, mode);
    if (!reader->file) {
        int saved = errno;
        inflateEnd(&reader->inflater);
        freeReader(reader);
        errno = saved;
        return 0;
    }
    readHeader(reader);
    return reader;
}

GzReader *gzReaderOpenFile(PackageFile file, const char *name)
{
    GzReader *reader = newReader(name);
    if (reader) {
        reader->file = file;
        readHeader(reader);
    }
    return reader;
}

// Delivers the unread input, then reads the rest straight from the file.
static int32_t readTransparent(GzReader *reader, uint32_t length)
{
    z_stream *s = &reader->inflater;
    uInt n = s->avail_in < s->avail_out ? s->avail_in : s->avail_out;
    memcpy(s->next_out, s->next_in, n);
    s->next_out += n;
    s->next_in += n;
    s->avail_out -= n;
    s->avail_in -= n;
    if (s->avail_out > 0)
        s->avail_out -= (uInt)pfRead(s->next_out, 1, s->avail_out, reader->file);
    int32_t stored = (int32_t)(length - s->avail_out);
    if (stored == 0)
        reader->inputEnded = true;
    return stored;
}

int32_t gzReaderRead(GzReader *reader, void *buffer, uint32_t length)
{
    if (!reader || reader->mode != 'r')
        return -2;
    if (reader->status == Z_DATA_ERROR || reader->status == Z_ERRNO)
        return -1;
    if (reader->status == Z_STREAM_END)
        return 0;

    z_stream *s = &reader->inflater;
    unsigned char *start = (unsigned char *)buffer;   // first byte not yet in crc
    s->next_out = start;
    s->avail_out = length;
    while (s->avail_out != 0) {
        if (reader->transparent)
            return readTransparent(reader, length);
        if (s->avail_in == 0 && !reader->inputEnded && !refill(reader, 0) &&
            reader->status == Z_ERRNO)
            break;
        reader->status = inflate(s, Z_NO_FLUSH);
        if (reader->status == Z_STREAM_END) {
            reader->crc = crc32(reader->crc, start, (uInt)(s->next_out - start));
            start = s->next_out;
            if (readTrailerWord(reader) != reader->crc) {
                reader->status = Z_DATA_ERROR;
            } else {
                readTrailerWord(reader);   // the stored length is not checked
                readHeader(reader);
                if (reader->status == Z_OK) {
                    uLong totalIn = s->total_in, totalOut = s->total_out;
                    inflateReset(s);
                    s->total_in = totalIn;
                    s->total_out = totalOut;
                    reader->crc = crc32(0, Z_NULL, 0);
                }
            }
        }
        if (reader->status != Z_OK || reader->inputEnded)
            break;
    }
    reader->crc = crc32(reader->crc, start, (uInt)(s->next_out - start));
    return (int32_t)(length - s->avail_out);
}

int32_t gzReaderClose(GzReader *reader)
{
    if (!reader)
        return Z_STREAM_ERROR;
    int32_t result = inflateEnd(&reader->inflater);
    errno = 0;
    if (pfClose(reader->file) != 0 && errno != ESPIPE)
        result = Z_ERRNO;
    if (reader->status < 0)
        result = reader->status;
    freeReader(reader);
    return result;
}

const char *gzReaderError(GzReader *reader, int *code)
{
    if (!reader) {
        *code = Z_STREAM_ERROR;
        return "stream error";
    }
    *code = reader->status;
    const char *description = "";
    if (reader->status != Z_OK) {
        const char *own = reader->inflater.msg;
        description = (own && *own && reader->status != Z_ERRNO) ? own : zError(reader->status);
    }
    free(reader->message);
    reader->message = 0;
    if (reader->status == Z_OK)
        return "";
    size_t size = strlen(reader->name) + 2 + strlen(description) + 1;
    reader->message = (char *)malloc(size);
    if (!reader->message)
        return "insufficient memory";
    formatText(reader->message, size, "%s: %s", reader->name, description);
    return reader->message;
}
