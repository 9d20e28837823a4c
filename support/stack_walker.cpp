#include "support/stack_walker.h"

#define UNW_LOCAL_ONLY
#include <dlfcn.h>
#include <libunwind.h>

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

template <typename Function>
bool Resolve(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(::dlsym(library, name));
  return function != nullptr;
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

void WalkStack(ucontext_t& context, bool signalContext, int skipFrames, StackTrace& trace) {
  trace.count = 0;
  if (unwinder.initLocal == nullptr) {
    return;
  }
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

}  // namespace reelkit
