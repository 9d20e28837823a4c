#pragma once

#include <cerrno>
#include <cstdint>

#include "common/error_codes.h"

namespace reelkit {

// Result codes of the recording pipeline beside the shared ones in common/error_codes.h.
inline constexpr std::uint32_t kResultOutOfMemory = ResultOfSystemError(ENOMEM);

}  // namespace reelkit
