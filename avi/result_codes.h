#pragma once

#include <cstdint>

#include "common/error_codes.h"

namespace reelkit {

// Result codes of the recording pipeline beside the shared ones (kResultUnexpected, kResultFail).
inline constexpr std::uint32_t kResultInvalidArgument = 0x80070057;

}  // namespace reelkit
