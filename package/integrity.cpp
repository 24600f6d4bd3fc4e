#include "package/integrity.h"

#include <zlib.h>

#include "base/bytes.h"
#include "base/names.h"
#include "base/text.h"
#include "package/stdio_open.h"

// PE headers, as far as the image's length needs them, all little-endian:
//
//   0x3C                     offset P of the PE signature
//   P                        "PE\0\0"
//   P + 6                    number of sections (16 bits)
//   P + 20                   size O of the optional header (16 bits)
//   P + 24 + 128             certificate table: file offset, size (PE32)
//   P + 24 + O + 40 * i      section i: raw size at +16, raw offset at +20
static const uint32_t HEADER_BYTES = 4096;   // headers beyond this are not ours

uint32_t peImageLength(FILE *stream)
{
    unsigned char h[HEADER_BYTES];
    if (fseek(stream, 0, SEEK_SET) != 0)
        return 0;
    size_t got = fread(h, 1, sizeof h, stream);
    if (got < 0x40 || h[0] != 'M' || h[1] != 'Z')
        return 0;
    uint32_t pe = littleEndian32(h + 0x3C);
    if (pe > got - 24 || h[pe] != 'P' || h[pe + 1] != 'E' || h[pe + 2] || h[pe + 3])
        return 0;
    uint32_t sections = littleEndian16(h + pe + 6), optional = littleEndian16(h + pe + 20);
    uint32_t table = pe + 24 + optional;
    if (table > got || sections > (got - table) / 40)
        return 0;
    uint64_t end = 0;
    if (optional >= 136) {
        uint64_t certificates = (uint64_t)littleEndian32(h + pe + 24 + 128) + littleEndian32(h + pe + 24 + 132);
        end = certificates;
    }
    for (uint32_t i = 0; i < sections; i++) {
        const unsigned char *s = h + table + 40 * i;
        uint64_t sectionEnd = (uint64_t)littleEndian32(s + 20) + littleEndian32(s + 16);
        if (sectionEnd > end)
            end = sectionEnd;
    }
    return end <= 0x7FFFFFFF ? (uint32_t)end : 0;
}

// CRC-32 of the bytes of stream from at, length of them, continuing crc.
static bool crcOfSpan(FILE *stream, uint32_t at, uint32_t length, uLong *crc)
{
    unsigned char block[65536];
    if (fseek(stream, (long)at, SEEK_SET) != 0)
        return false;
    while (length > 0) {
        size_t n = fread(block, 1, length < sizeof block ? length : sizeof block, stream);
        if (n == 0)
            return false;
        *crc = crc32(*crc, block, (uInt)n);
        length -= (uint32_t)n;
    }
    return true;
}

bool checksumMatches(const PackageRecord *record)
{
    const PackageEntry *sum = 0;
    for (int32_t i = 0; i < record->entryCount && !sum; i++)
        if (equalsIgnoreAsciiCase(record->entries[i].name, CHECKSUM_NAME))
            sum = &record->entries[i];
    if (!sum)
        return true;
    unsigned char stored[4];
    if (sum->size != 4 || fseek(record->stream, 0, SEEK_END) != 0)
        return false;
    long fileLength = ftell(record->stream);
    uint32_t after = sum->offset + 4;
    uLong crc = crc32(0, 0, 0);
    return fileLength >= (long)after && crcOfSpan(record->stream, 0, sum->offset, &crc) &&
           fread(stored, 1, 4, record->stream) == 4 &&
           crcOfSpan(record->stream, after, (uint32_t)fileLength - after, &crc) && crc == littleEndian32(stored);
}

static bool isIntact(const PackageRecord *record, uint32_t imageLength)
{
    const PackageEntry *image = &record->entries[0];
    if (record->entryCount == 0 || !equalsIgnoreAsciiCase(image->name, UNINSTALLER_NAME) || image->offset != 0 ||
        (uint32_t)image->size != imageLength)
        return false;
    bool haveScript = false;
    for (int32_t i = 0; i < record->entryCount; i++) {
        if (record->entries[i].rawLength != 0)
            return false;
        haveScript = haveScript || equalsIgnoreAsciiCase(record->entries[i].name, SCRIPT_NAME);
    }
    return haveScript && checksumMatches(record);
}

InstallerKind openInstallerPackage(const char *path)
{
    FILE *stream = openStdioFile(path, "rb");
    if (!stream)
        return INSTALLER_BARE;      // nothing can be read from it: names fall through
    uint32_t imageLength = peImageLength(stream);
    bool bare = imageLength != 0 && fseek(stream, 0, SEEK_END) == 0 && ftell(stream) == (long)imageLength;
    fclose(stream);
    if (bare)
        return INSTALLER_BARE;
    int32_t before = openPackageCount;
    openPackage(path);
    if (openPackageCount == before)
        return INSTALLER_DAMAGED;
    if (isIntact(&openPackages[openPackageCount - 1], imageLength))
        return INSTALLER_INTACT;
    closePackage(path);
    return INSTALLER_DAMAGED;
}
