// Test helper: replays calls on CStdOutConverterClient. Arguments:
//   <format index> then any of  start:<path>  progress:<percent>  error:<kind>:<code>
//   finish:<packets>:<frames>:<key frames>:<spacers>:<seconds>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "app/console_client.h"

namespace {

std::vector<std::string> Fields(const std::string& argument) {
  std::vector<std::string> fields;
  std::stringstream stream(argument);
  std::string field;
  while (std::getline(stream, field, ':')) {
    fields.push_back(field);
  }
  return fields;
}

std::uint32_t Number(const std::string& text) {
  return static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 0));
}

}  // namespace

int main(int argc, char** argv) {
  using namespace reelkit;
  if (argc < 2) {
    return 2;
  }
  CStdOutConverterClient client(static_cast<OutputFormat>(std::atoi(argv[1])));
  for (int i = 2; i < argc; ++i) {
    const std::vector<std::string> f = Fields(argv[i]);
    if (f[0] == "start") {
      client.OnStart(f.at(1));
    } else if (f[0] == "progress") {
      client.OnProgress(std::strtod(f.at(1).c_str(), nullptr));
    } else if (f[0] == "error") {
      // The program's fixed numbers: the console words 38 as the end of the input.
      client.OnError({static_cast<ConvertErrorKind>(std::atoi(f.at(1).c_str())),
                      FailureCode::Fixed(Number(f.at(2))),
                      {}});
    } else if (f[0] == "finish") {
      client.OnFinish({.packets = Number(f.at(1)),
                       .frames = Number(f.at(2)),
                       .keyFrames = Number(f.at(3)),
                       .spacers = Number(f.at(4)),
                       .seconds = Number(f.at(5))});
    } else {
      return 2;
    }
  }
  return 0;
}
