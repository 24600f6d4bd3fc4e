// The background thread on Windows.
#include "package/worker_thread.h"

#include <windows.h>

static HANDLE worker;

static void (*workerBody)(void *);

static DWORD WINAPI runWorker(void *argument)
{
    workerBody(argument);
    return 0;
}

bool startWorkerThread(void (*body)(void *), void *argument)
{
    workerBody = body;
    worker = CreateThread(0, 0, runWorker, argument, 0, 0);
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
