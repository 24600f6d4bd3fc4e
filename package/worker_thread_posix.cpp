// The background thread on POSIX systems (the host build).
#include "package/worker_thread.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>

static pthread_t worker;

static void (*workerBody)(void *);

static void *runWorker(void *argument)
{
    workerBody(argument);
    return 0;
}

bool startWorkerThread(void (*body)(void *), void *argument)
{
    workerBody = body;
    return pthread_create(&worker, 0, runWorker, argument) == 0;
}

void joinWorkerThread()
{
    pthread_join(worker, 0);
}

void yieldToOtherThreads()
{
    sched_yield();
}

void sleepBriefly()
{
    const timespec millisecond = {0, 1000000};
    nanosleep(&millisecond, 0);
}
