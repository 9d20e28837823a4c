#include "tests/testing/process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <thread>

#include "tests/testing/waiting.h"

namespace reelkit::testing {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void ExecChild(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) {
    args.push_back(const_cast<char*>(a.c_str()));
  }
  args.push_back(nullptr);
  ::execv(args[0], args.data());
  ::_exit(127);
}

int ExitStatusOf(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Appends what one read gives; false at the end of the stream.
bool ReadSome(int fd, std::string& output) {
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      output.append(buffer, static_cast<std::size_t>(n));
      return true;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    return false;
  }
}

}  // namespace

std::string ReadAll(int fd) {
  std::string output;
  while (ReadSome(fd, output)) {
  }
  return output;
}

bool ReadAllBefore(int fd, Clock::time_point deadline, std::string& output) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      return false;
    }
    pollfd readable{fd, POLLIN, 0};
    const int ready = ::poll(&readable, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR) {
      return false;
    }
    if (ready > 0 && !ReadSome(fd, output)) {
      return true;
    }
  }
}

bool WaitForChildBefore(pid_t pid, Clock::time_point deadline, int& status) {
  for (;;) {
    const pid_t ended = ::waitpid(pid, &status, WNOHANG);
    if (ended == pid) {
      return true;
    }
    if (ended < 0 && errno != EINTR) {
      return false;
    }
    if (Clock::now() >= deadline) {
      ::kill(pid, SIGKILL);
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

ProcessResult RunProcess(const std::vector<std::string>& argv, StdoutKind kind, RunBound bound) {
  int readEnd = -1;
  int writeEnd = -1;
  if (kind == StdoutKind::Pipe) {
    int fds[2];
    if (::pipe(fds) != 0) {
      throw std::runtime_error("pipe failed");
    }
    readEnd = fds[0];
    writeEnd = fds[1];
  } else {
    // Raw mode keeps the line discipline from turning "\n" into "\r\n".
    struct termios raw {};
    ::cfmakeraw(&raw);
    if (::openpty(&readEnd, &writeEnd, nullptr, &raw, nullptr) != 0) {
      throw std::runtime_error("openpty failed");
    }
  }
  const pid_t pid = ::fork();
  if (pid < 0) {
    throw std::runtime_error("fork failed");
  }
  if (pid == 0) {
    ::close(readEnd);
    ::dup2(writeEnd, STDOUT_FILENO);
    ::close(writeEnd);
    ExecChild(argv);
  }
  ::close(writeEnd);
  ProcessResult result;
  const auto deadline =
      bound == RunBound::HangDeadline ? Clock::now() + kHangDeadline : Clock::time_point::max();
  bool ended = true;
  if (bound == RunBound::HangDeadline) {
    ended = ReadAllBefore(readEnd, deadline, result.output);
  } else {
    result.output = ReadAll(readEnd);
  }
  ::close(readEnd);
  int status = 0;
  result.hung = !ended || !WaitForChildBefore(pid, ended ? deadline : Clock::now(), status);
  result.exitStatus = result.hung ? -1 : ExitStatusOf(status);
  return result;
}

}  // namespace reelkit::testing
