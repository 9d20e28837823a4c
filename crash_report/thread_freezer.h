#pragma once

#include <sys/ucontext.h>

#include "crash_report/thread_snapshot.h"

namespace reelkit {

// Stopping the other threads of a crashing process. A real-time signal interrupts each one; its
// handler records the thread's registers and then sleeps with every signal blocked, so the thread
// never runs again and whatever it holds (heap, stdio or loader locks) stays as it was. A thread
// that blocks the signal is not stopped; the crash reporter touches nothing it could hold
// anyway, it only misses that thread's registers.

// Installs the signal handler. Called once at installation.
void PrepareThreadFreezer();

// Stops every other thread of the process, repeating over the thread list while new threads
// appear, and waits a short while for each one to record its registers.
void FreezeOtherThreads();

// Records the calling thread (interrupted in the given context) as frozen and sleeps forever.
// For a thread that faults while another one is writing the report.
[[noreturn]] void FreezeCurrentThread(const ucontext_t& context);

// The threads frozen so far; a slot whose thread has not finished recording is null.
int FrozenThreadSlotCount();
const ThreadSnapshot* FrozenThread(int slot);

}  // namespace reelkit
