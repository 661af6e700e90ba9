// SPDX-License-Identifier: MIT
// Every thread of a tracked program gets an alternate signal stack, so that a
// stack overflow in any of them is still recorded (the recorder's handler
// cannot run on an overflowed stack, and it cannot set up a stack for the
// thread it runs in).
//
// The kit defines pthread_create itself. Programs that track crashes link the
// kit directly, and the linker always lists libc last, so in the process's
// global symbol lookup this definition comes before libc's: every caller
// (Qt's QThread, libstdc++'s std::thread, plain pthread users, other
// libraries) starts its threads through it. It forwards to the next
// definition (libc's) with a start routine that first calls
// CrashRecorder::threadStarted(), which sets up the stack and frees it when
// the thread ends. Before the recorder is armed nothing is changed.
//
// Chosen over the alternatives: a per-thread call in each thread body misses
// threads started by Qt and other libraries; setting stacks from the signal
// handler is too late for an overflow; LD_PRELOAD would need a launcher.
// Threads started before arming keep whatever stack they had (the arming
// thread gets one from arm()).
#include "crash/CrashRecorder.h"

#include <cerrno>
#include <dlfcn.h>
#include <new>
#include <pthread.h>

namespace {

using CreateFunction = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

struct ThreadStart {
    void* (*routine)(void*);
    void* argument;
};

CreateFunction nextCreate()
{
    static const auto next = reinterpret_cast<CreateFunction>(dlsym(RTLD_NEXT, "pthread_create"));
    return next;
}

void* startWithAlternateStack(void* raw)
{
    const ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    qn::crash::CrashRecorder::threadStarted();
    return start.routine(start.argument);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int pthread_create(pthread_t* thread, const pthread_attr_t* attr,
                                                                     void* (*routine)(void*), void* argument)
{
    const CreateFunction next = nextCreate();
    if (!next)
        return EAGAIN;
    if (!qn::crash::CrashRecorder::isArmed())
        return next(thread, attr, routine, argument);
    auto* start = new (std::nothrow) ThreadStart{routine, argument};
    if (!start)
        return next(thread, attr, routine, argument);
    const int result = next(thread, attr, startWithAlternateStack, start);
    if (result != 0)
        delete start;
    return result;
}
