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
void WalkStack(ucontext_t& context, bool signalContext, int skipFrames, StackTrace& trace);

}  // namespace reelkit
