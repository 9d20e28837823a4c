#include "app/interruption.h"

#include <signal.h>

#include <atomic>

namespace reelkit {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<int> interruptingSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler stores into it");

void RestoreDefaultActions() {
  for (const int signalNumber : kStopSignals) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signalNumber, &action, nullptr);
  }
}

// Only async-signal-safe work: one atomic store and sigaction.
void OnStopSignal(int signalNumber) {
  int none = 0;
  interruptingSignal.compare_exchange_strong(none, signalNumber);
  RestoreDefaultActions();
}

bool IsIgnored(int signalNumber) {
  struct sigaction current {};
  return ::sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

}  // namespace

void InstallInterruptionHandlers() {
  for (const int signalNumber : kStopSignals) {
    if (IsIgnored(signalNumber)) {
      continue;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    // Reads and waits go on where they were; the job looks at the request between records.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(signalNumber, &action, nullptr);
  }
}

int InterruptingSignal() {
  return interruptingSignal.load();
}

}  // namespace reelkit
