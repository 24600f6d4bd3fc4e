// One background thread at a time, and the two ways to wait for it. The
// Windows build uses the Win32 thread calls, the host build POSIX threads.
#pragma once

// Starts body(argument) on a new thread. False when no thread can be made.
bool startWorkerThread(void (*body)(void *), void *argument);

// Waits until the thread startWorkerThread made has returned.
void joinWorkerThread();

// Gives the processor to another ready thread: for a wait of microseconds.
void yieldToOtherThreads();

// Sleeps about a millisecond: for a wait on a thread that has no reason to
// hurry.
void sleepBriefly();
