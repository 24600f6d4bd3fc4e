// quillpack build. First a plan: the stub checked, the texts read, the script
// linted as verify lints it, every COPY line resolved to an add-on file whose
// unpacked size matches the line. Only then is the installer written, to a
// temporary file beside the output that replaces the output at the very end,
// while workers on the other cores compress the add-on files ahead of it.
#include "tools/quillpack/quillpack.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "base/names.h"
#include "package/directory_writer.h"
#include "tools/quillpack/addon_script.h"
#include "tools/quillpack/folder.h"
#include "tools/quillpack/gzip_member.h"
#include "tools/quillpack/pe_image.h"
#include "tools/quillpack/script_lint.h"

static const char PARTIAL_SUFFIX[] = ".partial";

enum EntryKind {
    STORE_BYTES,       // bytes held in memory, stored as they are
    COMPRESS_FILE,     // an add-on file, stored as a gzip member
    RECOMPRESS_FILE,   // an add-on file that is a gzip member: its content is
                       // stored as a gzip member of our own
};

struct PlannedEntry {
    std::string name;      // the directory name
    EntryKind kind;
    Bytes bytes;           // STORE_BYTES: what is stored
    std::string source;    // the add-on file of the other kinds
    uint32_t unpacked;     // size of the installed file
};

// Reads the stub and checks that it is a bare installer image.
static bool readStub(const std::string &path, Bytes &image, std::string &error)
{
    if (!readWholeFile(path, image, error))
        return false;
    std::string problem = stubProblem(image);
    if (!problem.empty()) {
        error = path + ": " + problem;
        return false;
    }
    if (carriesPackage(path.c_str())) {
        error = path + ": already an installer with a package; give the bare quillfen.exe";
        return false;
    }
    return true;
}

// Finds the add-on's top-level file called name, in any ASCII case; what
// names it in a message when it is missing.
static bool findTopFile(FolderCache &cache, const std::string &dir, const char *name,
                        const char *what, std::string &path, std::string &error)
{
    int found = findIgnoringCase(cache, dir, {name}, path, error);
    if (found == 0)
        error = dir + ": no " + name + " (" + what + ")";
    return found == 1;
}

// The components of an entry name, split at each '\\'.
static std::vector<std::string> splitName(const std::string &name)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t end; (end = name.find('\\', start)) != std::string::npos; start = end + 1)
        parts.push_back(name.substr(start, end - start));
    parts.push_back(name.substr(start));
    return parts;
}

// Size of the file at path, in bytes.
static bool fileSize(const std::string &path, uint64_t *size, std::string &error)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        error = path + ": " + strerror(errno);
        return false;
    }
    *size = (uint64_t)info.st_size;
    return true;
}

// Finds the add-on file for the gzip entry called name: the member itself
// when the folder holds it, else the file it is made from (the name without
// ".gz"). Sets the entry's kind, source and unpacked size.
static bool findPayload(FolderCache &cache, const std::string &dir, const std::string &name,
                        PlannedEntry &entry, std::string &error)
{
    std::vector<std::string> member = splitName(name);
    std::vector<std::string> plain = member;
    plain.back().resize(plain.back().size() - 3);
    std::string memberPath, plainPath;
    int haveMember = findIgnoringCase(cache, dir, member, memberPath, error);
    int havePlain = plain.back().empty() ? 0 : findIgnoringCase(cache, dir, plain, plainPath, error);
    if (haveMember < 0 || havePlain < 0)
        return false;
    std::string shown = name.substr(0, name.size() - 3);
    if (haveMember && havePlain) {
        error = "both " + plainPath + " and " + memberPath + " are there; keep one";
        return false;
    }
    if (!haveMember && !havePlain) {
        error = "no file '" + shown + "' or '" + name + "' in " + dir;
        return false;
    }
    if (haveMember) {
        entry.kind = RECOMPRESS_FILE;
        entry.source = memberPath;
        return checkGzipMember(memberPath, &entry.unpacked, error);
    }
    uint64_t size;
    if (!fileSize(plainPath, &size, error))
        return false;
    entry.kind = COMPRESS_FILE;
    entry.source = plainPath;
    entry.unpacked = (uint32_t)size;
    if (size > 0xFFFFFFFFu) {
        error = plainPath + ": larger than 4294967295 bytes";
        return false;
    }
    return true;
}

