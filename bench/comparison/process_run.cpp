#include "bench/comparison/process_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>

#include "bench/comparison/spawn_actions.h"

extern char** environ;

namespace reelkit::bench {

namespace {

double Seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) * 1e-6;
}

}  // namespace

ProcessCost RunProcess(const std::vector<std::string>& arguments, const std::string& stdoutPath,
                       const std::string& scratchPath) {
  std::vector<std::string> timed = {"/usr/bin/time", "-f", "%M", "-o", scratchPath};
  timed.insert(timed.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (const std::string& argument : timed) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  CSpawnActions actions;
  const std::string target = stdoutPath.empty() ? "/dev/null" : stdoutPath;
  posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, target.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);

  const auto start = std::chrono::steady_clock::now();
  pid_t child = 0;
  if (posix_spawn(&child, argv[0], actions.get(), nullptr, argv.data(), environ) != 0) {
    throw std::runtime_error("cannot start " + arguments[0] + " under /usr/bin/time");
  }
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) {
    throw std::runtime_error("lost the child " + arguments[0]);
  }
  ProcessCost cost;
  cost.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  cost.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  cost.voluntarySwitches = usage.ru_nvcsw;
  cost.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream report(scratchPath);
  std::string line;
  // A failing child makes time write "Command exited with non-zero status N" first.
  while (std::getline(report, line)) {
    if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) {
      cost.peakResidentKb = std::stol(line);
    }
  }
  if (cost.peakResidentKb == 0) {
    throw std::runtime_error("/usr/bin/time reported no peak memory for " + arguments[0]);
  }
  return cost;
}

}  // namespace reelkit::bench
