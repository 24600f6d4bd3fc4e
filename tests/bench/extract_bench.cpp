// Extraction benchmark: extractEntry against a bare zlib inflate loop of the
// same shape (16 KiB input blocks by fread, raw inflate into a 16 KiB buffer,
// CRC-32 over the output, fwrite), both reading the same gzip entries of one
// installer file and writing to tmpfs, interleaved in one run. It prints the
// median times, their ratio (the budget is 1.05 at most) and the output rate
// per kind of data, then the peak memory of one extraction of a small and of
// a large entry, each in a fresh process. It asserts nothing about time.
//
//   extract_bench            about 256 MiB of output per round, 15 rounds
//   extract_bench --quick    an eighth of that, 5 rounds
//
// The installer and the outputs go to a fresh folder in $QUILLFEN_BENCH_DIR
// (default /dev/shm), removed at the end.
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "package/extract.h"
#include "package/package.h"

namespace {

const size_t MiB = 1 << 20;
const size_t BLOCK = 16384;            // the reader's input block and extraction's output block
const char PROBE_OPTION[] = "--probe-memory";

// ---- Data made at run time, with a fixed seed ----

struct Random {
    uint64_t state;
    uint64_t next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t below(uint32_t n) { return (uint32_t)(next() % n); }
};

enum Kind { TEXT, BINARY, NOISE };
const char *const KIND_NAMES[] = {"text", "binary", "random"};

// Produces the content of one entry in pieces: text lines of words with a
// skewed choice from a fixed vocabulary, records of a binary table with
// repeated fields and now and then a repeated record, or random bytes.
class Generator {
public:
    Generator(Kind kind, uint64_t seed) : kind(kind), random{seed}
    {
        Random words{seed ^ 0x5EED};
        for (int i = 0; i < 4000; i++) {
            std::string word;
            for (uint32_t n = 2 + words.below(9); n > 0; n--)
                word.push_back((char)('a' + words.below(26)));
            vocabulary.push_back(word);
        }
        for (int i = 0; i < 64; i++)
            names.push_back("object_" + vocabulary[(size_t)i * 37]);
    }

    void fill(unsigned char *out, size_t length)
    {
        while (pending.size() < length)
            produce();
        memcpy(out, pending.data(), length);
        pending.erase(0, length);
    }

private:
    void produce()
    {
        if (kind == TEXT)
            produceLine();
        else if (kind == BINARY)
            produceRecord();
        else
            for (int i = 0; i < 4096; i++) {
                uint64_t v = random.next();
                pending.append((const char *)&v, sizeof v);
            }
    }

    void produceLine()
    {
        uint32_t words = 4 + random.below(13);
        for (uint32_t i = 0; i < words; i++) {
            uint32_t a = random.below(4000), b = random.below(4000);
            pending += vocabulary[(size_t)a * b / 4000];   // small indices are common
            pending += i + 1 == words ? ".\r\n" : (random.below(12) == 0 ? ", " : " ");
        }
    }

    void produceRecord()
    {
        if (!lastRecord.empty() && random.below(8) == 0) {
            pending += lastRecord;
            return;
        }
        unsigned char record[48] = {};
        uint32_t fields[6] = {recordId++, random.below(8), random.below(4) << 8,
                              (uint32_t)(x += (int32_t)random.below(201) - 100),
                              (uint32_t)(y += (int32_t)random.below(201) - 100), random.below(1000)};
        memcpy(record, fields, sizeof fields);
        const std::string &name = names[random.below(64)];
        memcpy(record + 24, name.data(), std::min<size_t>(name.size(), 24));
        lastRecord.assign((const char *)record, sizeof record);
        pending += lastRecord;
    }

