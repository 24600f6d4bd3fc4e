// Unpacking ahead. The plan is one record per COPY line. Each record's state
// is claimed once, by whichever comes first: the second thread, or the main
// thread while it waits for the second, to unpack it into memory; or the
// main thread when it reaches the record, to unpack it itself straight into
// its file. The second thread stays at most AHEAD_WINDOW records ahead of
// the main thread. Each thread reads the package through streams of its
// own, so the two never share a stream or a reader.
#include "package/unpack_ahead.h"

#include <stdlib.h>
#include <string.h>

#include "base/names.h"
#include "package/gz_reader.h"
#include "package/package.h"
#include "package/stdio_open.h"
#include "package/worker_thread.h"

enum PlannedState {
    PLANNED,      // nobody has claimed it yet
    UNPACKING,    // a thread is unpacking it into memory
    UNPACKED,     // bytes hold it, whole and checked
    LEFT,         // the main thread unpacks it itself, as without a plan
};

struct PlannedEntry {
    char *sourceName;      // heap copy
    uint32_t size;         // unpacked size the COPY line names
    int state;             // a PlannedState, read and written atomically
    unsigned char *bytes;  // UNPACKED: size bytes, heap
};

static struct {
    PlannedEntry *entries;
    int32_t count;
    int32_t capacity;
    bool incomplete;       // a record could not be stored
    bool running;          // the second thread has started and not been joined
    int taken;             // records the main thread has asked for; atomic
    int stopping;          // non-zero: the second thread stops; atomic
} ahead;

static int loadAtomic(const int *value)
{
    return __atomic_load_n(value, __ATOMIC_ACQUIRE);
}

static void storeAtomic(int *value, int newValue)
{
    __atomic_store_n(value, newValue, __ATOMIC_RELEASE);
}

// Moves a PLANNED record to state; false when another thread claimed it first.
static bool claim(PlannedEntry *planned, int state)
{
    int expected = PLANNED;
    return __atomic_compare_exchange_n(&planned->state, &expected, state, false, __ATOMIC_ACQ_REL,
                                       __ATOMIC_ACQUIRE);
}

void planUnpackingAhead(const char *sourceName, uint32_t size)
{
    if (ahead.incomplete)
        return;
    if (ahead.count == ahead.capacity) {
        int32_t capacity = ahead.capacity ? ahead.capacity * 2 : 256;
        void *grown = realloc(ahead.entries, (size_t)capacity * sizeof(PlannedEntry));
        if (!grown) {
            ahead.incomplete = true;
            return;
        }
        ahead.entries = (PlannedEntry *)grown;
        ahead.capacity = capacity;
    }
    PlannedEntry *planned = &ahead.entries[ahead.count];
    planned->sourceName = strdup(sourceName);
    planned->size = size;
    planned->state = PLANNED;
    planned->bytes = 0;
    if (!planned->sourceName)
        ahead.incomplete = true;
    else
        ahead.count++;
}

// Each thread reads the package through streams of its own: one per open
// package, opened on first use.
static FILE **secondThreadStreams, **mainThreadStreams;

// The stream among streams of the package that holds entry; 0 when it
// cannot be opened.
static FILE *streamOf(FILE **streams, const PackageEntry *entry)
{
    for (int32_t p = 0; p < openPackageCount; p++) {
        const PackageRecord *record = &openPackages[p];
        if (entry >= record->entries && entry < record->entries + record->entryCount) {
            if (!streams[p])
                streams[p] = openStdioFile(record->path, "rb");
            return streams[p];
        }
    }
    return 0;
}

// Unpacks a planned entry through a reader of its own: the bytes, exactly
// its size of them, or 0 when anything differs from a clean unpacking.
static unsigned char *unpackPlanned(FILE **streams, const PlannedEntry *planned)
{
    char name[NAME_WORK_SIZE];
    if (!gzEntryName(planned->sourceName, name, sizeof name))
        return 0;
    normalizeEntryName(name);
    const PackageEntry *entry = findPackageEntry(name);
    FILE *stream = entry && entry->rawLength == 0 ? streamOf(streams, entry) : 0;
    if (!stream)
        return 0;
    // The entry's fixed fields with a position and stream of our own: the
    // main thread may be reading the same entry through its own fields.
    PackageEntry own = PackageEntry();
    own.tag = ENTRY_TAG;
    own.name = entry->name;
    own.offset = entry->offset;
    own.size = entry->size;
    own.stream = stream;
    GzReader *reader = gzReaderOpenFile(reinterpret_cast<PackageFile>(&own), name);
    if (!reader)
        return 0;
    // Room for one byte more than the size, so that a longer entry shows.
    uint32_t room = planned->size + 1;
    unsigned char *bytes = (unsigned char *)malloc(room);
    uint32_t got = 0;
    int32_t n = 1;
    while (bytes && n > 0 && got < room) {
        uint32_t want = room - got < (uint32_t)GZ_BUFFER_SIZE ? room - got : (uint32_t)GZ_BUFFER_SIZE;
        n = gzReaderRead(reader, bytes + got, want);
        if (n > 0)
            got += (uint32_t)n;
    }
    bool whole = bytes && n == 0 && got == planned->size;
    if (gzReaderClose(reader) != 0 || !whole) {
        free(bytes);
        return 0;
    }
    return bytes;
}

