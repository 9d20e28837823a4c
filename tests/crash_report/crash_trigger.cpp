// Test-only program: installs the crash reporter, then crashes in the way its argument names: at
// once, or after "on-release" when its standard input ends.
// It is built for the tests alone and never installed, so no product input can reach a crash.
#include <link.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "crash_report/crash_reporter.h"

namespace {

volatile int recursionLimit = INT_MAX;
std::atomic<bool> loaderLockHeld{false};

[[gnu::noinline]] void CrashWithNullWrite() {
  volatile int* volatile target = nullptr;
  *target = 42;
}

[[gnu::noinline]] void CrashWithIllegalInstruction() {
  __builtin_trap();
}

[[gnu::noinline]] void CrashWithDivisionByZero() {
  volatile int dividend = 7;
  volatile int zero = 0;
  volatile int quotient = dividend / zero;
  (void)quotient;
}

[[gnu::noinline]] void CrashWithAbort() {
  std::abort();
}

[[gnu::noinline]] void CrashWithUncaughtException() {
  throw std::runtime_error("nobody catches this");
}

[[gnu::noinline]] void CrashOnSecondThread() {
  std::thread worker([] {
    reelkit::InstallCrashReporter();
    CrashWithNullWrite();
  });
  worker.join();
}

[[gnu::noinline]] int RecurseUntilTheStackEnds(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  if (depth == recursionLimit) {
    return 0;
  }
  return RecurseUntilTheStackEnds(depth + 1) + frame[0];
}

// Each frame of this recursion has a demangled name of several hundred characters.
using LongNamedTable = std::map<std::string, std::vector<std::string>>;

[[gnu::noinline]] int DescendThroughLongNames(int depth, const LongNamedTable& table) {
  volatile char frame[16];
  frame[0] = static_cast<char>(depth);
  if (depth == 40) {
    CrashWithNullWrite();
    return 0;
  }
  return DescendThroughLongNames(depth + 1, table) + frame[0];
}

[[gnu::noinline]] void CrashBelowLongNames() {
  std::printf("%d", DescendThroughLongNames(0, LongNamedTable()));
}

[[gnu::noinline]] void CrashWithStackOverflow() {
  std::printf("%d", RecurseUntilTheStackEnds(0));
}

[[gnu::noinline]] void CrashWithSmashedStack() {
  // The stack pointer points at nothing when the fault comes, so unwinding reads garbage.
  __asm__ __volatile__("mov $0x10, %%rsp\n\tmovl $42, 0x100000\n" ::: "memory");
}

int HoldTheLoaderLockForever(dl_phdr_info*, std::size_t, void*) {
  loaderLockHeld = true;
  for (;;) {
    ::pause();
  }
}

// The loader's lock is held by another thread, as while a library loads; the stack walk needs it.
[[gnu::noinline]] void CrashWhileTheLoaderLockIsHeld() {
  std::thread holder([] { ::dl_iterate_phdr(HoldTheLoaderLockForever, nullptr); });
  holder.detach();
  while (!loaderLockHeld) {
    std::this_thread::yield();
  }
  CrashWithNullWrite();
}

struct Crash {
  std::string_view name;
  void (*run)();
};

constexpr Crash kCrashes[] = {
    {"null-write", CrashWithNullWrite},
    {"illegal-instruction", CrashWithIllegalInstruction},
    {"division-by-zero", CrashWithDivisionByZero},
    {"abort", CrashWithAbort},
    {"uncaught-exception", CrashWithUncaughtException},
    {"second-thread", CrashOnSecondThread},
    {"stack-overflow", CrashWithStackOverflow},
    {"smashed-stack", CrashWithSmashedStack},
    {"loader-lock", CrashWhileTheLoaderLockIsHeld},
    {"long-names", CrashBelowLongNames},
};

// Says that the reporter is installed, then waits until standard input ends: the test decides
// the moment of the crash.
void WaitForRelease() {
  std::puts("ready");
  std::fflush(stdout);
  char buffer[64];
  while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
  }
}

}  // namespace

int main(int argc, char** argv) {
  reelkit::InstallCrashReporter();
  reelkit::InstallCrashReporter();  // a second call must change nothing
  const bool held = argc == 3 && std::string_view(argv[1]) == "on-release";
  if (argc == 2 || held) {
    const std::string_view kind = argv[argc - 1];
    for (const Crash& crash : kCrashes) {
      if (crash.name == kind) {
        if (held) {
          WaitForRelease();
        }
        crash.run();
      }
    }
  }
  std::fprintf(stderr, "usage: crash_trigger [on-release] <kind of crash>\n");
  return 2;
}
