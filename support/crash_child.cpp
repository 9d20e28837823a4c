#include "support/crash_child.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace reelkit {
namespace {

std::int64_t MonotonicMilliseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

}  // namespace

bool ReadUntilClosed(int fd, char* buffer, std::size_t capacity, std::size_t& size,
                     std::int64_t timeoutMilliseconds) {
  const std::int64_t deadline = MonotonicMilliseconds() + timeoutMilliseconds;
  size = 0;
  for (;;) {
    const std::int64_t remaining = deadline - MonotonicMilliseconds();
    if (remaining <= 0 || size == capacity) {
      return false;
    }
    pollfd entry{fd, POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(remaining));
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    if (ready <= 0) {
      return false;
    }
    const ssize_t n = ::read(fd, buffer + size, capacity - size);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return n == 0;
    }
    size += static_cast<std::size_t>(n);
  }
}

bool ReapChild(pid_t child, bool finished) {
  if (!finished) {
    ::kill(child, SIGKILL);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      return finished;  // reaped elsewhere (SIGCHLD ignored): trust what it wrote
    }
  }
  return finished && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace reelkit
