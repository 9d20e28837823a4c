// Start-up: with arguments the program converts one file on the command line; without, it opens
// the wizard.
#include "app/command_line.h"
#include "app/convert_file.h"
#include "app/stdout_client.h"
#include "avi/avi_recorder.h"
#include "support/crash_reporter.h"
#include "wizard/run_wizard.h"

namespace {

constexpr int kExitConverted = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int RunCommandLine(int argc, char** argv) {
  using namespace reelkit;
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
  const bool converted = ConvertFile(commandLine.inputPath, commandLine.outputPath, format, client);
  return converted ? kExitConverted : kExitFailed;
}

int RunWizard() {
  // The wizard offers pass-through output too, which needs the screen codec's module.
  reelkit::RegisterCodecModule();
  return reelkit::RunWizardApplication(reelkit::ConvertFile);
}

}  // namespace

int main(int argc, char** argv) {
  // First of all, so that a failure anywhere later still leaves a report behind.
  reelkit::InstallCrashReporter();
  if (argc > 1) {
    return RunCommandLine(argc, argv);
  }
  return RunWizard();
}
