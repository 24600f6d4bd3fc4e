// Fuzz target: the bytes of one package entry, read through the compressed
// entry reader.
//
// The input is stored as the entry "payload.gz" of a well-formed installer,
// followed by an entry that holds a valid gzip member, so a reader that
// strayed past its entry would deliver that member's text. The reader is read
// to the end in odd block sizes. Whatever the bytes: no read stores more than
// asked, an error sticks, and the close reports it. Where the answer is known
// without the reader it must match: data without the gzip magic comes out
// unchanged, and members that zlib's own gzip decoder accepts come out as
// zlib decodes them, with trailing data that is not gzip appended as it is.
#include <stdint.h>
#include <string.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "package/gz_reader.h"
#include "support/package_builder.h"

namespace {

const char ENTRY_NAME[] = "payload.gz";
const size_t OUTPUT_LIMIT = 4 << 20;   // a deflate bomb is cut here, unjudged

// What the reader must deliver, found without it: members decoded by zlib's
// gzip wrapper (which also checks the stored length and a header CRC, so it
// accepts less than the reader), then any trailing data that does not start
// with the gzip magic. False when zlib refuses, or the output passes the
// limit: then only the reader's own consistency is checked.
bool expectedOutput(const uint8_t *data, size_t length, Bytes &out)
{
    size_t at = 0;
    while (length - at >= 2 && data[at] == 0x1F && data[at + 1] == 0x8B) {
        z_stream s = {};
        if (inflateInit2(&s, 16 + MAX_WBITS) != Z_OK)
            return false;
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

struct Reading {
    Bytes data;          // everything the reader delivered
    bool failed;         // a read returned -1
    bool cut;            // stopped at OUTPUT_LIMIT
    int code;            // gzReaderError code after the last read
    int32_t close;       // gzReaderClose result
};

// Reads in a cycle of block sizes, each buffer exactly as long as the read
// asks for, so that the address sanitizer sees any overrun.
Reading readAll(GzReader *reader, size_t start)
{
    static const uint32_t sizes[] = {1, 16385, 3, 4095, 16384, 7, 65537, 2, 16383, 100};
    static std::vector<std::vector<uint8_t>> buffers;
    if (buffers.empty())
        for (uint32_t size : sizes)
            buffers.emplace_back(size);
    Reading r = {};
    bool ended = false;
    for (size_t i = start;; i++) {
        std::vector<uint8_t> &buffer = buffers[i % 10];
        int32_t n = gzReaderRead(reader, buffer.data(), (uint32_t)buffer.size());
        FUZZ_CHECK(n >= -1 && n <= (int32_t)buffer.size(), "a read stored more than asked");
        FUZZ_CHECK(!r.failed || n == -1, "an error did not stick");
        FUZZ_CHECK(!ended || n <= 0, "data after the end");
        if (n == -1)
            r.failed = true;
        else if (n == 0)
            ended = true;
        else
            r.data.insert(r.data.end(), buffer.begin(), buffer.begin() + n);
        if (r.data.size() > OUTPUT_LIMIT) {
            r.cut = true;
            break;
        }
        if (ended && r.failed)
            break;
        if (n <= 0 && i >= start + 2 * 10)   // the end, seen twice round the cycle
            break;
    }
    const char *text = gzReaderError(reader, &r.code);
    if (r.code < 0) {
        std::string prefix = std::string(ENTRY_NAME) + ": ";
        FUZZ_CHECK(strncmp(text, prefix.c_str(), prefix.size()) == 0 && strlen(text) > prefix.size(),
                   "an error text is not \"name: description\"");
    }
    r.close = gzReaderClose(reader);
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t length)
{
    static const std::string path = scratchPath("installer.exe");
    static const Bytes after = gzipMember(bytesOf("read past the end of its entry\n"));
    Bytes entry(data, data + length);
    writeFile(path, buildPackage(bytesOf("MZ stub"), {{ENTRY_NAME, entry}, {"after.gz", after}}));
    FUZZ_CHECK(openPackage(path.c_str()) > 0 && openPackageCount == 1, "loading a well-formed installer");

    GzReader *reader = gzReaderOpen(ENTRY_NAME, "rb");
    FUZZ_CHECK(reader && !isOrdinaryStream(reader->file), "the reader did not open the entry");
    Reading r = readAll(reader, length % 10);
    FUZZ_CHECK(!r.failed || r.close < 0, "a failed read closed with success");

    if (!r.cut) {
        bool plain = length < 2 || data[0] != 0x1F || data[1] != 0x8B;
        Bytes expected;
        if (plain || expectedOutput(data, length, expected)) {
            if (plain)
                expected = entry;
            FUZZ_CHECK(!r.failed && r.close == 0, "valid input failed");
            FUZZ_CHECK(r.data == expected, "the reader delivered other data");
        }
    }
    FUZZ_CHECK(closePackage(path.c_str()) == 0 && openPackageCount == 0, "closing the installer");
    return 0;
}
