// Test-only program: installs the crash reporter, then crashes in the way its argument names.
// It is built for the tests alone and never installed, so no product input can reach a crash.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "support/crash_reporter.h"

namespace {

volatile int recursionLimit = INT_MAX;

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

[[gnu::noinline]] void CrashWithStackOverflow() {
  std::printf("%d", RecurseUntilTheStackEnds(0));
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
};

}  // namespace

int main(int argc, char** argv) {
  reelkit::InstallCrashReporter();
  reelkit::InstallCrashReporter();  // a second call must change nothing
  if (argc == 2) {
    for (const Crash& crash : kCrashes) {
      if (crash.name == argv[1]) {
        crash.run();
      }
    }
  }
  std::fprintf(stderr, "usage: crash_trigger <kind of crash>\n");
  return 2;
}
