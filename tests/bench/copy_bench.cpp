// The installer's copy path run natively, one job per process, for bench.py,
// which times the processes against tar and against each other:
//   copy_bench install SETUP DEST   the package check, the settings pass, then the copy pass into DEST
//   copy_bench bare SETUP DEST      the floor: a plain inflate loop over the same entries into the same files
//   copy_bench extract SETUP ENTRY OUT SIZE   extractEntry of one entry
//   copy_bench inflate SETUP ENTRY OUT        the plain loop over that entry
// The last two print the peak resident memory in KiB. The plain loop reads
// 16 KiB blocks with fread, inflates into a 16 KiB buffer (zlib checks the
// CRC-32 against the member's trailer) and writes with fwrite, like
// extraction. Exit status 0 when the job went through.
#include <stdio.h>
#include <stdlib.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "app/dialogs.h"
#include "base/names.h"
#include "base/text.h"
#include "package/extract.h"
#include "package/integrity.h"
#include "script/install_settings.h"

static const size_t BLOCK = 16384;
static z_stream stream;   // gzip-wrapped: zlib keeps and checks the CRC-32

[[noreturn]] static void fail(const char *what, const std::string &name)
{
    fprintf(stderr, "copy_bench: %s: %s\n", what, name.c_str());
    exit(2);
}

static int install(const char *setup, const char *dest)
{
    if (openInstallerPackage(setup) != INSTALLER_INTACT)
        fail("not an intact installer", setup);
    settings.scriptFile = pfOpen(SCRIPT_NAME, "rt");
    if (!settings.scriptFile)
        fail("no script in", setup);
    ReadSettings();
    formatText(settings.destinationDir, sizeof settings.destinationDir, "%s\\", dest);
    if (!CopyEntryToDestination(UNINSTALLER_NAME, settings.destinationDir) ||
        !CopyEntryToDestination(SCRIPT_NAME, settings.destinationDir) || !RunCopyLoop([](int32_t, void *) {}, 0))
        fail("the copy pass failed", setup);
    return 0;
}

// The plain loop: the gzip member of entry into the file at path.
static void inflateEntry(const PackageEntry *entry, const std::string &path)
{
    static unsigned char input[BLOCK], output[BLOCK];
    FILE *out = fopen(path.c_str(), "wb");
    if (!out || fseek(entry->stream, (long)entry->offset, SEEK_SET) != 0)
        fail("cannot open", path);
    stream.state ? inflateReset(&stream) : inflateInit2(&stream, 16 + MAX_WBITS);
    int status = Z_OK;
    for (size_t left = (size_t)entry->size; status == Z_OK;) {
        if (stream.avail_in == 0) {    // input that ends early stops inflate with Z_BUF_ERROR
            stream.next_in = input;
            stream.avail_in = (uInt)fread(input, 1, left < BLOCK ? left : BLOCK, entry->stream);
            left -= stream.avail_in;
        }
        stream.next_out = output;
        stream.avail_out = BLOCK;
        status = inflate(&stream, Z_NO_FLUSH);
        size_t produced = BLOCK - stream.avail_out;
        if (fwrite(output, 1, produced, out) != produced)
            fail("write failed", path);
    }
    if (status != Z_STREAM_END || fclose(out) != 0)
        fail("bad data or a failed write", path);
}

// Every ".gz" entry (not the image, the texts or the checksum) to DEST/NAME
// without ".gz" and with '\' as '/', making folders as they first appear.
static int bare(const char *dest)
{
    std::filesystem::path lastFolder;
    const PackageRecord &package = openPackages[0];
    for (const PackageEntry *entry = package.entries; entry < package.entries + package.entryCount; entry++) {
        std::string name = entry->name;
        if (name.size() < 4 || name.compare(name.size() - 3, 3, ".gz") != 0)
            continue;
        std::replace(name.begin(), name.end() - 3, '\\', '/');
        std::filesystem::path path = std::string(dest) + "/" + name.substr(0, name.size() - 3);
        if (path.parent_path() != lastFolder)
            std::filesystem::create_directories(lastFolder = path.parent_path());
        inflateEntry(entry, path);
    }
    return 0;
}

int main(int argc, char **argv)
{
    std::string job = argc > 1 ? argv[1] : "";
    if (argc != (job == "install" || job == "bare" ? 4 : job == "inflate" ? 5 : job == "extract" ? 6 : 0))
        fail("usage", "install|bare SETUP DEST | extract SETUP ENTRY OUT SIZE | inflate SETUP ENTRY OUT");
    if (job == "install")
        return install(argv[2], argv[3]);
    if (openPackage(argv[2]) <= 0)
        fail("cannot load", argv[2]);
    if (job == "bare")
        return bare(argv[3]);
    const PackageEntry *entry = findPackageEntry(argv[3]);
    if (!entry)
        fail("no entry", argv[3]);
    if (job == "extract")
        extractEntry(argv[3], argv[4], (uint32_t)strtoul(argv[5], 0, 10));
    else
        inflateEntry(entry, argv[4]);
    char line[256];
    long kib = -1;   // VmHWM: getrusage's maximum would include the image before exec
    for (FILE *status = fopen("/proc/self/status", "r"); status && fgets(line, sizeof line, status);)
        sscanf(line, "VmHWM: %ld kB", &kib);
    printf("%ld\n", kib);
    return 0;
}
