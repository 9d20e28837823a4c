// Start-up: with arguments the program converts one file on the command line; without, it opens
// the wizard.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/command_line.h"
#include "app/interruption.h"
#include "app/stdout_client.h"
#include "engine/convert.h"
#include "support/crash_reporter.h"
#include "wizard/run_wizard.h"

namespace {

constexpr int kExitConverted = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitBySignal = 128;

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

// What the output path held, to tell afterwards whether a conversion changed it.
struct FileStamp {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec changed{};

  static FileStamp Of(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
      return {};
    }
    return {true, info.st_dev, info.st_ino, info.st_size, info.st_ctim};
  }
  bool IsUnchangedSince(const FileStamp& other) const {
    return exists == other.exists && device == other.device && inode == other.inode &&
           size == other.size && changed.tv_sec == other.changed.tv_sec &&
           changed.tv_nsec == other.changed.tv_nsec;
  }
};

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

int RunWizard() {
  // The wizard offers pass-through output too, which needs the screen codec's module.
  reelkit::RegisterCodecModule();
  return reelkit::RunWizardApplication(reelkit::ConvertFile);
}

}  // namespace

int main(int argc, char** argv) {
  KeepStandardStreamsSafe();
  // Before anything that can fail, so that a failure anywhere later still leaves a report behind.
  reelkit::InstallCrashReporter();
  if (argc > 1) {
    reelkit::InstallInterruptionHandlers();
    return RunCommandLine(argc, argv);
  }
  return RunWizard();
}
