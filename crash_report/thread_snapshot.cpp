#include "crash_report/thread_snapshot.h"

#include <asm/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

namespace reelkit {

void CaptureThreadSnapshot(const ucontext_t& context, ThreadSnapshot& snapshot) {
  snapshot.threadId = CurrentThreadId();
  std::memcpy(snapshot.registers, context.uc_mcontext.gregs, sizeof snapshot.registers);
  snapshot.hasFloatingPoint = context.uc_mcontext.fpregs != nullptr;
  if (snapshot.hasFloatingPoint) {
    std::memcpy(&snapshot.floatingPoint, context.uc_mcontext.fpregs, sizeof snapshot.floatingPoint);
  }
  unsigned long fsBase = 0;
  if (::syscall(SYS_arch_prctl, ARCH_GET_FS, &fsBase) == 0) {
    snapshot.fsBase = fsBase;
  }
}

pid_t CurrentThreadId() {
  return static_cast<pid_t>(::syscall(SYS_gettid));
}

}  // namespace reelkit
