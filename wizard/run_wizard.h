#pragma once

#include <string>
#include <vector>

#include "wizard/conversion_runner.h"

namespace reelkit {

// Shows the wizard in the user's language and returns the program's exit status once it closes.
// Without a display to show it on, it says so in one sentence on standard output (with the way
// to convert from the command line) and returns kExitNoDisplay, the status of a usage text.
// Given files (the desktop's Open With) are chosen already, as CReelkitMainSheet::OpenWithFiles
// chooses them.
inline constexpr int kExitNoDisplay = 2;
int RunWizardApplication(ConvertFunction convert, const std::vector<std::string>& givenFiles);

}  // namespace reelkit
