#include "app/wizard_hand_over.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/command_line.h"
#include "common/program_layout.h"

namespace reelkit {

void HandOverToWizard(const std::string& applicationName) {
  const ProgramLayout layout = CurrentProgramLayout();
  const std::string wizard = layout.executableDirectory + "/" + REELKIT_WIZARD_PROGRAM;
  int error = ENOENT;
  if (!layout.executableDirectory.empty()) {
    char* const argv[] = {const_cast<char*>(wizard.c_str()), nullptr};
    ::execv(wizard.c_str(), argv);
    error = errno;
  }
  if (error == ENOENT) {
    std::printf("The conversion wizard is not installed; it comes in the package %s.\n",
                REELKIT_WIZARD_PACKAGE);
  } else {
    std::printf("The conversion wizard %s could not be started: %s.\n", wizard.c_str(),
                std::strerror(error));
  }
  PrintUsage({}, applicationName);
}

}  // namespace reelkit
