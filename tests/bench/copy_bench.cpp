// The installer's copy path run natively, one job per process, for the
// benchmark driver (bench.py), which times the processes and compares them
// with tar and with each other:
//
//   copy_bench install SETUP DEST   what the installer does with SETUP: the
//                                   package check, the settings pass, then
//                                   the destination dialog's OK into DEST
//   copy_bench bare SETUP DEST      the floor: one plain inflate loop over the
//                                   same entries into the same files
//   copy_bench extract SETUP ENTRY OUT SIZE   extractEntry of one entry
//   copy_bench inflate SETUP ENTRY OUT        the plain loop over that entry
//
// The last two print the process's peak resident memory in KiB. The plain
// loop reads 16 KiB blocks with fread, inflates into a 16 KiB buffer, checks
// the CRC-32 of the output against the member's trailer, and writes with
// fwrite, like extraction. Exit status 0 when the job went through.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <filesystem>
#include <string>

#include "app/dialogs.h"
#include "base/bytes.h"
#include "base/names.h"
#include "base/text.h"
#include "package/extract.h"
#include "package/integrity.h"
#include "script/install_settings.h"

static const size_t BLOCK = 16384;

[[noreturn]] static void fail(const char *what, const std::string &name)
{
    fprintf(stderr, "copy_bench: %s: %s\n", what, name.c_str());
    exit(2);
}

static void ignorePosition(int32_t, void *) {}

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
        !CopyEntryToDestination(SCRIPT_NAME, settings.destinationDir) || !RunCopyLoop(ignorePosition, 0))
        fail("the copy pass failed", setup);
    return 0;
}

// Inflates the member of entry from in into the file at path.
static void inflateEntry(FILE *in, z_stream *s, const PackageEntry *entry, const std::string &path)
{
    static unsigned char input[BLOCK], output[BLOCK];
    FILE *out = fopen(path.c_str(), "wb");
    if (!out || fseek(in, (long)entry->offset, SEEK_SET) != 0)
        fail("cannot open", path);
    inflateReset(s);
    size_t left = (size_t)entry->size, skip = 10;       // the packer's fixed header
    uint32_t crc = (uint32_t)crc32(0, Z_NULL, 0);
    int status = Z_OK;
    while (status == Z_OK) {
        if (s->avail_in == 0) {
            size_t n = fread(input, 1, left < BLOCK ? left : BLOCK, in);
            if (n == 0)
                fail("input ended early", path);
            left -= n;
            s->next_in = input + skip;
            s->avail_in = (uInt)(n - skip);
            skip = 0;
        }
        s->next_out = output;
        s->avail_out = BLOCK;
        status = inflate(s, Z_NO_FLUSH);
        size_t produced = BLOCK - s->avail_out;
        crc = (uint32_t)crc32(crc, output, (uInt)produced);
        if (fwrite(output, 1, produced, out) != produced)
            fail("write failed", path);
    }
    unsigned char trailer[4] = {};
    size_t have = s->avail_in < 4 ? s->avail_in : 4;
    memcpy(trailer, s->next_in, have);
    if (have < 4 && fread(trailer + have, 1, 4 - have, in) != 4 - have)
        fail("no trailer", path);
    s->avail_in = 0;
    if (status != Z_STREAM_END || crc != littleEndian32(trailer))
        fail("bad data", path);
    if (fclose(out) != 0)
        fail("close failed", path);
}

// Every entry but the image, the texts and the checksum, to DEST/NAME with
// ".gz" removed and '\' as '/', making folders as they first appear.
static int bare(const char *setup, const char *dest)
{
    FILE *in = fopen(setup, "rb");
    if (!in || openPackage(setup) <= 0)
        fail("cannot load", setup);
    z_stream s = {};
    inflateInit2(&s, -MAX_WBITS);
    std::string lastFolder;
    const PackageRecord &package = openPackages[0];
    for (int32_t i = 0; i < package.entryCount; i++) {
        const PackageEntry *entry = &package.entries[i];
        std::string name = entry->name;
        if (name.size() < 4 || name.compare(name.size() - 3, 3, ".gz") != 0)
            continue;
        name.resize(name.size() - 3);
        for (char &c : name)
            c = c == '\\' ? '/' : c;
        std::string path = std::string(dest) + "/" + name;
        std::string folder = path.substr(0, path.rfind('/'));
        if (folder != lastFolder)
            std::filesystem::create_directories(lastFolder = folder);
        inflateEntry(in, &s, entry, path);
    }
    inflateEnd(&s);
    fclose(in);
    return 0;
}

static const PackageEntry *loadEntry(const char *setup, const char *name)
{
    if (openPackage(setup) <= 0)
        fail("cannot load", setup);
    const PackageEntry *entry = findPackageEntry(name);
    if (!entry)
        fail("no entry", name);
    return entry;
}

static int printPeakMemory()
{
    char line[256];
    long kib = -1;
    for (FILE *status = fopen("/proc/self/status", "r"); status && fgets(line, sizeof line, status);)
        sscanf(line, "VmHWM: %ld kB", &kib);
    printf("%ld\n", kib);
    return 0;
}

int main(int argc, char **argv)
{
    std::string job = argc > 1 ? argv[1] : "";
    if (job == "install" && argc == 4)
        return install(argv[2], argv[3]);
    if (job == "bare" && argc == 4)
        return bare(argv[2], argv[3]);
    if (job == "extract" && argc == 6) {
        loadEntry(argv[2], argv[3]);
        extractEntry(argv[3], argv[4], (uint32_t)strtoul(argv[5], 0, 10));
        return printPeakMemory();
    }
    if (job == "inflate" && argc == 5) {
        const PackageEntry *entry = loadEntry(argv[2], argv[3]);
        z_stream s = {};
        inflateInit2(&s, -MAX_WBITS);
        inflateEntry(entry->stream, &s, entry, argv[4]);
        return printPeakMemory();
    }
    fprintf(stderr, "usage: copy_bench install|bare SETUP DEST | extract SETUP ENTRY OUT SIZE | inflate SETUP ENTRY OUT\n");
    return 2;
}
