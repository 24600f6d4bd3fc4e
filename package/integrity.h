// Telling an intact installer from a damaged one. The installer's own file
// is either a bare image (the installed uninstaller copy: nothing follows
// the PE image, and names fall through to the files beside it) or an image
// with a package appended; appended bytes that do not load as an intact
// package make a damaged installer, which must install nothing at all.
// Start-up asks this before it reads anything; quillpack verify asks the
// same of the installers it checks.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "package/package.h"

// The length of the PE image at the start of stream: the end of its last
// section's data, or of its certificate table when that lies further. 0 when
// the stream does not start with a PE image whose headers fit.
uint32_t peImageLength(FILE *stream);

// True when record's checksum entry (CHECKSUM_NAME, 4 bytes: the CRC-32 of
// every byte of the file but its own) matches the file, or when it has none,
// as installers written before it was introduced do not.
bool checksumMatches(const PackageRecord *record);

enum InstallerKind {
    INSTALLER_BARE,      // the image alone: nothing appended
    INSTALLER_INTACT,    // a package that loads and checks out; left open
    INSTALLER_DAMAGED,   // appended bytes that are not an intact package; nothing open
};

// Opens the package of the installer at path (its own executable) and says
// which it is. Intact means: the directory loads, entry 0 is the image
// itself (UNINSTALLER_NAME, offset 0, the image's length), no entry has a
// raw length, the install script is there and the checksum matches.
InstallerKind openInstallerPackage(const char *path);