    Kind kind;
    Random random;
    std::vector<std::string> vocabulary;
    std::vector<std::string> names;
    std::string pending;      // produced, not yet handed out
    std::string lastRecord;
    uint32_t recordId = 0;
    int32_t x = 0, y = 0;
};

// ---- The installer file ----

struct Entry {
    std::string name;        // package entry name
    Kind kind;
    size_t length;           // decompressed bytes
    uint32_t offset = 0;     // in the installer file
    uint32_t size = 0;       // the stored gzip member
    uint32_t crc = 0;        // CRC-32 of the content
};

void putWord(FILE *file, uint32_t value)
{
    unsigned char b[4] = {(unsigned char)value, (unsigned char)(value >> 8), (unsigned char)(value >> 16),
                          (unsigned char)(value >> 24)};
    fwrite(b, 1, 4, file);
}

[[noreturn]] void fail(const char *what)
{
    fprintf(stderr, "extract_bench: %s\n", what);
    exit(2);
}

// Writes one gzip member with the packer's header, deflating the content as
// it is generated, so that no entry is ever held whole in memory.
void writeMember(FILE *file, Entry &entry, int level, uint64_t seed)
{
    static const unsigned char header[10] = {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 0, 0x0B};
    entry.offset = (uint32_t)ftell(file);
    fwrite(header, 1, sizeof header, file);
    Generator generator(entry.kind, seed);
    z_stream s = {};
    if (deflateInit2(&s, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        fail("deflateInit2 failed");
    std::vector<unsigned char> in(MiB), out(MiB);
    uint32_t crc = (uint32_t)crc32(0, Z_NULL, 0);
    size_t left = entry.length;
    int flush;
    do {
        size_t n = std::min(left, in.size());
        generator.fill(in.data(), n);
        crc = (uint32_t)crc32(crc, in.data(), (uInt)n);
        left -= n;
        flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        s.next_in = in.data();
        s.avail_in = (uInt)n;
        do {
            s.next_out = out.data();
            s.avail_out = (uInt)out.size();
            deflate(&s, flush);
            fwrite(out.data(), 1, out.size() - s.avail_out, file);
        } while (s.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&s);
    putWord(file, crc);
    putWord(file, (uint32_t)entry.length);
    entry.crc = crc;
    entry.size = (uint32_t)ftell(file) - entry.offset;
}

// A small stand-in image as entry 0, the entries, then the directory.
void writeInstaller(const std::string &path, std::vector<Entry> &entries, const std::vector<int> &levels)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        fail("cannot create the installer file");
    std::string image = "MZ";
    image.resize(4096, '\0');
    fwrite(image.data(), 1, image.size(), file);
    for (size_t i = 0; i < entries.size(); i++)
        writeMember(file, entries[i], levels[i], 1000 + i);
    if (ftell(file) > 0x7FFF0000)
        fail("the installer would pass 2 GiB");
    uint32_t directory = (uint32_t)ftell(file);
    putWord(file, (uint32_t)entries.size() + 1);
    auto record = [file](uint32_t offset, uint32_t size, const std::string &name) {
        putWord(file, offset);
        putWord(file, size);
        putWord(file, 0);
        putWord(file, (uint32_t)name.size() + 1);
        fwrite(name.c_str(), 1, name.size() + 1, file);
    };
    record(0, (uint32_t)image.size(), "quillfen.exe");
    for (const Entry &e : entries)
        record(e.offset, e.size, e.name);
    putWord(file, directory);
    if (fclose(file) != 0)
        fail("cannot write the installer file");
}

// ---- The two ways of extracting ----

// The reference: what extraction does, with nothing around zlib.
void bareInflate(const char *installer, const Entry &entry, const char *outputPath)
{
    FILE *in = fopen(installer, "rb");
    FILE *out = fopen(outputPath, "wb");
    if (!in || !out || fseek(in, (long)entry.offset, SEEK_SET) != 0)
        fail("baseline: cannot open its files");
    static unsigned char input[BLOCK], output[BLOCK];
    z_stream s = {};
    inflateInit2(&s, -MAX_WBITS);
    size_t left = entry.size;
    size_t skip = 10;                   // the packer's fixed header
    uint32_t crc = (uint32_t)crc32(0, Z_NULL, 0);
    int status = Z_OK;
    while (status == Z_OK) {
        if (s.avail_in == 0) {
            size_t n = fread(input, 1, std::min(left, BLOCK), in);
            if (n == 0)
                fail("baseline: input ended early");
            left -= n;
            s.next_in = input + skip;
            s.avail_in = (uInt)(n - skip);
            skip = 0;
        }
        s.next_out = output;
        s.avail_out = BLOCK;
        status = inflate(&s, Z_NO_FLUSH);
        size_t produced = BLOCK - s.avail_out;
        crc = (uint32_t)crc32(crc, output, (uInt)produced);
        if (fwrite(output, 1, produced, out) != produced)
            fail("baseline: write failed");
    }
    if (status != Z_STREAM_END || crc != entry.crc)
        fail("baseline: bad data");
    inflateEnd(&s);
    fclose(in);
    if (fclose(out) != 0)
        fail("baseline: close failed");
}

double now()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// Seconds for one extraction into a file that does not exist yet.
double timeExtraction(bool viaExtractEntry, const std::string &installer, const Entry &entry,
                      const std::string &output)
{
    unlink(output.c_str());
    double start = now();
    if (viaExtractEntry)
        extractEntry(entry.name.c_str(), output.c_str(), (uint32_t)entry.length);
    else
        bareInflate(installer.c_str(), entry, output.c_str());
    return now() - start;
}

// Checks that an output holds exactly the entry's content.
void verifyOutput(const std::string &output, const Entry &entry)
{
    FILE *file = fopen(output.c_str(), "rb");
    if (!file)
        fail("an output is missing");
    std::vector<unsigned char> buffer(MiB);
    uint32_t crc = (uint32_t)crc32(0, Z_NULL, 0);
    size_t total = 0, n;
    while ((n = fread(buffer.data(), 1, buffer.size(), file)) > 0) {
        crc = (uint32_t)crc32(crc, buffer.data(), (uInt)n);
        total += n;
    }
    fclose(file);
    if (total != entry.length || crc != entry.crc)
        fail("an output differs from its entry's content");
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// ---- Peak memory, measured in a fresh process ----

// The process's peak resident set in KiB.
long peakResidentKiB()
{
    FILE *status = fopen("/proc/self/status", "r");
    char line[256];
    long kib = -1;
    while (status && fgets(line, sizeof line, status))
        if (sscanf(line, "VmHWM: %ld kB", &kib) == 1)
            break;
    if (status)
        fclose(status);
    if (kib < 0) {
        rusage usage;
        getrusage(RUSAGE_SELF, &usage);
        kib = usage.ru_maxrss;
    }
    return kib;
}

// The child's side: load the package, then report the peak before and after
// one extraction of the entry.
int probeMemory(char **argv)
{
    const char *mode = argv[0], *installer = argv[1], *name = argv[2], *output = argv[3];
    if (openPackage(installer) <= 0)
        fail("probe: cannot load the installer");
    PackageFile file = pfOpen(name, "rb");
    if (!file || isOrdinaryStream(file))
        fail("probe: entry not in the package");
    const PackageEntry *found = reinterpret_cast<const PackageEntry *>(file);
    Entry entry;
    entry.name = name;
    entry.offset = found->offset;
    entry.size = (uint32_t)found->size;
    entry.crc = (uint32_t)strtoul(argv[4], 0, 10);
    long before = peakResidentKiB();
    if (strcmp(mode, "extract") == 0)
        extractEntry(name, output, (uint32_t)strtoul(argv[5], 0, 10));
    else
        bareInflate(installer, entry, output);
    printf("%ld %ld\n", before, peakResidentKiB());
    return 0;
}

// Runs this program again as a probe; returns the peak growth in KiB.
long probeOnce(const char *mode, const std::string &installer, const Entry &entry, const std::string &output)
{
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        fail("cannot find this program");
    self[n] = '\0';
    std::string crc = std::to_string(entry.crc), length = std::to_string(entry.length);
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        fail("pipe failed");
    unlink(output.c_str());
    pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], 1);
        close(pipeEnds[0]);
        execl(self, self, PROBE_OPTION, mode, installer.c_str(), entry.name.c_str(), output.c_str(), crc.c_str(),
              length.c_str(), (char *)0);
        _exit(127);
    }
    close(pipeEnds[1]);
    char text[128] = {};
    ssize_t got = read(pipeEnds[0], text, sizeof text - 1);
    close(pipeEnds[0]);
    int status;
    waitpid(child, &status, 0);
    long before, after;
    if (got <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || sscanf(text, "%ld %ld", &before, &after) != 2)
        fail("a memory probe failed");
    verifyOutput(output, entry);
    return after - before;
}

// The median of three probes: the kernel updates its resident-set counters in
// batches, so a single reading may be off by some pages.
long measureInChild(const char *mode, const std::string &installer, const Entry &entry, const std::string &output)
{
    std::vector<double> growth;
    for (int i = 0; i < 3; i++)
        growth.push_back((double)probeOnce(mode, installer, entry, output));
    return (long)median(growth);
}

// ---- The run ----

std::string benchFolder;

void removeBenchFolder()
{
    if (benchFolder.empty())
        return;
    if (DIR *dir = opendir(benchFolder.c_str())) {
        while (dirent *item = readdir(dir))
            if (strcmp(item->d_name, ".") != 0 && strcmp(item->d_name, "..") != 0)
                unlink((benchFolder + "/" + item->d_name).c_str());
        closedir(dir);
    }
    rmdir(benchFolder.c_str());
    benchFolder.clear();
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 7 && strcmp(argv[1], PROBE_OPTION) == 0)
        return probeMemory(argv + 2);
    bool quick = argc == 2 && strcmp(argv[1], "--quick") == 0;
    if (argc > 1 && !quick) {
        fprintf(stderr, "usage: extract_bench [--quick]\n");
        return 2;
    }
    const size_t scale = quick ? 8 : 1;
    const int rounds = quick ? 5 : 15;

