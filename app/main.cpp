// Start-up: with arguments the program converts one file on the command line; without, it opens
// the wizard.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "app/command_line.h"
#include "app/convert_file.h"
#include "app/stdout_client.h"
#include "avi/avi_recorder.h"
#include "support/crash_reporter.h"

namespace {

constexpr int kExitConverted = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// A standard stream closed by whoever started us would hand its number to the next file opened,
// and the console text would then be written into the video. Each one gets /dev/null instead.
void KeepStandardStreamsSafe() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) < 0) {
      // The lowest free number is taken, and that is fd: the ones below it are open by now.
      ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
  }
  // A console reader that went away must not end the conversion and cost the video.
  ::signal(SIGPIPE, SIG_IGN);
}

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
  std::printf(
      "The conversion wizard is not built yet; convert from the command line with -in and -out.\n");
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  KeepStandardStreamsSafe();
  // Before anything that can fail, so that a failure anywhere later still leaves a report behind.
  reelkit::InstallCrashReporter();
  if (argc > 1) {
    return RunCommandLine(argc, argv);
  }
  return RunWizard();
}
