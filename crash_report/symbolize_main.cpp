// The crash reporter's helper: prints the stack lines of a crashed process that waits for it.
//   reelkit-symbolize <pid> <frame>...
// Each frame is "0x<return address>" or "=0x<address of the faulting instruction>"; the lines
// come out in the order given.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "crash_report/dwarf_symbolizer.h"
#include "crash_report/report_lines.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitNoModules = 1;

struct FrameArgument {
  std::uint64_t address = 0;
  bool exact = false;
};

template <typename Number>
bool ParseNumber(std::string_view text, int base, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool ParseFrame(std::string_view text, FrameArgument& frame) {
  frame.exact = text.starts_with('=');
  if (frame.exact) {
    text.remove_prefix(1);
  }
  if (!text.starts_with("0x")) {
    return false;
  }
  return ParseNumber(text.substr(2), 16, frame.address);
}

}  // namespace

int main(int argc, char** argv) {
  // Never wait on a network for debug information: the crashed process is waiting for us.
  ::unsetenv("DEBUGINFOD_URLS");
  pid_t process = 0;
  if (argc < 2 || !ParseNumber(std::string_view(argv[1]), 10, process) || process <= 0) {
    std::fprintf(stderr, "usage: %s <pid> <0xreturn-address | =0xfault-address>...\n", argv[0]);
    return kExitUsage;
  }
  const reelkit::CDwarfSymbolizer symbolizer(process);
  if (!symbolizer.Ready()) {
    return kExitNoModules;
  }
  for (int i = 2; i < argc; ++i) {
    FrameArgument frame;
    if (!ParseFrame(argv[i], frame)) {
      std::fprintf(stderr, "%s: not a frame address: %s\n", argv[0], argv[i]);
      return kExitUsage;
    }
    reelkit::ReportText line;
    symbolizer.AppendFrame(frame.address, frame.exact, line);
    std::fwrite(line.View().data(), 1, line.Size(), stdout);
  }
  return std::fflush(stdout) == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
