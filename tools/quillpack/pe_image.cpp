// Recognising the installer stub.
#include "tools/quillpack/pe_image.h"

#include <stdint.h>
#include <stdio.h>

#include "base/text.h"
#include "package/package.h"

static const uint32_t HEADER_OFFSET_AT = 0x3C;  // e_lfanew in the MZ header
static const uint32_t FILE_HEADER_SIZE = 20;    // IMAGE_FILE_HEADER after "PE\0\0"
static const uint16_t MACHINE_I386 = 0x14C;

// The little-endian 32-bit word at offset at of data.
static uint32_t wordAt(const Bytes &data, size_t at)
{
    return data[at] | (data[at + 1] << 8) | (data[at + 2] << 16) | ((uint32_t)data[at + 3] << 24);
}

std::string peImageProblem(const Bytes &image)
{
    if (image.size() < HEADER_OFFSET_AT + 4 || image[0] != 'M' || image[1] != 'Z')
        return "not a Windows program (no MZ header)";
    uint32_t header = wordAt(image, HEADER_OFFSET_AT);
    if (header < HEADER_OFFSET_AT + 4 || header > image.size() - 4 - FILE_HEADER_SIZE)
        return "not a Windows program (PE header offset out of range)";
    if (image[header] != 'P' || image[header + 1] != 'E' || image[header + 2] != 0 ||
        image[header + 3] != 0)
        return "not a Windows program (no PE signature)";
    uint16_t machine = (uint16_t)(image[header + 4] | (image[header + 5] << 8));
    if (machine != MACHINE_I386) {
        char text[64];
        snprintf(text, sizeof text, "not a 32-bit x86 Windows program (machine 0x%X)", machine);
        return text;
    }
    return "";
}

bool carriesPackage(const char *path)
{
    int32_t before = openPackageCount;
    openPackage(path);
    if (openPackageCount == before)
        return false;
    const PackageRecord &record = openPackages[openPackageCount - 1];
    bool installer = record.entryCount > 0 &&
                     equalsIgnoreAsciiCase(record.entries[0].name, "quillfen.exe");
    closePackage(path);
    return installer;
}
