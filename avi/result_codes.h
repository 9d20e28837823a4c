#pragma once

#include <cerrno>
#include <cstdint>

#include "common/error_codes.h"

namespace reelkit {

// Result codes of the recording pipeline beside the shared ones (kResultUnexpected, kResultFail).
inline constexpr std::uint32_t kResultInvalidArgument = 0x80070057;

// A system error passed up the pipeline: errno in the low 16 bits of the system facility.
constexpr std::uint32_t ResultOfSystemError(int error) {
  return 0x80070000u | (static_cast<std::uint32_t>(error) & 0xFFFFu);
}
inline constexpr std::uint32_t kResultOutOfMemory = ResultOfSystemError(ENOMEM);

}  // namespace reelkit
