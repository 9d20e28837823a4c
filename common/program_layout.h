#pragma once

#include <string>

namespace reelkit {

// Where the program's own files are, found from the running executable rather than from a
// prefix fixed at build time, so that one build runs from any prefix (/usr, /opt/reelkit,
// ~/.local) and from its build tree. Installed, the codec module and the crash symbolizer live in
// a private folder of the install layout (lib/<multiarch>/reelkit beside bin/); in a build tree
// they lie beside the executable.
struct ProgramLayout {
  std::string executableDirectory;  // empty when the executable's path is unknown
  std::string privateDirectory;     // the codec module and the crash symbolizer
  bool installed = false;           // the private folder is the install layout's
};

// The layout around the executable at the given absolute path.
ProgramLayout ProgramLayoutOf(const std::string& executablePath);

// The layout around the running executable.
ProgramLayout CurrentProgramLayout();

}  // namespace reelkit
