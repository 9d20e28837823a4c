#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace reelkit::testing {

// How a child process ended.
struct ChildOutcome {
  std::string output;  // its standard output
  int signal = 0;      // the signal that ended it, 0 when it exited
  int exitCode = -1;   // its exit code, -1 when a signal ended it
  int pid = 0;
  bool hung = false;  // still running at the hang deadline, and killed then
};

struct ChildOptions {
  std::size_t stackLimitBytes = 0;  // 0 keeps the inherited limit
  bool stdoutReaderGone = false;    // standard output is a pipe whose reader has closed it
  std::string timeZone;             // TZ, when not empty
  // Variables set for the program; an empty value unsets the variable.
  std::vector<std::pair<std::string, std::string>> environment;
};

// Runs a program with system core dumps switched off, so only the reporter's dump appears. A run
// still going at the hang deadline is killed: a report that hangs fails its test, never the suite.
ChildOutcome RunChild(const std::vector<std::string>& argv, const ChildOptions& options = {});

// A child run as RunChild runs it, with its standard input a pipe the test holds open: the
// trigger's "on-release" crashes wait for that input to end. The child is killed if never released.
class CHeldChild {
 public:
  CHeldChild(const std::vector<std::string>& argv, const ChildOptions& options = {});
  ~CHeldChild();
  CHeldChild(const CHeldChild&) = delete;
  CHeldChild& operator=(const CHeldChild&) = delete;

  // The next line of its standard output, without the newline; empty when none came before the
  // hang deadline.
  std::string ReadLine();
  // Ends its input and waits for it to end.
  ChildOutcome Release();

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string read_;  // output read and not yet handed out
};

// Copies an executable into a directory, keeping it executable; returns the new path.
std::string CopyExecutable(const std::string& from, const std::filesystem::path& directory);

// The files of a directory, sorted by name; empty when it does not exist.
std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& directory);

// Splits a report into its lines, which end in CR LF; a last line without one is kept too.
std::vector<std::string> ReportLines(const std::string& text);

// Where a program is found on PATH; empty when it is not.
std::string FindOnPath(const std::string& program);

}  // namespace reelkit::testing
