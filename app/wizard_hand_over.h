#pragma once

#include <string>

namespace reelkit {

// The wizard is a program of its own, so that the command line links no GUI toolkit and runs on a
// server without one. Started without arguments, the command line replaces itself by the wizard
// installed beside it: found from its own executable, never on PATH or in the current folder.
//
// Returns only when the wizard could not be started: it has then said why (naming the package
// that holds the wizard when it is not installed) and printed the usage text.
void HandOverToWizard(const std::string& applicationName);

}  // namespace reelkit
