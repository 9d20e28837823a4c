// Start-up of the wizard: a program of its own, the only one that links the GUI toolkit.
#include <string>
#include <vector>

#include "app/standard_streams.h"
#include "crash_report/crash_reporter.h"
#include "engine/convert.h"
#include "wizard/run_wizard.h"

int main(int argc, char** argv) {
  reelkit::KeepStandardStreamsSafe();
  reelkit::InstallCrashReporter();
  // Every argument is a file to convert, as the desktop passes them for Open With; options stay
  // with the command line, reelkit.
  const std::vector<std::string> givenFiles(argv + 1, argv + argc);
  // The wizard offers pass-through output too, which needs the screen codec's module.
  reelkit::RegisterCodecModule();
  return reelkit::RunWizardApplication(reelkit::ConvertFile, givenFiles);
}
