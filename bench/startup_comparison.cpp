// Start-up of the command line beside ffmpeg's: `reelkit -in` (which prints the usage text and
// loads nothing more) against `ffmpeg -version`, in pairs run back to back in alternating order,
// so that a change of the machine's load falls on both; each side's figure is its median wall
// time. Prints one Markdown table row.
//
//   reelkit_startup_comparison REELKIT [PAIRS]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/comparison/spawn_actions.h"

extern char** environ;

namespace {

constexpr int kDefaultPairs = 201;
constexpr int kWarmUpPairs = 5;
constexpr double kTargetRatio = 0.60;

// Wall time of one whole run, its output discarded; throws unless it exits with the status given.
double RunSeconds(const std::vector<std::string>& arguments, int expectedStatus) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  reelkit::bench::CSpawnActions actions;
  posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t child = 0;
  if (posix_spawnp(&child, argv[0], actions.get(), nullptr, argv.data(), environ) != 0) {
    throw std::runtime_error("cannot start " + arguments[0]);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child) {
    throw std::runtime_error("lost the child " + arguments[0]);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != expectedStatus) {
    throw std::runtime_error(arguments[0] + " ended otherwise than with status " +
                             std::to_string(expectedStatus));
  }
  return seconds;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s REELKIT [PAIRS]\n", argv[0]);
    return 2;
  }
  const std::vector<std::string> reelkit = {argv[1], "-in"};
  const std::vector<std::string> ffmpeg = {"ffmpeg", "-version"};
  const int pairs = argc == 3 ? std::stoi(argv[2]) : kDefaultPairs;
  try {
    std::vector<double> ours;
    std::vector<double> theirs;
    for (int pair = -kWarmUpPairs; pair < pairs; ++pair) {
      const bool oursFirst = pair % 2 == 0;
      const double first = RunSeconds(oursFirst ? reelkit : ffmpeg, oursFirst ? 2 : 0);
      const double second = RunSeconds(oursFirst ? ffmpeg : reelkit, oursFirst ? 0 : 2);
      if (pair >= 0) {
        ours.push_back(oursFirst ? first : second);
        theirs.push_back(oursFirst ? second : first);
      }
    }
    const double ratio = Median(ours) / Median(theirs);
    std::printf(
        "| Start-up: `reelkit` printing its usage, median of %d paired runs | %.1f ms | "
        "`ffmpeg -version` %.1f ms | %.2f | <= %.2f | %s |\n",
        pairs, Median(ours) * 1e3, Median(theirs) * 1e3, ratio, kTargetRatio,
        ratio <= kTargetRatio ? "met" : "**not met**");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "reelkit_startup_comparison: %s\n", error.what());
    return 1;
  }
  return 0;
}
