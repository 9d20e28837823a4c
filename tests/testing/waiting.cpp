#include "tests/testing/waiting.h"

#include <unistd.h>

#include <fstream>
#include <string>
#include <thread>

namespace reelkit::testing {
namespace {

// The state letter the kernel shows for a thread of this process, 0 when it has none (ended).
char ThreadState(pid_t thread) {
  std::ifstream stat("/proc/self/task/" + std::to_string(thread) + "/stat");
  std::string line;
  std::getline(stat, line);
  // The name in parentheses may hold spaces and parentheses itself; the state follows the last.
  const std::size_t nameEnd = line.rfind(')');
  return nameEnd != std::string::npos && nameEnd + 2 < line.size() ? line[nameEnd + 2] : '\0';
}

}  // namespace

pid_t CurrentThreadId() {
  return ::gettid();
}

bool WaitUntilAsleep(pid_t thread) {
  const auto deadline = std::chrono::steady_clock::now() + kHangDeadline;
  while (std::chrono::steady_clock::now() < deadline) {
    switch (ThreadState(thread)) {
      case 'S':
      case 'D':
        return true;
      case 'R':
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        break;
      default:
        return false;
    }
  }
  return false;
}

}  // namespace reelkit::testing