// Adds the entry for one COPY line to the plan, once per entry name (the
// installer's lookup ignores ASCII case; byName is keyed by the lower-cased
// name), and checks that the line's size is the size of the file it installs.
static bool planCopyLine(FolderCache &cache, const std::string &dir, const ScriptCopy &line,
                         std::vector<PlannedEntry> &plan, std::map<std::string, size_t> &byName,
                         std::string &error)
{
    std::string name = lookupName(line.copy.entryName);
    auto known = byName.find(lowerAscii(name));
    if (known == byName.end()) {
        PlannedEntry added;
        added.name = name;
        if (!findPayload(cache, dir, name, added, error))
            return false;
        plan.push_back(added);
        known = byName.emplace(lowerAscii(name), plan.size() - 1).first;
    }
    const PlannedEntry &entry = plan[known->second];
    if (entry.unpacked != line.copy.size) {
        error = "size " + std::to_string(line.copy.size) + " on the line differs from " +
                std::to_string(entry.unpacked) + ", the unpacked size of " + entry.source;
        return false;
    }
    return true;
}

// A finding for the whole file from an error of the form "path: reason".
static Finding fileError(const std::string &error)
{
    size_t colon = error.find(": ");
    if (colon == std::string::npos)
        return {"quillpack", 0, false, error};
    return {error.substr(0, colon), 0, false, error.substr(colon + 2)};
}

// Plans every entry of the installer, checking all inputs: the stub, the
// script with verify's lint (as the installer will read its stored copy:
// stored with CR LF line ends and read in text mode, it gives the same
// lines as the file itself read in text mode), and every COPY line's file.
// findings gets every error and warning; false when one is an error.
static bool planInstaller(const BuildOptions &options, std::vector<PlannedEntry> &plan,
                          std::vector<Finding> &findings)
{
    std::string error;
    PlannedEntry stub = {UNINSTALLER_NAME, STORE_BYTES, {}, options.stubPath, 0};
    if (!readStub(options.stubPath, stub.bytes, error)) {
        findings.push_back(fileError(error));
        return false;
    }
    plan.push_back(stub);

    FolderCache cache;
    const std::string &dir = options.addonDir;
    std::string scriptPath, agreementPath;
    Bytes script, agreement;
    if (!findTopFile(cache, dir, SCRIPT_NAME, "the install script", scriptPath, error) ||
        !readWholeFile(scriptPath, script, error)) {
        findings.push_back(fileError(error));
        return false;
    }
    // The installer reads the script in Windows text mode and shows the
    // agreement in an edit control; both expect CR LF line ends.
    plan.push_back({SCRIPT_NAME, STORE_BYTES, withCrLf(script), scriptPath, 0});
    int haveAgreement = findIgnoringCase(cache, dir, {AGREEMENT_NAME}, agreementPath, error);
    if (haveAgreement < 0)
        findings.push_back(fileError(error));
    else if (haveAgreement == 0)
        findings.push_back({dir, 0, true, std::string("no ") + AGREEMENT_NAME +
                                              " (the agreement text): the installer shows none and goes straight on"});
    else if (!readWholeFile(agreementPath, agreement, error))
        findings.push_back(fileError(error));
    else
        plan.push_back({lowerAscii(AGREEMENT_NAME), STORE_BYTES, withCrLf(agreement), agreementPath, 0});

    ScriptLint lint;
    lintScript({scriptPath, false}, lint);
    std::map<std::string, size_t> byName;
    for (const ScriptCopy &line : lint.copies)
        if (!planCopyLine(cache, dir, line, plan, byName, error))
            lint.findings.push_back({scriptPath, line.line, false, error});
    std::stable_sort(lint.findings.begin(), lint.findings.end(),
                     [](const Finding &a, const Finding &b) { return a.line < b.line; });
    findings.insert(findings.end(), lint.findings.begin(), lint.findings.end());
    return !hasErrors(findings);
}

