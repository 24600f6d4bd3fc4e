// Unpacking ahead. The copy pass writes its files one after another, in
// script order, on the main thread. Meanwhile a second thread unpacks the
// entries of the COPY lines that come next into memory, so that on a
// machine with two cores one file's inflating overlaps another's writing.
//
// Only what can be used unchanged is kept: an entry that is not in an open
// package, is larger than AHEAD_ENTRY_LIMIT, or does not unpack cleanly to
// exactly its size is left to the main thread, which unpacks it as if
// nothing had run ahead, with the same messages. No open package may be
// closed while the second thread runs.
#pragma once

#include <stdint.h>

const uint32_t AHEAD_ENTRY_LIMIT = 128 * 1024;   // larger entries are streamed
const int32_t AHEAD_WINDOW = 64;                 // entries held unpacked at most

// Adds the entry of the next COPY line, its source name as extractEntry gets
// it and its size, to the plan. Not while the second thread runs.
void planUnpackingAhead(const char *sourceName, uint32_t size);

// Starts the second thread on the plan. When no thread can be made, or the
// plan could not be stored whole, nothing is unpacked ahead.
void startUnpackingAhead();

// The next planned entry's unpacked bytes, exactly size of them, when that
// entry is sourceName of size and it was unpacked ahead; else 0, and the
// caller unpacks it itself. The bytes stay valid until the next call or the
// stop. A call that does not match the plan ends unpacking ahead.
unsigned char *takeUnpackedAhead(const char *sourceName, uint32_t size);

// Stops the second thread and waits for it; frees the plan and everything
// unpacked but not taken. Also runs when the process exits.
void stopUnpackingAhead();
