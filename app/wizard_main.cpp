// Start-up of the wizard: a program of its own, the only one that links the GUI toolkit.
#include <cstdio>

#include "app/standard_streams.h"
#include "engine/convert.h"
#include "support/crash_reporter.h"
#include "wizard/run_wizard.h"

namespace {

constexpr int kExitUsage = 2;

}  // namespace

int main(int argc, char**) {
  reelkit::KeepStandardStreamsSafe();
  reelkit::InstallCrashReporter();
  if (argc > 1) {
    std::fputs(
        "The conversion wizard takes no arguments; to convert one file from the command line: "
        "reelkit -in <inputfilename> -out <outputfilename>\n",
        stdout);
    return kExitUsage;
  }
  // The wizard offers pass-through output too, which needs the screen codec's module.
  reelkit::RegisterCodecModule();
  return reelkit::RunWizardApplication(reelkit::ConvertFile);
}
