// The background thread on Windows.
#include "package/worker_thread.h"

#include <windows.h>

static HANDLE worker;

struct Start {
    void (*body)(void *);
    void *argument;
};
static Start start;

static DWORD WINAPI runWorker(void *)
{
    start.body(start.argument);
    return 0;
}

bool startWorkerThread(void (*body)(void *), void *argument)
{
    start.body = body;
    start.argument = argument;
    worker = CreateThread(0, 0, runWorker, 0, 0, 0);
    return worker != 0;
}

void joinWorkerThread()
{
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
    worker = 0;
}

void yieldToOtherThreads()
{
    SwitchToThread();
}

void sleepBriefly()
{
    Sleep(1);
}
