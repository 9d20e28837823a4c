#pragma once

#include <string>

namespace reelkit {

// The system's own sentence for an errno value ("No space left on device"), in the words every
// front end shows beside its own; empty when the system has none.
std::string SystemErrorWords(int error);

}  // namespace reelkit
