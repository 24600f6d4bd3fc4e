// The background thread on POSIX systems (the host build).
#include "package/worker_thread.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>

static pthread_t worker;

struct Start {
    void (*body)(void *);
    void *argument;
};
static Start start;

static void *runWorker(void *)
{
    start.body(start.argument);
    return 0;
}

bool startWorkerThread(void (*body)(void *), void *argument)
{
    start.body = body;
    start.argument = argument;
    return pthread_create(&worker, 0, runWorker, 0) == 0;
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
