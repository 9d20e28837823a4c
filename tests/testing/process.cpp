#include "tests/testing/process.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace reelkit::testing {
namespace {

[[noreturn]] void ExecChild(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) {
    args.push_back(const_cast<char*>(a.c_str()));
  }
  args.push_back(nullptr);
  ::execv(args[0], args.data());
  ::_exit(127);
}

int WaitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string ReadAll(int fd) {
  std::string output;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      output.append(buffer, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  return output;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, StdoutKind kind) {
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
  result.output = ReadAll(readEnd);
  ::close(readEnd);
  result.exitStatus = WaitFor(pid);
  return result;
}

}  // namespace reelkit::testing