// Claims record i for unpacking into memory when it is small enough and
// nobody has claimed it, and unpacks it. False when it was not claimed.
static bool unpackIfFree(FILE **streams, int32_t i)
{
    PlannedEntry *planned = &ahead.entries[i];
    if (planned->size > AHEAD_ENTRY_LIMIT || !claim(planned, UNPACKING))
        return false;
    planned->bytes = unpackPlanned(streams, planned);
    storeAtomic(&planned->state, planned->bytes ? UNPACKED : LEFT);
    return true;
}

// The second thread: every record in order, at most AHEAD_WINDOW ahead of
// the main thread.
static void unpackAhead(void *)
{
    for (int32_t i = 0; i < ahead.count && !loadAtomic(&ahead.stopping); i++) {
        while (i >= loadAtomic(&ahead.taken) + AHEAD_WINDOW && !loadAtomic(&ahead.stopping))
            sleepBriefly();
        unpackIfFree(secondThreadStreams, i);
    }
}

// The main thread, waiting for record waitingFor that the second thread is
// unpacking, unpacks the first free record after it in the window instead
// of idling. False when there is none.
static bool helpAhead(int32_t waitingFor)
{
    int32_t end = waitingFor + AHEAD_WINDOW < ahead.count ? waitingFor + AHEAD_WINDOW : ahead.count;
    for (int32_t i = waitingFor + 1; i < end; i++)
        if (loadAtomic(&ahead.entries[i].state) == PLANNED && unpackIfFree(mainThreadStreams, i))
            return true;
    return false;
}

void startUnpackingAhead()
{
    static bool stopsAtExit = false;
    if (!stopsAtExit)
        stopsAtExit = atexit(stopUnpackingAhead) == 0;
    if (ahead.incomplete || ahead.count == 0 || !stopsAtExit || openPackageCount == 0) {
        stopUnpackingAhead();
        return;
    }
    secondThreadStreams = (FILE **)calloc((size_t)openPackageCount, sizeof(FILE *));
    mainThreadStreams = (FILE **)calloc((size_t)openPackageCount, sizeof(FILE *));
    ahead.running = secondThreadStreams && mainThreadStreams && startWorkerThread(unpackAhead, 0);
    if (!ahead.running)
        stopUnpackingAhead();
}

unsigned char *takeUnpackedAhead(const char *sourceName, uint32_t size)
{
    if (!ahead.running)
        return 0;
    int32_t i = ahead.taken;
    if (i > 0) {                       // the caller is done with the one before
        free(ahead.entries[i - 1].bytes);
        ahead.entries[i - 1].bytes = 0;
    }
    if (i >= ahead.count || ahead.entries[i].size != size || strcmp(ahead.entries[i].sourceName, sourceName) != 0) {
        stopUnpackingAhead();
        return 0;
    }
    PlannedEntry *planned = &ahead.entries[i];
    bool unpacking = !claim(planned, LEFT);
    while (unpacking && loadAtomic(&planned->state) == UNPACKING)
        if (!helpAhead(i))
            yieldToOtherThreads();
    storeAtomic(&ahead.taken, i + 1);
    return planned->bytes;
}

static void closeStreams(FILE **streams)
{
    for (int32_t p = 0; streams && p < openPackageCount; p++)
        if (streams[p])
            fclose(streams[p]);
    free(streams);
}

void stopUnpackingAhead()
{
    if (ahead.running) {
        storeAtomic(&ahead.stopping, 1);
        joinWorkerThread();
    }
    for (int32_t i = 0; i < ahead.count; i++) {
        free(ahead.entries[i].sourceName);
        free(ahead.entries[i].bytes);
    }
    free(ahead.entries);
    closeStreams(secondThreadStreams);
    closeStreams(mainThreadStreams);
    secondThreadStreams = mainThreadStreams = 0;
    memset(&ahead, 0, sizeof ahead);
}
