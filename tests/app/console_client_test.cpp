#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/testing/process.h"

namespace reelkit {
namespace {

using testing::RunProcess;
using testing::StdoutKind;

std::string Drive(StdoutKind kind, std::vector<std::string> calls) {
  calls.insert(calls.begin(), CONSOLE_CLIENT_DRIVER);
  const auto result = RunProcess(calls, kind);
  EXPECT_EQ(result.exitStatus, 0);
  return result.output;
}

std::string Bar(int filled) {
  std::string bar = "\r" + std::string(filled, '#');
  if (filled < 40) {
    bar += std::string(40 - filled, '.');
  }
  return bar;
}

TEST(ConsoleClient, TerminalDrawsTheBarOnlyWhenItGrows) {
  const std::string output = Drive(
      StdoutKind::Terminal, {"2", "start:in.rcrec", "progress:0", "progress:2.5", "progress:2.5",
                             "progress:1", "progress:100", "progress:102.5", "finish:12:30:1:4:3"});
  // A file can claim more than it holds: past 100 percent the bar stays at its 40 cells.
  EXPECT_EQ(output, "in.rcrec\n" + Bar(1) + Bar(40) +
                        " - done.\nRecorded 30 video frames from 12 input packets, total video "
                        "length is 3 seconds\n");
}

TEST(ConsoleClient, RedirectedOutputHasNoBar) {
  const std::string output =
      Drive(StdoutKind::Pipe, {"3", "start:in.rcrec", "progress:0", "progress:2.5", "progress:100",
                               "progress:102.5", "finish:12:30:1:4:3"});
  EXPECT_EQ(output,
            "in.rcrec\nDone.\nRecorded 30 video frames from 12 input packets, total video "
            "length is 3 seconds\n");
}

TEST(ConsoleClient, PassThroughStatisticsNameKeyFramesAndSpacers) {
  const std::string expected =
      "Recorded 6 frames (1 key frames, 1 spacers) from 8 input packets, total video length is "
      "0 seconds\n";
  EXPECT_EQ(Drive(StdoutKind::Pipe, {"0", "finish:8:6:1:1:0"}), "Done.\n" + expected);
  EXPECT_EQ(Drive(StdoutKind::Terminal, {"0", "finish:8:6:1:1:0"}), " - done.\n" + expected);
}

struct ErrorCase {
  const char* name;
  const char* call;
  const char* redirected;
  const char* terminal;
  const char* terminalAfterBar;  // on a terminal, after half the bar was drawn
};

// Names the row instead of dumping its bytes in test listings.
void PrintTo(const ErrorCase& row, std::ostream* out) {
  *out << row.name;
}

class ConsoleClientErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ConsoleClientErrors, PrintsTheFixedText) {
  const ErrorCase& c = GetParam();
  EXPECT_EQ(Drive(StdoutKind::Pipe, {"2", c.call}), c.redirected);
  EXPECT_EQ(Drive(StdoutKind::Terminal, {"2", c.call}), c.terminal);
  EXPECT_EQ(Drive(StdoutKind::Terminal, {"2", "progress:50", c.call}),
            Bar(20) + c.terminalAfterBar);
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, ConsoleClientErrors,
    ::testing::Values(
        ErrorCase{"InvalidInput", "error:0:0", "Invalid input file format.\n",
                  "Invalid input file format.\n", "\nInvalid input file format.\n"},
        ErrorCase{"Unsupported", "error:1:0", "Unsupported output format.\n",
                  "Unsupported output format.\n", "\nUnsupported output format.\n"},
        ErrorCase{"OpenFailed", "error:2:2", "Error 0x00000002 while opening the input file.\n",
                  "Error 0x00000002 while opening the input file.\n",
                  "\nError 0x00000002 while opening the input file.\n"},
        ErrorCase{"ReadEndOfFile", "error:3:38",
                  "Invalid input file. End of file has been reached unexpectedly.\n",
                  "\nInvalid input file. End of file has been reached unexpectedly.\n",
                  "\nInvalid input file. End of file has been reached unexpectedly.\n"},
        ErrorCase{"ReadInvalidData", "error:3:13", "Error 0x0000000d while reading input file.\n",
                  "\nError 0x0000000d while reading input file.\n",
                  "\nError 0x0000000d while reading input file.\n"},
        ErrorCase{"WriteFailed", "error:4:0x80004005",
                  "Error 0x80004005 while writing output file.\n",
                  "\nError 0x80004005 while writing output file.\n",
                  "\nError 0x80004005 while writing output file.\n"},
        ErrorCase{"OutputIsInput", "error:5:0",
                  "The output file is the input file itself; choose another output file name.\n",
                  "The output file is the input file itself; choose another output file name.\n",
                  "\nThe output file is the input file itself; choose another output file name.\n"},
        // A failure the engine has no kind for still says that it failed.
        ErrorCase{"Unexpected", "error:7:1", "The conversion stopped on an unexpected failure.\n",
                  "The conversion stopped on an unexpected failure.\n",
                  "\nThe conversion stopped on an unexpected failure.\n"}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace reelkit
