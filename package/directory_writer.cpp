#include "package/directory_writer.h"

static void putWord(std::vector<unsigned char> &out, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        out.push_back((unsigned char)(value >> (8 * i)));
}

std::vector<unsigned char> packageDirectory(const std::vector<DirectoryRecord> &records,
                                            uint32_t directoryOffset)
{
    std::vector<unsigned char> out;
    putWord(out, (uint32_t)records.size());
    for (const DirectoryRecord &r : records) {
        putWord(out, r.offset);
        putWord(out, r.size);
        putWord(out, r.rawLength);
        putWord(out, (uint32_t)r.name.size() + 1);
        out.insert(out.end(), r.name.begin(), r.name.end());
        out.push_back(0);
    }
    putWord(out, directoryOffset);
    return out;
}
