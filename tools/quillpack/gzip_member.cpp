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

// Feeds one block to the deflater and writes what comes out.
static bool deflateBlock(z_stream *z, int flush, std::vector<unsigned char> &output,
                         PackageOutput &out, std::string &error)
{
    do {
        z->next_out = output.data();
        z->avail_out = (uInt)output.size();
        deflate(z, flush);
        if (!writeOutput(out, output.data(), output.size() - z->avail_out, error))
            return false;
    } while (z->avail_out == 0);
    return true;
}

bool writeGzipMember(FILE *in, const std::string &source, PackageOutput &out, uint64_t *length,
                     std::string &error)
{
    if (!writeOutput(out, GZIP_HEADER, sizeof GZIP_HEADER, error))
        return false;
    z_stream z = {};
    if (deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        error = source + ": out of memory";
        return false;
    }
    std::vector<unsigned char> input(BLOCK), output(BLOCK);
    uLong crc = crc32(0, 0, 0);
    uint64_t total = 0;
    bool ok = true;
    int flush = Z_NO_FLUSH;
    while (ok && flush != Z_FINISH) {
        size_t n = fread(input.data(), 1, BLOCK, in);
        if (ferror(in)) {
            error = source + ": " + strerror(errno);
            ok = false;
            break;
        }
        crc = crc32(crc, input.data(), (uInt)n);
        total += n;
        flush = feof(in) ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = input.data();
        z.avail_in = (uInt)n;
        ok = deflateBlock(&z, flush, output, out, error);
    }
    deflateEnd(&z);
    *length = total;
    return ok && writeWord(out, (uint32_t)crc, error) && writeWord(out, (uint32_t)total, error);
}

// Inflates the member from file to its end, discarding the output. Leaves in
// z whatever input follows the member.
static bool inflateToEnd(FILE *file, z_stream *z, const std::string &path, std::string &error)
{
    std::vector<unsigned char> input(BLOCK), output(BLOCK);
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        if (z->avail_in == 0) {
            z->next_in = input.data();
            z->avail_in = (uInt)fread(input.data(), 1, BLOCK, file);
            if (ferror(file)) {
                error = path + ": " + strerror(errno);
                return false;
            }
            if (z->avail_in == 0) {
                error = path + ": the gzip member is cut short";
                return false;
            }
        }
        z->next_out = output.data();
        z->avail_out = (uInt)output.size();
        status = inflate(z, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
            error = path + ": not a valid gzip member (" + (z->msg ? z->msg : zError(status)) + ")";
            return false;
        }
    }
    unsigned char extra;
    if (z->avail_in > 0 || fread(&extra, 1, 1, file) == 1) {
        error = path + ": bytes follow the gzip member; an entry holds exactly one member";
        return false;
    }
    return true;
}

bool checkGzipMember(const std::string &path, uint32_t *unpacked, std::string &error)
{
    FILE *file = fopen(path.c_str(), "rb");
    if (!file) {
        error = path + ": " + strerror(errno);
        return false;
    }
    z_stream z = {};
    if (inflateInit2(&z, GZIP_WINDOW_BITS) != Z_OK) {
        fclose(file);
        error = path + ": out of memory";
        return false;
    }
    bool ok = inflateToEnd(file, &z, path, error);
    *unpacked = (uint32_t)z.total_out;   // zlib has checked it against the trailer
    inflateEnd(&z);
    fclose(file);
    return ok;
}
