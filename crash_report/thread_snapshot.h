#pragma once

#include <sys/types.h>
#include <sys/ucontext.h>

#include <cstdint>

namespace reelkit {

// One thread's registers at the moment it was interrupted, as a core dump records them.
struct ThreadSnapshot {
  pid_t threadId = 0;
  gregset_t registers = {};
  struct _libc_fpstate floatingPoint = {};
  bool hasFloatingPoint = false;
  std::uint64_t fsBase = 0;  // the thread pointer, which the signal context does not carry
};

// Fills the snapshot from a signal context. Must run on the thread the context belongs to, which
// is the only one that can read its own thread pointer. Safe in a signal handler.
void CaptureThreadSnapshot(const ucontext_t& context, ThreadSnapshot& snapshot);

pid_t CurrentThreadId();

}  // namespace reelkit
