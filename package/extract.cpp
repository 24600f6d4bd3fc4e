// Entry extraction. One reader, one output stream and one 16 KiB buffer per
// call; any failure of an unpacked entry ends the process after one message
// box.
#include "package/extract.h"

#include <windows.h>

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "base/names.h"
#include "base/report.h"
#include "base/text.h"
#include "package/unpack_ahead.h"

static const char ZIP_ERROR_CAPTION[] = "Zip error - perhaps bad crc";

// One "name: text" line on the standard error stream.
static void reportError(const char *name, const char *text)
{
    fputs(name, stderr);
    fputs(": ", stderr);
    fputs(text, stderr);
    fputs("\n", stderr);
}

[[noreturn]] void fatalZipError(const char *message)
{
    MessageBoxA(0, message, ZIP_ERROR_CAPTION, MB_OK);
    reportError(PROGRAM_NAME, message);
    exit(1);
}

// The box for a reader or output that cannot be opened. The text is cut at
// its 256-byte buffer; the caption tells a lack of memory (errno 0) from a
// missing or unwritable file.
static void showOpenFailure(const char *sourceName, const char *outputPath, int error)
{
    char text[256];
    formatText(text, sizeof text, "file:%s outfile:%s", sourceName, outputPath);
    MessageBoxA(0, text, error == 0 ? "Insufficient memory" : "Error in zip file", MB_OK);
}

void refuseExtraction(const char *sourceName, const char *outputPath)
{
    showOpenFailure(sourceName, outputPath, ENAMETOOLONG);
    exit(1);
}

void refuseUnsafeDestination(const char *path)
{
    showError(path);
    exit(1);
}

// Opens outputPath for writing; when it cannot be, shows why and ends the
// process with exit status 1.
static PackageFile openOutput(const char *sourceName, const char *outputPath)
{
    PackageFile output = pfOpen(outputPath, "wb");
    if (!output) {
        int error = errno;
        showOpenFailure(sourceName, outputPath, error);
        reportError(sourceName, strerror(error));
        exit(1);
    }
    return output;
}

// Writes an entry unpacked ahead, size bytes, in the blocks copyDecompressed
// writes.
static void writeUnpacked(const char *sourceName, const char *outputPath, const unsigned char *bytes, uint32_t size)
{
    PackageFile output = openOutput(sourceName, outputPath);
    FILE *stream = pfStdioStream(output);
    for (uint32_t at = 0; at < size; at += GZ_BUFFER_SIZE) {
        size_t n = size - at < (uint32_t)GZ_BUFFER_SIZE ? size - at : GZ_BUFFER_SIZE;
        if (fwrite(bytes + at, 1, n, stream) != n)
            fatalZipError("failed fwrite");
    }
    if (pfClose(output) != 0)
        fatalZipError("failed fclose");
}

void extractEntry(const char *sourceName, const char *outputPath, uint32_t size)
{
    const unsigned char *unpacked = takeUnpackedAhead(sourceName, size);
    if (unpacked) {
        writeUnpacked(sourceName, outputPath, unpacked, size);
        return;
    }
    char readerName[NAME_WORK_SIZE];
    GzReader *reader = 0;
    errno = ENAMETOOLONG;           // a name that does not fit is not looked up
    if (gzEntryName(sourceName, readerName, sizeof readerName))
        reader = gzReaderOpen(readerName, "rb");
    if (!reader) {
        int error = errno;
        fputs(PROGRAM_NAME, stderr);
        fputs(": can't gzopen ", stderr);
        fputs(readerName, stderr);
        fputs("\n", stderr);
        showOpenFailure(sourceName, outputPath, error);
        exit(1);
    }
    copyDecompressed(reader, openOutput(sourceName, outputPath), size);
}

// "NAME: unpacked size differs from the install script", for an entry that
// unpacks to another size than its COPY line names.
static void wrongSizeText(const GzReader *reader, char *text, size_t size)
{
    formatText(text, size, "%s: unpacked size differs from the install script", reader->name);
}

void copyDecompressed(GzReader *reader, PackageFile output, uint32_t size)
{
    unsigned char buffer[GZ_BUFFER_SIZE];
    char wrongSize[NAME_WORK_SIZE + 64];
    FILE *stream = pfStdioStream(output);
    uint64_t written = 0;
    for (;;) {
        int32_t n = gzReaderRead(reader, buffer, GZ_BUFFER_SIZE);
        if (n < 0) {
            int code;
            fatalZipError(gzReaderError(reader, &code));
        }
        if (n == 0)
            break;
        written += (uint32_t)n;
        if (written > size) {     // no more than the line names reaches the disk
            wrongSizeText(reader, wrongSize, sizeof wrongSize);
            fatalZipError(wrongSize);
        }
        if (fwrite(buffer, 1, (size_t)n, stream) != (size_t)n)
            fatalZipError("failed fwrite");
    }
    if (pfClose(output) != 0)
        fatalZipError("failed fclose");
    bool wrongLength = written != size;
    if (wrongLength)             // the text names the reader, which the close frees
        wrongSizeText(reader, wrongSize, sizeof wrongSize);
    if (gzReaderClose(reader) != 0)
        fatalZipError("failed gzclose");
    if (wrongLength)
        fatalZipError(wrongSize);
}

// Copies size bytes from an entry to an output stream.
static bool copyBytes(PackageFile from, FILE *to, int32_t size)
{
    unsigned char buffer[GZ_BUFFER_SIZE];
    for (int32_t left = size; left > 0;) {
        size_t n = pfRead(buffer, 1, sizeof buffer, from);
        if (n == 0 || fwrite(buffer, 1, n, to) != n)
            return false;
        left -= (int32_t)n;
    }
    return true;
}

bool CopyEntryToDestination(const char *entryName, const char *destinationDir)
{
    char target[PATH_SIZE];
    if (!formatText(target, sizeof target, "%s%s", destinationDir, entryName))
        return false;
    PackageFile entry = pfOpen(entryName, "rb");
    if (!entry)
        return false;
    pfSeek(entry, 0, 2);
    int32_t size = pfTell(entry);
    pfSeek(entry, 0, 0);
    PackageFile output = size >= 0 ? pfOpen(target, "wb") : 0;
    bool copied = output && copyBytes(entry, pfStdioStream(output), size);
    pfClose(entry);
    if (output && pfClose(output) != 0)
        copied = false;
    return copied;
}
