#include "app/command_line.h"

#include <cstdio>
#include <filesystem>

namespace reelkit {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool IsBlankOnly(const std::string& text) {
  for (char c : text) {
    if (!IsBlank(c)) {
      return false;
    }
  }
  return true;
}

// Any other value leaves the format as it was.
void ApplyFourCCOption(const std::string& value, OutputFormat& format) {
  if (const OutputFormatDescriptor* row = FindOutputFormatNamed(value)) {
    format = row->format;
  }
}

}  // namespace

void PrintUsage(const std::string& invalidArgument, const std::string& applicationName) {
  if (!invalidArgument.empty()) {
    std::printf("Invalid argument: %s\n", invalidArgument.c_str());
  }
  std::printf("To convert a raw .rcrec file to .avi:\n");
  std::printf("\t%s -in <inputfilename> -out <outputfilename>\n\n", applicationName.c_str());
  std::printf("To convert it to H.264 in an .mp4 file that browsers and phones play:\n");
  std::printf("\t%s -in <inputfilename> -out <outputfilename> -fourcc H264\n\n",
              applicationName.c_str());
  std::printf("To tell which files are recordings, one line per file (raw recording,\n"
              "screen-stream AVI or not a recording); exit status 0 when all of them are:\n");
  std::printf("\t%s -probe <filename>...\n\n", applicationName.c_str());
}

bool ProbePathsOf(int argc, const char* const* argv, std::vector<std::string>& paths) {
  if (argc < 2 || std::string(argv[1]) != "-probe") {
    return false;
  }
  paths.assign(argv + 2, argv + argc);
  return true;
}

std::vector<std::string> TokenizeArguments(int argc, const char* const* argv) {
  std::vector<std::string> tokens;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (!IsBlankOnly(argument)) {
      tokens.push_back(std::move(argument));
    }
  }
  return tokens;
}

bool ParseCommandLine(const std::vector<std::string>& tokens, const std::string& applicationName,
                      CommandLine& result, OutputFormat& format) {
  for (std::size_t i = 0; i < tokens.size(); i += 2) {
    const std::string& option = tokens[i];
    const bool known = option == "-in" || option == "-out" || option == "-fourcc";
    if (!known) {
      result.invalidArgument = option;
      result.inputPath.clear();
      result.outputPath.clear();
      break;
    }
    if (i + 1 >= tokens.size()) {
      break;  // a dangling option is ignored
    }
    const std::string& value = tokens[i + 1];
    if (option == "-in") {
      result.inputPath = value;
    } else if (option == "-out") {
      result.outputPath = value;
    } else {
      ApplyFourCCOption(value, format);
    }
  }
  if (result.inputPath.empty() || result.outputPath.empty()) {
    PrintUsage(result.invalidArgument, applicationName);
    return false;
  }
  return true;
}

std::string ApplicationNameOf(const char* argv0) {
  if (argv0 == nullptr || *argv0 == '\0') {
    return "reelkit";
  }
  return std::filesystem::path(argv0).stem().string();
}

}  // namespace reelkit