    const char *base = getenv("QUILLFEN_BENCH_DIR");
    std::string pattern = std::string(base && *base ? base : "/dev/shm") + "/quillfen-bench-XXXXXX";
    if (!mkdtemp(&pattern[0]))
        fail("cannot make the bench folder");
    benchFolder = pattern;
    atexit(removeBenchFolder);     // extraction failures end the process with exit
    const std::string installer = benchFolder + "/installer.exe";
    const std::string outputA = benchFolder + "/out-extract", outputB = benchFolder + "/out-baseline";

    // Three timed kinds, then the small and large entry of the memory probe.
    std::vector<Entry> entries = {
        {"bench\\text.gz", TEXT, 96 * MiB / scale},
        {"bench\\binary.gz", BINARY, 96 * MiB / scale},
        {"bench\\random.gz", NOISE, 64 * MiB / scale},
        {"bench\\small.gz", BINARY, 8 * MiB},
        {"bench\\large.gz", BINARY, 256 * MiB},
    };
    std::vector<int> levels = {6, 6, 6, 1, 1};
    printf("extract_bench%s: zlib %s, %d rounds, output to %s\n", quick ? " --quick" : "", zlibVersion(), rounds,
           benchFolder.c_str());
    double start = now();
    writeInstaller(installer, entries, levels);
    printf("installer made in %.1f s\n", now() - start);
    if (openPackage(installer.c_str()) <= 0)
        fail("cannot load the installer");
    for (const Entry &e : entries) {
        PackageFile file = pfOpen(e.name.c_str(), "rb");
        if (!file || isOrdinaryStream(file))
            fail("an entry is not found in the package");
    }

