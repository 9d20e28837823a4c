#pragma once

#include <sys/ucontext.h>

#include <cstdint>

namespace reelkit {

inline constexpr int kMaxStackFrames = 32;

struct StackFrameAddress {
  std::uint64_t address = 0;
  // True for the faulting instruction itself; otherwise the address is a return address, and the
  // call that made the frame lies just before it.
  bool exact = false;
};

// Innermost frame first.
struct StackTrace {
  StackFrameAddress frames[kMaxStackFrames];
  int count = 0;
};

// Loads the unwinder. The library is loaded privately rather than linked: linked, it would also
// take over the C++ runtime's exception unwinding for the whole program, since it exports the
// same unwinding entry points as the compiler's runtime and would come first in the lookup order.
// False when it is missing, in which case stacks are not walked.
bool PrepareStackWalker();

// Walks outwards from the context; a signal context starts at the faulting instruction. Skips the
// given number of innermost frames and frames whose address is 0. Safe in a signal handler once
// prepared.
//
// The walk runs in a child process, a copy of this one: the unwinder takes the loader's lock with
// every signal blocked, so a lock held by a frozen thread (one loading a library, say) would hang
// the walk past any alarm. The child is killed when it does not finish in time, and a fault in it
// ends only the child; the trace then holds only the faulting instruction of a signal context.
void CollectStackTrace(ucontext_t& context, bool signalContext, int skipFrames, StackTrace& trace);

}  // namespace reelkit
