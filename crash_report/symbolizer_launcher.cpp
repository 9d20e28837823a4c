#include "crash_report/symbolizer_launcher.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>

#include "crash_report/bounded_text.h"
#include "crash_report/crash_child.h"

namespace reelkit {
namespace {

// Reading the debug information of a large program takes a few seconds at worst.
constexpr std::int64_t kHelperTimeoutMilliseconds = 20'000;
constexpr int kArgumentCount = kMaxStackFrames + 2;

using ArgumentText = CBoundedText<24>;

CBoundedText<4096> helperPath;
ArgumentText argumentTexts[kArgumentCount];
char* argumentVector[kArgumentCount + 1];
char helperOutput[kReportCapacity];

// argv: the helper, the process id, then "0x<return address>" or "=0x<faulting address>" for each
// frame, outermost first.
void BuildArguments(const StackTrace& trace) {
  int count = 0;
  argumentVector[count++] = const_cast<char*>(helperPath.CString());
  argumentTexts[count].Clear();
  argumentTexts[count].AppendDecimal(static_cast<std::uint64_t>(::getpid()));
  argumentVector[count] = const_cast<char*>(argumentTexts[count].CString());
  ++count;
  for (int frame = trace.count - 1; frame >= 0; --frame) {
    ArgumentText& text = argumentTexts[count];
    text.Clear();
    text.Append(trace.frames[frame].exact ? "=0x" : "0x").AppendHex(trace.frames[frame].address);
    argumentVector[count++] = const_cast<char*>(text.CString());
  }
  argumentVector[count] = nullptr;
}

// The last whole lines of the helper's output that fit in the room left: the frames nearest the
// crash come last.
std::string_view LastLinesThatFit(std::string_view output, const OutputTail& tail,
                                  std::size_t room) {
  std::size_t start = 0;
  if (tail.startsInsideLine) {
    start = output.find('\n');
    if (start == std::string_view::npos) {
      return {};
    }
    ++start;
  }
  while (output.size() - start > room) {
    const std::size_t lineEnd = output.find('\n', start);
    if (lineEnd == std::string_view::npos) {
      return {};
    }
    start = lineEnd + 1;
  }
  return output.substr(start);
}

[[noreturn]] void RunHelper(int outputFd) {
  ::dup2(outputFd, STDOUT_FILENO);
  const int nothing = ::open("/dev/null", O_RDWR);
  if (nothing >= 0) {
    ::dup2(nothing, STDIN_FILENO);
    ::dup2(nothing, STDERR_FILENO);
  }
  // An empty environment: the helper needs none, and so never reaches for a debuginfo server.
  char* environment[] = {nullptr};
  ::execve(argumentVector[0], argumentVector, environment);
  ::_exit(127);
}

}  // namespace

bool PrepareSymbolizer(std::string_view privateDirectory) {
  helperPath.Clear();
  if (privateDirectory.empty()) {
    return false;
  }
  helperPath.Append(privateDirectory).Append("/").Append(kSymbolizerFileName);
  return !helperPath.Truncated();
}

void AppendSymbolizedStack(const StackTrace& trace, ReportText& report) {
  if (trace.count == 0 || helperPath.Size() == 0) {
    return;
  }
  BuildArguments(trace);
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    return;
  }
  // _Fork runs no fork handlers, which could take locks the crashed process holds.
  const pid_t helper = ::_Fork();
  if (helper == 0) {
    RunHelper(pipeFds[1]);
  }
  ::close(pipeFds[1]);
  if (helper < 0) {
    ::close(pipeFds[0]);
    return;
  }
  OutputTail tail;
  const bool closed = ReadTailUntilClosed(pipeFds[0], helperOutput, sizeof helperOutput, tail,
                                          kHelperTimeoutMilliseconds);
  ::close(pipeFds[0]);
  if (ReapChild(helper, closed)) {
    report.Append(LastLinesThatFit(std::string_view(helperOutput, tail.size), tail, report.Room()));
  }
}

}  // namespace reelkit
