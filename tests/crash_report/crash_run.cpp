#include "tests/crash_report/crash_run.h"

#include "tests/testing/process.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

namespace reelkit::testing {
namespace {

[[noreturn]] void BecomeChild(const std::vector<std::string>& argv, const ChildOptions& options,
                              int outputFd) {
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

}  // namespace

ChildOutcome RunChild(const std::vector<std::string>& argv, const ChildOptions& options) {
  int fds[2];
  if (::pipe(fds) != 0) {
    throw std::runtime_error("pipe failed");
  }
  const pid_t child = ::fork();
  if (child < 0) {
    throw std::runtime_error("fork failed");
  }
  if (child == 0) {
    ::close(fds[0]);
    BecomeChild(argv, options, fds[1]);
  }
  ::close(fds[1]);
  ChildOutcome outcome;
  outcome.pid = child;
  outcome.output = ReadAll(fds[0]);
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(status)) {
    outcome.signal = WTERMSIG(status);
  } else if (WIFEXITED(status)) {
    outcome.exitCode = WEXITSTATUS(status);
  }
  return outcome;
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
