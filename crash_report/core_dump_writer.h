#pragma once

#include <signal.h>

#include "crash_report/thread_snapshot.h"

namespace reelkit {

// Writes an ELF core file of the calling process to fd: the registers of the crashing thread
// (first, so a debugger starts there) and of every thread the freezer stopped, the signal, the
// auxiliary vector, the mapped files, and the process's readable memory as ChooseDumpPolicy
// selects it. Reads memory through /proc/self/mem, so an unreadable page becomes a hole instead
// of a second fault. Safe in a signal handler once the other threads are frozen; not reentrant.
// Returns 0, or the errno of the write that failed.
int WriteCoreDump(int fd, const ThreadSnapshot& crashingThread, const siginfo_t& signalInfo);

}  // namespace reelkit
