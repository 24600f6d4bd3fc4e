// PE images for the tests: the smallest image the installer and quillpack
// take for the installer stub, and images with other resources for the stub
// check's refusals.
#pragma once

#include <stdint.h>

#include <vector>

#include "support/package_builder.h"

struct Resource {
    uint16_t type, id;
    Bytes data;
};

// A PE32 image for i386 with one section, .rsrc at RVA 0x1000 and file
// offset 0x200, holding resources (language 0x40E), the section's data
// running to the end of the file.
Bytes peWithResources(const std::vector<Resource> &resources);

// A version block with one string table (040E04B0): the installer's
// CompanyName and InternalName, and ProductName productName unless null.
Bytes versionBlock(const char *productName);

// What the stub check asks for: the version block and dialogs 101 and 102.
Bytes stubImage();
