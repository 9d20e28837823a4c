#pragma once

#include <cstdint>

namespace reelkit {

// The fixed error numbers that travel through the system. Where a failed system call is the
// cause, its errno value is passed instead.
inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorInvalidFunction = 1;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidData = 13;
inline constexpr std::uint32_t kErrorHandleEof = 38;
inline constexpr std::uint32_t kErrorBusy = 170;
inline constexpr std::uint32_t kStatusAccessViolation = 0xC0000005;
inline constexpr std::uint32_t kStatusArrayBoundsExceeded = 0xC000008C;
inline constexpr std::uint32_t kResultUnexpected = 0x8000FFFF;
inline constexpr std::uint32_t kResultFail = 0x80004005;
// The one code of the system facility the pipeline makes itself rather than from an errno.
inline constexpr std::uint32_t kResultInvalidArgument = 0x80070057;
// A system error passed up the pipeline: errno in the low 16 bits of the system facility.
inline constexpr std::uint32_t kSystemErrorFacility = 0x80070000;

constexpr std::uint32_t ResultOfSystemError(int error) {
  return kSystemErrorFacility | (static_cast<std::uint32_t>(error) & 0xFFFFu);
}

// A system error the pipeline passed up (a full disk, say), as opposed to a code of its own.
constexpr bool IsPassedUpSystemError(std::uint32_t code) {
  return (code & 0xFFFF0000u) == kSystemErrorFacility && code != kResultInvalidArgument;
}

// A picture wider or higher than Microsoft Video 1 output can hold (kMaxBlockCodedSide); refused
// before the output file is made.
inline constexpr std::uint32_t kResultTooLargeForMsvideo1 = 0xA0040001;

}  // namespace reelkit
