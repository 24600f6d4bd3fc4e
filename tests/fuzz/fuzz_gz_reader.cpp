// Fuzz target: the compressed entry reader over any bytes, as the installer
// entry "payload.gz" and packed again as "packed.gz" (the first third as a
// gzip member, the second as one with every header flag set, the last as it
// is); a valid member follows, which a reader that strayed past its entry
// would deliver. Each is read to the end in a cycle of odd block sizes.
// Whatever the bytes: no read stores more than asked, an error sticks, the
// close reports it, an error text is "name: description". Bytes without the
// gzip magic come out unchanged; members that zlib's own gzip decoder accepts
// come out as zlib decodes them, with trailing bytes that are not gzip as
// they are; "packed.gz" gives back the input (unless its last third starts
// with the magic).
#include <stdint.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "package/gz_reader.h"

namespace {

const size_t OUTPUT_LIMIT = 4 << 20;   // a deflate bomb is cut here

bool hasMagic(const uint8_t *data, size_t length)
{
    return length >= 2 && data[0] == 0x1F && data[1] == 0x8B;
}

// What the reader must deliver, by zlib's gzip decoder (which also checks
// the stored length and a header CRC, so it accepts less than the reader):
// the members, then trailing bytes without the magic, or all the bytes when
// they do not start with it. False when zlib refuses or the output passes the limit.
bool zlibReading(const uint8_t *data, size_t length, Bytes &out)
{
    size_t at = 0;
    while (hasMagic(data + at, length - at)) {
        z_stream s = {};
        inflateInit2(&s, 16 + MAX_WBITS);
        s.next_in = (Bytef *)data + at;
        s.avail_in = (uInt)(length - at);
        uint8_t block[16384];
        int status;
        do {
            s.next_out = block;
            s.avail_out = sizeof block;
            status = inflate(&s, Z_NO_FLUSH);
            out.insert(out.end(), block, block + (sizeof block - s.avail_out));
        } while (status == Z_OK && out.size() <= OUTPUT_LIMIT);
        at = length - s.avail_in;
        inflateEnd(&s);
        if (status != Z_STREAM_END || out.size() > OUTPUT_LIMIT)
            return false;
    }
    out.insert(out.end(), data + at, data + length);
    return true;
}

// Returns what the reader delivered, stopping past OUTPUT_LIMIT; *clean tells
// that no read failed and the close succeeded. Each buffer is exactly as long
// as the read asks, so that the address sanitizer sees any overrun. After the
// end come three more reads.
Bytes readEntry(const char *name, size_t start, bool *clean)
{
    static const uint32_t sizes[] = {1, 16385, 3, 4095, 16384, 7, 65537, 2, 16383, 100};
    GzReader *reader = gzReaderOpen(name, "rb");
    fuzzCheck(reader && !isOrdinaryStream(reader->file), "the reader did not open the entry");
    Bytes data;
    bool failed = false;
    for (size_t i = start, ends = 0; ends < 4 && data.size() < OUTPUT_LIMIT; i++) {
        std::vector<uint8_t> buffer(sizes[i % 10]);
        int32_t n = gzReaderRead(reader, buffer.data(), (uint32_t)buffer.size());
        fuzzCheck(n >= -1 && n <= (int32_t)buffer.size(), "a read stored more than asked");
        fuzzCheck(!failed || n == -1, "an error did not stick");
        fuzzCheck(ends == 0 || n <= 0, "data after the end");
        failed = failed || n == -1;
        ends += n <= 0;
        data.insert(data.end(), buffer.begin(), buffer.begin() + (n > 0 ? n : 0));
    }
    int code;
    std::string text = gzReaderError(reader, &code), prefix = std::string(name) + ": ";
    fuzzCheck(code >= 0 || (text.rfind(prefix, 0) == 0 && text.size() > prefix.size()),
              "an error text is not \"name: description\"");
    int32_t close = gzReaderClose(reader);
    fuzzCheck(!failed || close < 0, "a failed read closed with success");
    *clean = !failed && close == 0;
    return data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t length)
{
    static const std::string path = scratchPath("installer.exe");
    static const Bytes flagged = hexBytes("1f 8b 08 1e 00 00 00 00 00 0b  02 00 41 42  6e 00  63 00  ff ff");
    const size_t third = length / 3;
    Bytes input(data, data + length), packed = gzipMember(Bytes(data, data + third));
    Bytes second = gzipMember(Bytes(data + third, data + 2 * third));
    packed.insert(packed.end(), flagged.begin(), flagged.end());
    packed.insert(packed.end(), second.begin() + 10, second.end());
    packed.insert(packed.end(), data + 2 * third, data + length);
    writeFile(path, buildPackage(bytesOf("MZ stub"), {{"payload.gz", input}, {"packed.gz", packed},
                                                      {"after.gz", gzipMember(bytesOf("read past its entry\n"))}}));
    fuzzCheck(openPackage(path.c_str()) > 0 && openPackageCount == 1, "loading a well-formed installer");

    bool clean;
    Bytes plain = readEntry("payload.gz", length % 10, &clean), expected;
    fuzzCheck(!zlibReading(data, length, expected) || (clean && plain == expected),
              "the reader and zlib read the same members differently, or bytes that are not gzip changed");
    Bytes unpacked = readEntry("packed.gz", length % 7, &clean);
    fuzzCheck(hasMagic(data + 2 * third, length - 2 * third) || (clean && unpacked == input),
              "gzip members and the bytes after them did not come out whole");
    fuzzCheck(closePackage(path.c_str()) == 0 && openPackageCount == 0, "closing the installer");
    return 0;
}
