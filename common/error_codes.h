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
// A picture wider or higher than Microsoft Video 1 output can hold (kMaxBlockCodedSide); refused
// before the output file is made.
inline constexpr std::uint32_t kResultTooLargeForMsvideo1 = 0xA0040001;

}  // namespace reelkit
