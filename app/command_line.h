#pragma once

#include <string>
#include <vector>

#include "common/output_format.h"

namespace reelkit {

struct CommandLine {
  std::string inputPath;
  std::string outputPath;
  std::string invalidArgument;  // the first unrecognised option token, if any
};

// The program's arguments as tokens: an argument of blanks and tabs only gives no token.
std::vector<std::string> TokenizeArguments(int argc, const char* const* argv);

// "-probe FILE...": the files to classify, every argument after "-probe" exactly as given (one
// output line is printed per argument, so none may be dropped). False when the first argument is
// not "-probe".
bool ProbePathsOf(int argc, const char* const* argv, std::vector<std::string>& paths);

// Walks the tokens as (option, value) pairs: "-in", "-out" and "-fourcc", compared exactly.
// The format index changes only for a recognised "-fourcc" value. Returns true when both paths
// are set; otherwise prints the usage text (after "Invalid argument: ..." when an unknown option
// stopped the walk) and returns false.
bool ParseCommandLine(const std::vector<std::string>& tokens, const std::string& applicationName,
                      CommandLine& result, OutputFormat& format);

// Prints the usage text, after "Invalid argument: ..." when invalidArgument is not empty.
void PrintUsage(const std::string& invalidArgument, const std::string& applicationName);

// The executable's file name without directory and extension.
std::string ApplicationNameOf(const char* argv0);

}  // namespace reelkit
