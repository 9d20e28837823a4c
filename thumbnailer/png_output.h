#pragma once

#include <string>

#include "engine/still_picture.h"

namespace reelkit {

// Writes picture as a PNG at path, or nothing: the PNG goes to a temporary file beside path,
// which is renamed over path only once it is complete, and removed otherwise. Returns 0 or the
// errno of the step that failed (EIO when the encoder failed).
int WritePngAtomically(const std::string& path, const StillPicture& picture);

}  // namespace reelkit