// The entries that are compressed in memory by the workers: add-on files of
// at most this size. Larger ones are compressed as they are written, so a
// large file is never held whole in memory.
static const uint64_t MEMORY_MEMBER = 8 << 20;
// The most bytes of add-on files the workers may have compressed or be
// compressing ahead of what is written.
static const uint64_t IN_FLIGHT = 64 << 20;

static bool isFileEntry(const PlannedEntry &entry)
{
    return entry.kind != STORE_BYTES;
}

// Compresses the add-on file of entry into one gzip member handed to sink,
// and checks that it still has the content the plan measured.
static bool compressEntry(const PlannedEntry &entry, const MemberSink &sink, std::string &error)
{
    PayloadReader reader;
    if (!openPayload(entry.source, entry.kind == RECOMPRESS_FILE, reader, error))
        return false;
    uint64_t length;
    bool ok = compressMember(reader, sink, &length, error);
    closePayload(reader);
    if (ok && length != entry.unpacked) {
        error = entry.source + ": changed while the installer was written";
        ok = false;
    }
    return ok;
}

// Workers that compress the plan's smaller add-on files into memory, taking
// them in plan order and staying at most IN_FLIGHT bytes ahead of the
// writer, which compresses the next ones itself while it waits for a
// member. Each member depends on its file alone, so the installer comes out
// the same whatever the number of workers.
class MemberWorkers {
public:
    MemberWorkers(const std::vector<PlannedEntry> &plan, unsigned count)
        : plan(plan), members(plan.size()), parallel(count > 0)
    {
        for (unsigned i = 0; i < count; i++)
            threads.emplace_back([this] { work(); });
    }

    ~MemberWorkers()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        for (std::thread &t : threads)
            t.join();
    }

    // True when entry i is one that workers compress into memory.
    bool takes(size_t i) const
    {
        return parallel && isFileEntry(plan[i]) && plan[i].unpacked <= MEMORY_MEMBER;
    }

    // Waits for the member of entry i and hands it to the writer; false with
    // error set when it could not be made.
    bool collect(size_t i, Bytes &member, std::string &error)
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (!members[i].done && compressNext(lock)) {
        }
        changed.wait(lock, [&] { return members[i].done; });
        Member &m = members[i];
        member.swap(m.bytes);
        error = m.error;
        inFlight -= plan[i].unpacked;
        changed.notify_all();
        return m.ok;
    }

private:
    struct Member {
        Bytes bytes;
        std::string error;
        bool done = false;
        bool ok = false;
    };

    // Takes the next entry that no one has taken and compresses it into
    // memory; false when there is none to take now. The lock is held on
    // entry and on return, not while compressing.
    bool compressNext(std::unique_lock<std::mutex> &lock)
    {
        while (next < plan.size() && !takes(next))
            next++;
        if (next == plan.size())
            return false;
        uint64_t size = plan[next].unpacked;
        if (inFlight > 0 && inFlight + size > IN_FLIGHT)
            return false;
        size_t i = next++;
        inFlight += size;
        lock.unlock();
        Member made;
        MemberSink toMemory = [&made](const unsigned char *data, size_t length, std::string &) {
            made.bytes.insert(made.bytes.end(), data, data + length);
            return true;
        };
        made.ok = compressEntry(plan[i], toMemory, made.error);
        made.done = true;
        lock.lock();
        members[i] = std::move(made);
        changed.notify_all();
        return true;
    }

    void work()
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (!stopping) {
            if (compressNext(lock))
                continue;
            if (next == plan.size())
                return;
            changed.wait(lock);     // the bytes in flight are at their bound
        }
    }

    const std::vector<PlannedEntry> &plan;
    std::vector<Member> members;         // by plan index
    const bool parallel;                 // there are workers
    std::vector<std::thread> threads;
    std::mutex mutex;                    // guards everything below and members
    std::condition_variable changed;     // a member is done or collected, or stopping
    size_t next = 0;                     // the next plan index a worker looks at
    uint64_t inFlight = 0;               // add-on bytes taken and not yet collected
    bool stopping = false;
};

