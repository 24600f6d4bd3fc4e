// quillpack list, verify and extract. Each loads the installer with the
// installer's own openPackage and reads entries through the package file
// layer: a PackageEntry is its own handle, so entries are read by their place
// in the directory, and the gzip reader is used exactly as extraction uses it.
#include "tools/quillpack/quillpack.h"

#include <errno.h>
#include <string.h>

#include <algorithm>

#include "base/names.h"
#include "base/text.h"
#include "package/gz_reader.h"
#include "package/integrity.h"
#include "package/package.h"
#include "tools/quillpack/addon_script.h"
#include "tools/quillpack/folder.h"

static const size_t BLOCK = 65536;

// Loads the installer at path into the package table. Returns its record,
// valid until the table changes, or null with error set.
static PackageRecord *loadInstaller(const std::string &path, std::string &error)
{
    FILE *probe = fopen(path.c_str(), "rb");
    if (!probe) {
        error = path + ": " + strerror(errno);
        return 0;
    }
    fclose(probe);
    int32_t before = openPackageCount;
    openPackage(path.c_str());
    if (openPackageCount > before && openPackages[openPackageCount - 1].entryCount > 0)
        return &openPackages[openPackageCount - 1];
    if (openPackageCount > before)
        closePackage(path.c_str());
    error = path + ": not an installer or damaged package";
    return 0;
}

// The package file layer's handle for entry: the record itself.
static PackageFile handleOf(PackageEntry &entry)
{
    return reinterpret_cast<PackageFile>(&entry);
}

// The entry that the installer's lookup finds for name, or null.
static PackageEntry *findEntry(const std::string &name)
{
    std::string normal = name;
    normalizeEntryName(&normal[0]);
    normal.resize(strlen(normal.c_str()));
    return findPackageEntry(normal.c_str());
}

// Reads up to length bytes of entry from offset at.
static size_t readAt(PackageEntry &entry, int32_t at, void *buffer, size_t length)
{
    pfSeek(handleOf(entry), at, 0);
    return pfRead(buffer, 1, length, handleOf(entry));
}

// True when entry is a gzip member: its name ends in ".gz" in any case and
// its data starts with the gzip magic. Sets *unpacked from the trailer.
static bool gzipTrailerLength(PackageEntry &entry, uint32_t *unpacked)
{
    size_t n = strlen(entry.name);
    unsigned char magic[2], trailer[4];
    if (n < 3 || !equalsIgnoreAsciiCase(entry.name + n - 3, ".gz") || entry.rawLength != 0 ||
        entry.size < 18 || readAt(entry, 0, magic, 2) != 2 || magic[0] != 0x1F ||
        magic[1] != 0x8B || readAt(entry, entry.size - 4, trailer, 4) != 4)
        return false;
    *unpacked = trailer[0] | (trailer[1] << 8) | (trailer[2] << 16) | ((uint32_t)trailer[3] << 24);
    return true;
}

bool listInstaller(const std::string &path, FILE *out, std::string &error)
{
    PackageRecord *record = loadInstaller(path, error);
    if (!record)
        return false;
    int width = 4;
    for (int32_t i = 0; i < record->entryCount; i++)
        width = std::max(width, (int)strlen(record->entries[i].name));
    fprintf(out, "%-*s %10s %10s %10s %10s\n", width, "name", "offset", "size", "raw", "unpacked");
    for (int32_t i = 0; i < record->entryCount; i++) {
        PackageEntry &e = record->entries[i];
        fprintf(out, "%-*s %10lu %10ld %10lu", width, e.name, (unsigned long)e.offset,
                (long)e.size, (unsigned long)e.rawLength);
        uint32_t unpacked;
        if (gzipTrailerLength(e, &unpacked))
            fprintf(out, " %10lu", (unsigned long)unpacked);
        fprintf(out, "\n");
    }
    closePackage(path.c_str());
    return true;
}

// The whole stored data of entry.
static Bytes entryBytes(PackageEntry &entry)
{
    Bytes data((size_t)entry.size);
    if (!data.empty())
        data.resize(readAt(entry, 0, data.data(), data.size()));
    return data;
}

// Reads the entry called name through the gzip reader to its end, as
// extraction does. Empty when it unpacks cleanly to size bytes, else why not.
// Adds the bytes read to *unpacked.
static std::string unpackProblem(const std::string &name, uint32_t size, uint64_t *unpacked)
{
    GzReader *reader = gzReaderOpen(name.c_str(), "rb");
    if (!reader)
        return name + ": cannot be opened";
    std::vector<unsigned char> buffer(GZ_BUFFER_SIZE);
    uint64_t total = 0;
    int32_t n;
    while ((n = gzReaderRead(reader, buffer.data(), (uint32_t)buffer.size())) > 0)
        total += (uint32_t)n;
    *unpacked += total;
    std::string problem;
    int code;
    if (n < 0)
        problem = gzReaderError(reader, &code);
    int32_t closed = gzReaderClose(reader);
    if (problem.empty() && closed != 0)
        problem = name + ": damaged gzip member (reader status " + std::to_string(closed) + ")";
    if (problem.empty() && total != size)
        problem = name + " unpacks to " + std::to_string(total) + " bytes, the line says " +
                  std::to_string(size);
    return problem;
}

