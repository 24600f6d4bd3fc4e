#include "support/package_builder.h"

#include <stdlib.h>
#include <zlib.h>

#include <fstream>
#include <iterator>

#include "package/directory_writer.h"

Bytes bytesOf(const std::string &text)
{
    return Bytes(text.begin(), text.end());
}

Bytes hexBytes(const char *hex)
{
    Bytes out;
    for (char *end;; hex = end) {
        unsigned long byte = strtoul(hex, &end, 16);     // skips the blanks before it
        if (end == hex)
            return out;
        out.push_back((unsigned char)byte);
    }
}

Bytes gzipMember(const Bytes &content)
{
    z_stream s = {};
    gz_header header = {};
    header.os = 0x0B;
    deflateInit2(&s, 9, Z_DEFLATED, MAX_WBITS + 16, 8, Z_DEFAULT_STRATEGY);    // + 16: a gzip member
    deflateSetHeader(&s, &header);
    Bytes out(deflateBound(&s, content.size()));
    s.next_in = (Bytef *)content.data();
    s.avail_in = (uInt)content.size();
    s.next_out = out.data();
    s.avail_out = (uInt)out.size();
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    out[8] = 0;     // zlib's extra flags say "level 9"
    return out;
}

Bytes buildPackage(const Bytes &image, const std::vector<TestEntry> &entries)
{
    Bytes out = image;
    std::vector<DirectoryRecord> records = {{"quillfen.exe", 0, (uint32_t)image.size()}};
    for (const TestEntry &e : entries) {
        records.push_back({e.name, (uint32_t)out.size(), (uint32_t)e.data.size(), e.rawLength});
        out.insert(out.end(), e.data.begin(), e.data.end());
    }
    Bytes directory = packageDirectory(records, (uint32_t)out.size());
    out.insert(out.end(), directory.begin(), directory.end());
    return out;
}

void writeFile(const std::string &path, const Bytes &data)
{
    std::ofstream out(path, std::ios::binary);
    if (!out.write(reinterpret_cast<const char *>(data.data()), data.size()))
        abort();
}

Bytes readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
