#pragma once

#include <string_view>

#include "support/bounded_text.h"
#include "support/civil_time.h"

namespace reelkit {

using DiagPath = CBoundedText<4096>;

// The "diag" directory beside the executable: "/opt/reelkit/bin/reelkit" gives
// "/opt/reelkit/bin/diag". False when the path names no directory or does not fit.
bool MakeDiagDirectoryName(std::string_view executablePath, DiagPath& directory);

// The diagnostic file for a crash at the given local time: "/opt/reelkit/bin/reelkit" and ".txt"
// give "/opt/reelkit/bin/diag/reelkit-0053-20240305-140709.txt". The executable's extension, if
// its file name has one, is replaced. False when the result does not fit.
bool MakeDiagFileName(std::string_view executablePath, const CivilTime& localTime,
                      std::string_view extension, DiagPath& fileName);

}  // namespace reelkit