// Checks every COPY line of the stored script against the package, reading
// the script through the installer's own lookup and text mode.
static void verifyCopyLines(PackageEntry &script, std::vector<std::string> &problems, Totals &totals)
{
    std::vector<ScriptCopy> lines;
    std::string error;
    std::string nul = nulByteProblem(entryBytes(script));
    if (!nul.empty())
        problems.push_back(std::string(SCRIPT_NAME) + ":" + nul);
    PackageFile file = pfOpen(SCRIPT_NAME, "rt");
    if (!file || !readCopyLines(file, SCRIPT_NAME, lines, error))
        problems.push_back(file ? error : std::string(SCRIPT_NAME) + ": cannot be read as text");
    pfClose(file);
    for (const ScriptCopy &line : lines) {
        std::string where = std::string(SCRIPT_NAME) + ":" + std::to_string(line.line) + ": ";
        std::string name = lookupName(line.copy.entryName);
        std::string problem = findEntry(name) ? unpackProblem(name, line.copy.size, &totals.bytes)
                                                      : "no entry " + name;
        totals.entries++;
        if (!problem.empty())
            problems.push_back(where + problem);
    }
}

bool verifyInstaller(const std::string &path, std::vector<std::string> &problems, Totals *totals)
{
    Totals counted;
    std::string error;
    if (!loadInstaller(path, error)) {
        problems.push_back(error);
        return false;
    }
    closePackage(path.c_str());
    // The installer's own verdict on its file comes first: what it takes
    // for damaged, it does not install at all.
    if (openInstallerPackage(path.c_str()) != INSTALLER_INTACT) {
        problems.push_back(path + ": damaged: the installer would refuse it (entry 0 is not the image " +
                           "itself, an entry has a raw length, the install script is missing or the " +
                           "checksum does not match)");
        return false;
    }
    size_t before = problems.size();
    verifyCopyLines(*findEntry(SCRIPT_NAME), problems, counted);
    closePackage(path.c_str());
    if (totals)
        *totals = counted;
    return problems.size() == before;
}

// Creates the folders of name below dir and returns the file's path.
static bool prepareOutput(const std::string &dir, const std::string &name, std::string &path,
                          std::string &error)
{
    path = dir;
    size_t start = 0;
    for (size_t end; (end = name.find_first_of("\\/", start)) != std::string::npos;
         start = end + 1) {
        if (end == start)
            continue;
        path += "/" + name.substr(start, end - start);
        if (!makeFolder(path, error))
            return false;
    }
    path += "/" + name.substr(start);
    return true;
}

// Writes the stored bytes of entry to path. An entry with a raw length is
// read whole, in one read, as the package layer requires.
static bool writeEntry(PackageEntry &entry, const std::string &path, std::string &error)
{
    FILE *out = fopen(path.c_str(), "wb");
    if (!out) {
        error = path + ": " + strerror(errno);
        return false;
    }
    size_t block = entry.rawLength != 0 ? (size_t)entry.size : BLOCK;
    std::vector<unsigned char> buffer(block ? block : 1);
    int32_t done = 0;
    error.clear();
    while (error.empty() && done < entry.size) {
        size_t n = readAt(entry, done, buffer.data(), buffer.size());
        if (n == 0)
            error = path + ": cannot read the entry from the installer";
        else if (fwrite(buffer.data(), 1, n, out) != n)
            error = path + ": " + strerror(errno);
        done += (int32_t)n;
    }
    if (fclose(out) != 0 && error.empty())
        error = path + ": " + strerror(errno);
    return error.empty();
}

bool extractInstaller(const std::string &path, const std::string &dir,
                      std::vector<std::string> &problems, Totals *totals)
{
    Totals written;
    std::string error;
    PackageRecord *record = loadInstaller(path, error);
    if (!record || !makeFolder(dir, error)) {
        problems.push_back(error);
        if (record)
            closePackage(path.c_str());
        return false;
    }
    size_t before = problems.size();
    for (int32_t i = 0; i < record->entryCount; i++) {
        PackageEntry &entry = record->entries[i];
        std::string problem = pathProblemText(relativePathProblem(entry.name));
        std::string output;
        if (!problem.empty())
            problems.push_back(std::string("entry '") + entry.name + "' " + problem + "; not extracted");
        else if (!prepareOutput(dir, entry.name, output, error) || !writeEntry(entry, output, error))
            problems.push_back(error);
        else
            written = {written.entries + 1, written.bytes + (uint32_t)entry.size};
    }
    closePackage(path.c_str());
    if (totals)
        *totals = written;
    return problems.size() == before;
}
