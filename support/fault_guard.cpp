// support/fault_guard.cpp: runs a step of the crash report so that a fault inside it ends only that step.
#include "support/fault_guard.h"

#include <windows.h>

namespace
{

struct Guard
{
    void *jump[5]; // the layout __builtin_setjmp wants
    Guard *outer;
    DWORD thread;
#ifndef _WIN64
    void *exceptionList; // the frame-based handler chain as it stood when the step began
#endif
};

// One report at a time is built, so one chain of guards is enough.
Guard *volatile g_innermost;
PVOID g_handler;

bool InThisProgram(const void *address)
{
    MEMORY_BASIC_INFORMATION where = {};
    MEMORY_BASIC_INFORMATION own = {};
    if (::VirtualQuery(address, &where, sizeof where) == 0 ||
        ::VirtualQuery(reinterpret_cast<const void *>(&RunGuarded), &own, sizeof own) == 0)
        return false;
    return where.AllocationBase == own.AllocationBase;
}

#ifndef _WIN64
// The head of the 32-bit frame-based handler chain, the first word of the thread's information block.
void *ExceptionList()
{
    void *list;
    __asm__ __volatile__("movl %%fs:0, %0" : "=r"(list));
    return list;
}

void SetExceptionList(void *list)
{
    __asm__ __volatile__("movl %0, %%fs:0" : : "r"(list) : "memory");
}
#endif

// Vectored handlers are asked before any frame's handler; this one answers only faults of our own
// code inside a guarded step, which nobody else would handle. Probes such as IsBadReadPtr fault
// inside the system and are handled there as usual.
LONG CALLBACK FaultInStep(EXCEPTION_POINTERS *pointers)
{
    Guard *guard = g_innermost;
    if (guard == nullptr || guard->thread != ::GetCurrentThreadId() ||
        !InThisProgram(pointers->ExceptionRecord->ExceptionAddress))
        return EXCEPTION_CONTINUE_SEARCH;
    __builtin_longjmp(guard->jump, 1);
}

} // namespace

bool RunGuarded(void (*step)(void *argument), void *argument)
{
    if (g_handler == nullptr)
        g_handler = ::AddVectoredExceptionHandler(1, FaultInStep);
    Guard guard = {};
    guard.outer = g_innermost;
    guard.thread = ::GetCurrentThreadId();
#ifndef _WIN64
    guard.exceptionList = ExceptionList();
#endif
    Guard *volatile self = &guard;
    g_innermost = self;
    if (__builtin_setjmp(self->jump) == 0)
    {
        step(argument);
        g_innermost = self->outer;
        return true;
    }
#ifndef _WIN64
    // The handlers registered by the abandoned frames are gone with them.
    SetExceptionList(self->exceptionList);
#endif
    g_innermost = self->outer;
    return false;
}
