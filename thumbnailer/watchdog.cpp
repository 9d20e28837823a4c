#include "thumbnailer/watchdog.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

namespace reelkit {
namespace {

void EndOnAlarm(int) {
  constexpr const char kMessage[] = "reelkit-thumbnailer: out of time\n";
  [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  ::_exit(kExitStatusTimedOut);
}

}  // namespace

void ArmWatchdog(std::chrono::seconds limit) {
  struct sigaction action {};
  action.sa_handler = EndOnAlarm;
  ::sigemptyset(&action.sa_mask);
  ::sigaction(SIGALRM, &action, nullptr);
  ::alarm(static_cast<unsigned>(limit.count()));
}

void DisarmWatchdog() {
  ::alarm(0);
}

}  // namespace reelkit
