// Writing and checking gzip members. Compression settings are fixed (level 9,
// raw deflate with a 32 KiB window, memory level 8, default strategy) and the
// header carries no time or name, so the output depends on the input alone.
#include "tools/quillpack/gzip_member.h"

#include <errno.h>
#include <string.h>
#include <zlib.h>

#include <vector>

static const unsigned char GZIP_HEADER[10] = {0x1F, 0x8B, 0x08, 0x00, 0x00,
                                              0x00, 0x00, 0x00, 0x00, 0x0B};
static const size_t BLOCK = 65536;
static const int GZIP_WINDOW_BITS = 16 + MAX_WBITS;   // inflate: gzip wrapper only

bool writeOutput(PackageOutput &out, const void *data, size_t length, std::string &error)
{
    if (length > out.limit - out.written) {
        error = out.path + ": the installer would grow past " + std::to_string(out.limit) +
                " bytes, the most its package can hold";
        return false;
    }
    if (length > 0 && fwrite(data, 1, length, out.stream) != length) {
        error = out.path + ": " + strerror(errno);
        return false;
    }
    out.written += length;
    out.crc = (uint32_t)crc32(out.crc, (const Bytef *)data, (uInt)length);
    return true;
}

bool reserveChecksum(PackageOutput &out, uint32_t *at, std::string &error)
{
    uint32_t crc = out.crc;
    *at = (uint32_t)out.written;
    bool ok = writeWord(out, 0, error);
    out.crc = crc;
    return ok;
}

bool fillChecksum(PackageOutput &out, uint32_t at, std::string &error)
{
    unsigned char bytes[4] = {(unsigned char)out.crc, (unsigned char)(out.crc >> 8),
                              (unsigned char)(out.crc >> 16), (unsigned char)(out.crc >> 24)};
    if (fseek(out.stream, (long)at, SEEK_SET) != 0 || fwrite(bytes, 1, 4, out.stream) != 4 ||
        fseek(out.stream, 0, SEEK_END) != 0) {
        error = out.path + ": " + strerror(errno);
        return false;
    }
    return true;
}

bool writeWord(PackageOutput &out, uint32_t value, std::string &error)
{
    unsigned char bytes[4] = {(unsigned char)value, (unsigned char)(value >> 8),
                              (unsigned char)(value >> 16), (unsigned char)(value >> 24)};
    return writeOutput(out, bytes, sizeof bytes, error);
}

bool openPayload(const std::string &path, bool gzip, PayloadReader &reader, std::string &error)
{
    reader.path = path;
    reader.gzip = gzip;
    reader.ended = false;
    reader.inflater = z_stream();
    reader.file = fopen(path.c_str(), "rb");
    if (!reader.file) {
        error = path + ": " + strerror(errno);
        return false;
    }
    if (gzip && inflateInit2(&reader.inflater, GZIP_WINDOW_BITS) != Z_OK) {
        closePayload(reader);
        error = path + ": out of memory";
        return false;
    }
    reader.input.resize(gzip ? BLOCK : 0);
    return true;
}

void closePayload(PayloadReader &reader)
{
    if (reader.gzip)
        inflateEnd(&reader.inflater);
    reader.gzip = false;
    if (reader.file)
        fclose(reader.file);
    reader.file = 0;
}

// Reads plain bytes; false with error on a read error.
static bool readBytes(PayloadReader &reader, unsigned char *buffer, size_t size, size_t *got, std::string &error)
{
    *got = fread(buffer, 1, size, reader.file);
    if (ferror(reader.file)) {
        error = reader.path + ": " + strerror(errno);
        return false;
    }
    return true;
}

// Inflates up to size bytes of the member; at its end, checks that nothing
// follows it. zlib checks the trailer's CRC-32 and length.
static bool inflateBytes(PayloadReader &reader, unsigned char *buffer, size_t size, size_t *got, std::string &error)
{
    z_stream *z = &reader.inflater;
    z->next_out = buffer;
    z->avail_out = (uInt)size;
    int status = Z_OK;
    while (z->avail_out > 0 && status != Z_STREAM_END) {
        if (z->avail_in == 0) {
            size_t n;
            if (!readBytes(reader, reader.input.data(), reader.input.size(), &n, error))
                return false;
            if (n == 0) {
                error = reader.path + ": the gzip member is cut short";
                return false;
            }
            z->next_in = reader.input.data();
            z->avail_in = (uInt)n;
        }
        status = inflate(z, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
            error = reader.path + ": not a valid gzip member (" + (z->msg ? z->msg : zError(status)) + ")";
            return false;
        }
    }
    *got = size - z->avail_out;
    if (status == Z_STREAM_END) {
        unsigned char extra;
        if (z->avail_in > 0 || fread(&extra, 1, 1, reader.file) == 1) {
            error = reader.path + ": bytes follow the gzip member; an entry holds exactly one member";
            return false;
        }
        reader.ended = true;
    }
    return true;
}

bool readPayload(PayloadReader &reader, unsigned char *buffer, size_t size, size_t *got, std::string &error)
{
    *got = 0;
    if (reader.ended)
        return true;
    if (!reader.gzip)
        return readBytes(reader, buffer, size, got, error);
    return inflateBytes(reader, buffer, size, got, error);
}

// Feeds one block to the deflater and hands on what comes out.
static bool deflateBlock(z_stream *z, int flush, std::vector<unsigned char> &output, const MemberSink &sink,
                         std::string &error)
{
    do {
        z->next_out = output.data();
        z->avail_out = (uInt)output.size();
        deflate(z, flush);
        size_t made = output.size() - z->avail_out;
        if (made > 0 && !sink(output.data(), made, error))
            return false;
    } while (z->avail_out == 0);
    return true;
}

static void putWord(unsigned char *at, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        at[i] = (unsigned char)(value >> (8 * i));
}

bool compressMember(PayloadReader &reader, const MemberSink &sink, uint64_t *length, std::string &error)
{
    if (!sink(GZIP_HEADER, sizeof GZIP_HEADER, error))
        return false;
    z_stream z = {};
    if (deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        error = reader.path + ": out of memory";
        return false;
    }
    std::vector<unsigned char> input(BLOCK), output(BLOCK);
    uLong crc = crc32(0, 0, 0);
    uint64_t total = 0;
    bool ok = true;
    int flush = Z_NO_FLUSH;
    while (ok && flush != Z_FINISH) {
        size_t n;
        ok = readPayload(reader, input.data(), BLOCK, &n, error);
        crc = crc32(crc, input.data(), (uInt)n);
        total += n;
        flush = n == 0 ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = input.data();
        z.avail_in = (uInt)n;
        ok = ok && deflateBlock(&z, flush, output, sink, error);
    }
    deflateEnd(&z);
    *length = total;
    unsigned char trailer[8];
    putWord(trailer, (uint32_t)crc);
    putWord(trailer + 4, (uint32_t)total);
    return ok && sink(trailer, sizeof trailer, error);
}

bool checkGzipMember(const std::string &path, uint32_t *unpacked, std::string &error)
{
    PayloadReader reader;
    if (!openPayload(path, true, reader, error))
        return false;
    std::vector<unsigned char> buffer(BLOCK);
    size_t got = 0;
    bool ok;
    while ((ok = readPayload(reader, buffer.data(), buffer.size(), &got, error)) && got > 0) {
    }
    *unpacked = (uint32_t)reader.inflater.total_out;
    closePayload(reader);
    return ok;
}