    // Warm-up, checked: both ways must give every entry's content.
    for (int k = 0; k < 3; k++) {
        timeExtraction(true, installer, entries[k], outputA);
        verifyOutput(outputA, entries[k]);
        timeExtraction(false, installer, entries[k], outputB);
        verifyOutput(outputB, entries[k]);
    }

    std::vector<double> timesA[3], timesB[3];
    for (int round = 0; round < rounds; round++)
        for (int k = 0; k < 3; k++) {
            timesA[k].push_back(timeExtraction(true, installer, entries[k], outputA));
            timesB[k].push_back(timeExtraction(false, installer, entries[k], outputB));
        }
    unlink(outputA.c_str());
    unlink(outputB.c_str());

    printf("\nextraction time, median of %d interleaved rounds (A = extractEntry, B = bare zlib loop)\n", rounds);
    printf("%-8s %10s %10s %10s %8s %10s %10s %10s %10s\n", "kind", "output MB", "stored MB", "A ms", "B ms",
           "A/B", "A MB/s", "B MB/s", "A/B range");
    double totalA = 0, totalB = 0, totalMB = 0, totalStored = 0;
    for (int k = 0; k < 3; k++) {
        const Entry &e = entries[k];
        double mb = e.length / 1e6, stored = e.size / 1e6;
        double a = median(timesA[k]), b = median(timesB[k]);
        std::vector<double> ratios;
        for (int r = 0; r < rounds; r++)
            ratios.push_back(timesA[k][r] / timesB[k][r]);
        printf("%-8s %10.1f %10.1f %10.1f %8.1f %10.3f %10.0f %10.0f %4.2f-%4.2f\n", KIND_NAMES[e.kind], mb, stored,
               a * 1e3, b * 1e3, a / b, mb / a, mb / b, *std::min_element(ratios.begin(), ratios.end()),
               *std::max_element(ratios.begin(), ratios.end()));
        totalA += a;
        totalB += b;
        totalMB += mb;
        totalStored += stored;
    }
    printf("%-8s %10.1f %10.1f %10.1f %8.1f %10.3f %10.0f %10.0f\n", "overall", totalMB, totalStored, totalA * 1e3,
           totalB * 1e3, totalA / totalB, totalMB / totalA, totalMB / totalB);
    printf("budget: A/B at most 1.050; overall %.3f is %s\n", totalA / totalB,
           totalA / totalB <= 1.05 ? "within it" : "OVER IT");

    closePackage(installer.c_str());
    printf("\npeak resident memory growth during one extraction in a fresh process, median of 3\n");
    printf("%-8s %10s %14s %14s\n", "entry", "output MB", "extractEntry", "bare loop");
    long growth[2][2];
    for (int i = 0; i < 2; i++) {
        const Entry &e = entries[3 + i];
        growth[i][0] = measureInChild("extract", installer, e, outputA);
        growth[i][1] = measureInChild("baseline", installer, e, outputB);
        printf("%-8s %10.1f %11ld KiB %11ld KiB\n", i == 0 ? "small" : "large", e.length / 1e6, growth[i][0],
               growth[i][1]);
        unlink(outputA.c_str());
        unlink(outputB.c_str());
    }
    printf("large - small: extractEntry %+ld KiB, bare loop %+ld KiB, for %.0fx the output\n",
           growth[1][0] - growth[0][0], growth[1][1] - growth[0][1], (double)entries[4].length / entries[3].length);
    printf("total run %.1f s\n", now() - start);
    return 0;
}
