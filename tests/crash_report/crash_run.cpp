#include "tests/crash_report/crash_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "tests/testing/process.h"
#include "tests/testing/waiting.h"

namespace reelkit::testing {
namespace {

[[noreturn]] void BecomeChild(const std::vector<std::string>& argv, const ChildOptions& options,
                              int inputFd, int outputFd) {
  if (inputFd >= 0) {
    ::dup2(inputFd, STDIN_FILENO);
  }
  ::dup2(outputFd, STDOUT_FILENO);
  int unread[2];
  if (options.stdoutReaderGone && ::pipe(unread) == 0) {
    ::close(unread[0]);
    ::dup2(unread[1], STDOUT_FILENO);
    ::signal(SIGPIPE, SIG_DFL);
  }
  if (!options.timeZone.empty()) {
    ::setenv("TZ", options.timeZone.c_str(), 1);
  }
  for (const auto& [name, value] : options.environment) {
    if (value.empty()) {
      ::unsetenv(name.c_str());
    } else {
      ::setenv(name.c_str(), value.c_str(), 1);
    }
  }
  const rlimit noCore{0, 0};
  ::setrlimit(RLIMIT_CORE, &noCore);
  if (options.stackLimitBytes != 0) {
    const rlimit stack{options.stackLimitBytes, options.stackLimitBytes};
    ::setrlimit(RLIMIT_STACK, &stack);
  }
  std::vector<char*> args;
  for (const std::string& arg : argv) {
    args.push_back(const_cast<char*>(arg.c_str()));
  }
  args.push_back(nullptr);
  ::execv(args[0], args.data());
  ::_exit(127);
}

void MakePipe(int (&fds)[2]) {
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
}

// Starts the child with its output on a pipe, and its input on another when input is given (the
// write end then stays with the caller). Returns the pid; output becomes the read end.
pid_t StartChild(const std::vector<std::string>& argv, const ChildOptions& options, int* input,
                 int& output) {
  int out[2];
  MakePipe(out);
  int in[2] = {-1, -1};
  if (input != nullptr) {
    MakePipe(in);
  }
  const pid_t child = ::fork();
  if (child < 0) {
    throw std::runtime_error("fork failed");
  }
  if (child == 0) {
    BecomeChild(argv, options, in[0], out[1]);
  }
  ::close(out[1]);
  output = out[0];
  if (input != nullptr) {
    ::close(in[0]);
    *input = in[1];
  }
  return child;
}

// Reads the rest of the child's output and waits for its end, both within the hang deadline.
ChildOutcome FinishChild(pid_t child, int output, std::string alreadyRead) {
  const auto deadline = std::chrono::steady_clock::now() + kHangDeadline;
  ChildOutcome outcome;
  outcome.pid = child;
  outcome.output = std::move(alreadyRead);
  const bool ended = ReadAllBefore(output, deadline, outcome.output);
  ::close(output);
  int status = 0;
  outcome.hung =
      !WaitForChildBefore(child, ended ? deadline : std::chrono::steady_clock::now(), status) ||
      !ended;
  if (outcome.hung) {
    return outcome;
  }
  if (WIFSIGNALED(status)) {
    outcome.signal = WTERMSIG(status);
  } else if (WIFEXITED(status)) {
    outcome.exitCode = WEXITSTATUS(status);
  }
  return outcome;
}

}  // namespace

ChildOutcome RunChild(const std::vector<std::string>& argv, const ChildOptions& options) {
  int output = -1;
  const pid_t child = StartChild(argv, options, nullptr, output);
  return FinishChild(child, output, {});
}

CHeldChild::CHeldChild(const std::vector<std::string>& argv, const ChildOptions& options) {
  pid_ = StartChild(argv, options, &input_, output_);
}

CHeldChild::~CHeldChild() {
  if (pid_ > 0) {
    // Killed before its input ends, or it would crash.
    int status = 0;
    WaitForChildBefore(pid_, std::chrono::steady_clock::now(), status);
    ::close(input_);
    ::close(output_);
  }
}

std::string CHeldChild::ReadLine() {
  const auto deadline = std::chrono::steady_clock::now() + kHangDeadline;
  std::size_t end = read_.find('\n');
  while (end == std::string::npos) {
    pollfd readable{output_, POLLIN, 0};
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
      return {};
    }
    char buffer[256];
    const ssize_t got = ::read(output_, buffer, sizeof buffer);
    if (got <= 0) {
      return {};
    }
    read_.append(buffer, static_cast<std::size_t>(got));
    end = read_.find('\n');
  }
  std::string line = read_.substr(0, end);
  read_.erase(0, end + 1);
  return line;
}

ChildOutcome CHeldChild::Release() {
  ::close(input_);
  const pid_t child = std::exchange(pid_, -1);
  return FinishChild(child, output_, std::move(read_));
}

std::string CopyExecutable(const std::string& from, const std::filesystem::path& directory) {
  namespace fs = std::filesystem;
  const fs::path to = directory / fs::path(from).filename();
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  fs::permissions(to, fs::perms::owner_all, fs::perm_options::add);
  return to.string();
}

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& directory) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::string> ReportLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string_view rest(text);
  while (!rest.empty()) {
    const std::size_t end = rest.find("\r\n");
    if (end == std::string_view::npos) {
      lines.emplace_back(rest);
      break;
    }
    lines.emplace_back(rest.substr(0, end));
    rest.remove_prefix(end + 2);
  }
  return lines;
}

std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string_view rest(path != nullptr ? path : "");
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    const std::string candidate = std::string(rest.substr(0, colon)) + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon + 1);
  }
  return {};
}

}  // namespace reelkit::testing
