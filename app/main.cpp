// Start-up of the command line: with arguments it converts one file; without, it hands over to
// the wizard.
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/console_client.h"
#include "app/interruption.h"
#include "app/standard_streams.h"
#include "app/wizard_hand_over.h"
#include "common/file_stamp.h"
#include "crash_report/crash_reporter.h"
#include "engine/convert.h"

namespace {

constexpr int kExitConverted = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitBySignal = 128;

// The batch front end picks recordings with this, so that it takes exactly the files a
// conversion would accept; the name plays no part.
int ProbeFiles(const std::vector<std::string>& paths) {
  bool allRecordings = true;
  for (const std::string& path : paths) {
    reelkit::InputKind kind{};
    if (!reelkit::DetectInputKind(path, kind)) {
      allRecordings = false;
      std::puts("not a recording");
    } else {
      std::puts(kind == reelkit::InputKind::RawRecording ? "raw recording" : "screen-stream AVI");
    }
  }
  return allRecordings ? kExitConverted : kExitFailed;
}

int RunCommandLine(int argc, char** argv) {
  using namespace reelkit;
  if (std::vector<std::string> probed; ProbePathsOf(argc, argv, probed)) {
    if (probed.empty()) {
      PrintUsage({}, ApplicationNameOf(argv[0]));
      return kExitUsage;
    }
    return ProbeFiles(probed);
  }
  const std::vector<std::string> tokens = TokenizeArguments(argc, argv);
  CommandLine commandLine;
  OutputFormat format = OutputFormat::MicrosoftVideo1;
  if (!ParseCommandLine(tokens, ApplicationNameOf(argv[0]), commandLine, format)) {
    return kExitUsage;
  }
  // Pass-through output needs the screen codec's module, which a command-line run registers
  // itself: there is no registry that an earlier wizard run could have filled.
  RegisterCodecModule();
  CStdOutConverterClient client(format);
  // What the output path held, to tell afterwards whether the conversion changed it.
  const FileStamp before = FileStamp::Of(commandLine.outputPath);
  const bool converted = ConvertFile(commandLine.inputPath, commandLine.outputPath, format, client);
  if (converted) {
    return kExitConverted;
  }
  if (const int signalNumber = InterruptingSignal(); signalNumber != 0) {
    client.OnInterrupted(!FileStamp::Of(commandLine.outputPath).IsUnchangedSince(before));
    return kExitBySignal + signalNumber;
  }
  return kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
  reelkit::KeepStandardStreamsSafe();
  if (argc <= 1) {
    reelkit::HandOverToWizard(reelkit::ApplicationNameOf(argv[0]));
    return kExitUsage;
  }
  // Before anything that can fail, so that a failure anywhere later still leaves a report behind.
  reelkit::InstallCrashReporter();
  reelkit::InstallInterruptionHandlers();
  return RunCommandLine(argc, argv);
}
