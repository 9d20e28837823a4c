#include "crash_report/stack_walker.h"

#define UNW_LOCAL_ONLY
#include <dlfcn.h>
#include <fcntl.h>
#include <libunwind.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "crash_report/crash_child.h"

namespace reelkit {
namespace {

// The header maps the generic names onto the local unwinder's exported ones.
#define REELKIT_SYMBOL_TEXT(name) #name
#define REELKIT_SYMBOL_NAME(name) REELKIT_SYMBOL_TEXT(name)

struct UnwindFunctions {
  decltype(&unw_init_local2) initLocal = nullptr;
  decltype(&unw_step) step = nullptr;
  decltype(&unw_get_reg) getRegister = nullptr;
};

UnwindFunctions unwinder;

// A copy of the process walks a few dozen frames in microseconds; this only bounds a hang.
constexpr std::int64_t kWalkTimeoutMilliseconds = 3000;
constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

template <typename Function>
bool Resolve(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(::dlsym(library, name));
  return function != nullptr;
}

void WalkStack(ucontext_t& context, bool signalContext, int skipFrames, StackTrace& trace) {
  trace.count = 0;
  unw_cursor_t cursor;
  if (unwinder.initLocal(&cursor, &context, signalContext ? UNW_INIT_SIGNAL_FRAME : 0) < 0) {
    return;
  }
  bool innermost = true;
  do {
    unw_word_t address = 0;
    if (unwinder.getRegister(&cursor, UNW_REG_IP, &address) < 0) {
      break;
    }
    if (skipFrames > 0) {
      --skipFrames;
    } else if (address != 0) {
      trace.frames[trace.count].address = address;
      trace.frames[trace.count].exact = innermost && signalContext;
      ++trace.count;
    }
    innermost = false;
  } while (trace.count < kMaxStackFrames && unwinder.step(&cursor) > 0);
}

[[noreturn]] void WalkInChild(ucontext_t& context, bool signalContext, int skipFrames, int out) {
  // A fault here ends this copy at once instead of reaching the reporter's handlers.
  for (const int signalNumber : kFatalSignals) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    ::sigaction(signalNumber, &action, nullptr);
  }
  StackTrace walked;
  WalkStack(context, signalContext, skipFrames, walked);
  const bool written = ::write(out, &walked, sizeof walked) == sizeof walked;
  ::_exit(written ? 0 : 1);
}

}  // namespace

bool PrepareStackWalker() {
  if (unwinder.initLocal != nullptr) {
    return true;
  }
  // Kept loaded for the life of the process: the handler may need it at any moment.
  void* library = ::dlopen(REELKIT_LIBUNWIND_SONAME, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    return false;
  }
  UnwindFunctions functions;
  if (!Resolve(library, REELKIT_SYMBOL_NAME(unw_init_local2), functions.initLocal) ||
      !Resolve(library, REELKIT_SYMBOL_NAME(unw_step), functions.step) ||
      !Resolve(library, REELKIT_SYMBOL_NAME(unw_get_reg), functions.getRegister)) {
    return false;
  }
  unwinder = functions;
  return true;
}

void CollectStackTrace(ucontext_t& context, bool signalContext, int skipFrames, StackTrace& trace) {
  trace.count = 0;
  int pipeFds[2];
  if (unwinder.initLocal == nullptr || ::pipe2(pipeFds, O_CLOEXEC) != 0) {
    return;
  }
  // _Fork runs no fork handlers, which could take locks the crashed process holds.
  const pid_t walker = ::_Fork();
  if (walker == 0) {
    ::close(pipeFds[0]);
    WalkInChild(context, signalContext, skipFrames, pipeFds[1]);
  }
  ::close(pipeFds[1]);
  if (walker < 0) {
    ::close(pipeFds[0]);
    return;
  }
  // One byte of room beyond the trace, so a complete trace still sees the end of the pipe.
  alignas(StackTrace) char received[sizeof(StackTrace) + 1];
  std::size_t size = 0;
  const bool closed =
      ReadUntilClosed(pipeFds[0], received, sizeof received, size, kWalkTimeoutMilliseconds);
  ::close(pipeFds[0]);
  StackTrace walked;
  if (ReapChild(walker, closed) && size == sizeof walked) {
    std::memcpy(&walked, received, sizeof walked);
    if (walked.count >= 0 && walked.count <= kMaxStackFrames) {
      trace = walked;
    }
  }
  if (trace.count == 0 && signalContext && skipFrames == 0) {
    // The faulting instruction needs no unwinding: at least the crashing frame is known.
    trace.frames[0].address = static_cast<std::uint64_t>(context.uc_mcontext.gregs[REG_RIP]);
    trace.frames[0].exact = true;
    trace.count = 1;
  }
}

}  // namespace reelkit
