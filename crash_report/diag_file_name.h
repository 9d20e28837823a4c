#pragma once

#include <string_view>

#include "crash_report/bounded_text.h"
#include "crash_report/civil_time.h"

namespace reelkit {

using DiagPath = CBoundedText<4096>;

// The "diag" directory beside the executable, where a program run from its build tree keeps its
// reports: "/work/build/app/reelkit" gives "/work/build/app/diag". False when the path names no
// directory or does not fit.
bool MakeDiagDirectoryName(std::string_view executablePath, DiagPath& directory);

// The user's own "diag" directory, where an installed program keeps its reports (its own folder
// is the system's, and shared by every user): "reelkit/diag" under the state home, which is
// $XDG_STATE_HOME when that is an absolute path and ~/.local/state otherwise. Takes the two
// variables' values (empty when unset). False when neither gives an absolute path or the result
// does not fit.
bool MakeStateDiagDirectoryName(std::string_view stateHome, std::string_view home,
                                DiagPath& directory);

// The diagnostic file in that directory for a crash at the given local time: "/var/diag",
// "/opt/reelkit/bin/reelkit" and ".txt" give "/var/diag/reelkit-0053-20240305-140709.txt". The
// executable's extension, if its file name has one, is replaced. False when the result does not
// fit.
bool MakeDiagFileName(std::string_view directory, std::string_view executablePath,
                      const CivilTime& localTime, std::string_view extension, DiagPath& fileName);

}  // namespace reelkit
