#include "crash_report/crash_child.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace reelkit {
namespace {

std::int64_t MonotonicMilliseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

// Waits until the child's pipe has bytes or is closed, and reads what fits in `room`. Returns
// the count read, 0 when the pipe is closed, -1 when the deadline passes or reading fails.
ssize_t ReadBeforeDeadline(int fd, char* to, std::size_t room, std::int64_t deadline) {
  for (;;) {
    const std::int64_t remaining = deadline - MonotonicMilliseconds();
    if (remaining <= 0) {
      return -1;
    }
    pollfd entry{fd, POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(remaining));
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    if (ready <= 0) {
      return -1;
    }
    const ssize_t n = ::read(fd, to, room);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    return n;
  }
}

// Makes room by dropping the oldest line, or the whole buffer when it holds part of one line.
void DropOldestLine(char* buffer, OutputTail& tail) {
  const void* lineEnd = std::memchr(buffer, '\n', tail.size);
  if (lineEnd == nullptr) {
    tail.size = 0;
    tail.startsInsideLine = true;
    return;
  }
  const auto dropped = static_cast<std::size_t>(static_cast<const char*>(lineEnd) - buffer) + 1;
  std::memmove(buffer, buffer + dropped, tail.size - dropped);
  tail.size -= dropped;
  tail.startsInsideLine = false;
}

}  // namespace

bool ReadUntilClosed(int fd, char* buffer, std::size_t capacity, std::size_t& size,
                     std::int64_t timeoutMilliseconds) {
  const std::int64_t deadline = MonotonicMilliseconds() + timeoutMilliseconds;
  size = 0;
  while (size < capacity) {
    const ssize_t n = ReadBeforeDeadline(fd, buffer + size, capacity - size, deadline);
    if (n <= 0) {
      return n == 0;
    }
    size += static_cast<std::size_t>(n);
  }
  return false;
}

bool ReadTailUntilClosed(int fd, char* buffer, std::size_t capacity, OutputTail& tail,
                         std::int64_t timeoutMilliseconds) {
  const std::int64_t deadline = MonotonicMilliseconds() + timeoutMilliseconds;
  tail = OutputTail();
  for (;;) {
    if (tail.size == capacity) {
      DropOldestLine(buffer, tail);
    }
    const ssize_t n = ReadBeforeDeadline(fd, buffer + tail.size, capacity - tail.size, deadline);
    if (n <= 0) {
      return n == 0;
    }
    tail.size += static_cast<std::size_t>(n);
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
