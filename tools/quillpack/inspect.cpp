// quillpack list, verify and extract. Each loads the installer with the
// installer's own openPackage and reads entries through the package file
// layer: a PackageEntry is its own handle, so entries are read by their place
// in the directory, and the gzip reader is used exactly as extraction uses it.
// verify reads the script with script_lint.h.
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
#include "tools/quillpack/script_lint.h"

static const size_t BLOCK = 65536;

// Loads the installer at path into the package table. Returns its record,
// valid until the table changes, or null with error set to why not.
static PackageRecord *loadInstaller(const std::string &path, std::string &error)
{
    FILE *probe = fopen(path.c_str(), "rb");
    if (!probe) {
        error = strerror(errno);
        return 0;
    }
    fclose(probe);
    int32_t before = openPackageCount;
    openPackage(path.c_str());
    if (openPackageCount > before && openPackages[openPackageCount - 1].entryCount > 0)
        return &openPackages[openPackageCount - 1];
    if (openPackageCount > before)
        closePackage(path.c_str());
    error = "not an installer or damaged package";
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
    if (!record) {
        error = path + ": " + error;
        return false;
    }
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

// Checks every COPY line of the stored script against the package: its
// entry is there and unpacks, CRC-32 and all, to the line's size.
static void verifyEntries(ScriptLint &lint, Totals &totals)
{
    for (const ScriptCopy &line : lint.copies) {
        std::string name = lookupName(line.copy.entryName);
        std::string problem = findEntry(name) ? unpackProblem(name, line.copy.size, &totals.bytes)
                                              : "no entry " + name;
        totals.entries++;
        if (!problem.empty())
            lint.findings.push_back({SCRIPT_NAME, line.line, false, problem});
    }
}

// Verifies the installer at path, which is open, into lint.
static void verifyOpenInstaller(const std::string &path, ScriptLint &lint, Totals &totals)
{
    lintScript({SCRIPT_NAME, true}, lint);
    verifyEntries(lint, totals);
    if (!findEntry(AGREEMENT_NAME))
        lint.findings.push_back({path, 0, true, std::string("no agreement text (") + AGREEMENT_NAME +
                                                    "): the installer shows none and goes straight on"});
    std::stable_sort(lint.findings.begin(), lint.findings.end(),
                     [](const Finding &a, const Finding &b) { return a.line < b.line; });
}

// Opens the installer at path as the installer opens its own file; false
// with a finding when it would refuse it.
static bool openInstaller(const std::string &path, std::vector<Finding> &findings)
{
    std::string error;
    if (!loadInstaller(path, error)) {
        findings.push_back({path, 0, false, error});
        return false;
    }
    closePackage(path.c_str());
    // The installer's own verdict on its file comes first: what it takes
    // for damaged, it does not install at all.
    if (openInstallerPackage(path.c_str()) != INSTALLER_INTACT) {
        findings.push_back({path, 0, false, "damaged: the installer would refuse it (entry 0 is not the "
                            "image itself, an entry has a raw length, the install script is missing or the "
                            "checksum does not match)"});
        return false;
    }
    return true;
}

bool verifyInstaller(const std::string &path, std::vector<Finding> &findings, Totals *totals)
{
    if (!openInstaller(path, findings))
        return false;
    ScriptLint lint;
    Totals counted;
    verifyOpenInstaller(path, lint, counted);
    closePackage(path.c_str());
    findings.insert(findings.end(), lint.findings.begin(), lint.findings.end());
    if (totals)
        *totals = counted;
    return !hasErrors(lint.findings);
}

// Creates the folders of name below dir and returns the file's path. A
// folder or file of the way that is a symbolic link already in dir is
// refused: nothing is written through one.
static bool prepareOutput(const std::string &dir, const std::string &name, std::string &path,
                          std::string &error)
{
    path = dir;
    size_t start = 0;
    for (size_t end = 0; end != std::string::npos; start = end + 1) {
        end = name.find_first_of("\\/", start);
        if (end == start)
            continue;
        path += "/" + diskName(name.substr(start, end == std::string::npos ? end : end - start));
        if (isLink(path)) {
            error = std::string("entry '") + name + "': " + path + " is a symbolic link; not written through";
            return false;
        }
        if (end != std::string::npos && !makeFolder(path, error))
            return false;
    }
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
    if (!record)
        error = path + ": " + error;
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