// Writes the data of the file entry i: the worker's member, or a member
// compressed here straight into out.
static bool writeFileEntry(const std::vector<PlannedEntry> &plan, size_t i, MemberWorkers &workers,
                           PackageOutput &out, std::string &error)
{
    if (!workers.takes(i)) {
        MemberSink toOutput = [&out](const unsigned char *data, size_t length, std::string &failure) {
            return writeOutput(out, data, length, failure);
        };
        return compressEntry(plan[i], toOutput, error);
    }
    Bytes member;
    return workers.collect(i, member, error) && writeOutput(out, member.data(), member.size(), error);
}

// Writes every planned entry, the checksum entry and the directory to out,
// then the checksum itself: the CRC-32 of every other byte of the file, by
// which the installer tells a damaged copy from an intact one.
static bool writePackage(const std::vector<PlannedEntry> &plan, unsigned threads, PackageOutput &out,
                         std::string &error)
{
    MemberWorkers workers(plan, threads > 1 ? threads - 1 : 0);
    std::vector<DirectoryRecord> records;
    for (size_t i = 0; i < plan.size(); i++) {
        const PlannedEntry &entry = plan[i];
        uint64_t start = out.written;
        bool ok = isFileEntry(entry) ? writeFileEntry(plan, i, workers, out, error)
                                     : writeOutput(out, entry.bytes.data(), entry.bytes.size(), error);
        if (!ok)
            return false;
        records.push_back({entry.name, (uint32_t)start, (uint32_t)(out.written - start)});
    }
    uint32_t checksum;
    if (!reserveChecksum(out, &checksum, error))
        return false;
    records.push_back({CHECKSUM_NAME, checksum, 4});
    Bytes directory = packageDirectory(records, (uint32_t)out.written);
    return writeOutput(out, directory.data(), directory.size(), error) && fillChecksum(out, checksum, error);
}

bool buildInstaller(const BuildOptions &options, std::string &error, Totals *totals,
                    std::vector<Finding> *findings)
{
    std::vector<PlannedEntry> plan;
    std::vector<Finding> found;
    bool planned = planInstaller(options, plan, found);
    if (findings)
        findings->insert(findings->end(), found.begin(), found.end());
    for (const Finding &finding : found)
        if (!finding.warning) {
            error = formatFinding(finding);
            break;
        }
    if (!planned)
        return false;

    std::string partial = options.outputPath + PARTIAL_SUFFIX;
    PackageOutput out = {fopen(partial.c_str(), "wb"), options.outputPath, 0,
                         options.maxPackageBytes, 0};
    if (!out.stream) {
        error = partial + ": " + strerror(errno);
        return false;
    }
    unsigned threads = options.threads ? options.threads : std::thread::hardware_concurrency();
    bool ok = writePackage(plan, threads, out, error);
    if (fclose(out.stream) != 0 && ok) {
        error = partial + ": " + strerror(errno);
        ok = false;
    }
    if (ok)
        ok = replaceFile(partial, options.outputPath, error);
    if (!ok)
        remove(partial.c_str());
    if (ok && totals)
        *totals = {(uint32_t)plan.size() + 1, out.written};   // the checksum entry too
    return ok;
}
