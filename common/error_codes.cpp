#include "common/error_codes.h"

#include <cstring>

#include "common/picture_rules.h"

namespace reelkit {
namespace {

// The pipeline passes system errors up inside this facility, errno in the low 16 bits.
constexpr std::uint32_t kSystemFacility = 0x80070000;
constexpr std::uint32_t kFacilityMask = 0xFFFF0000;
// The one code of that facility the pipeline makes itself rather than from an errno.
constexpr std::uint32_t kPipelineInvalidArgument = 0x80070057;

std::string SystemErrorText(std::uint32_t error) {
  // strerror_r's GNU form returns the text, which may or may not live in the buffer.
  char buffer[256];
  return ::strerror_r(static_cast<int>(error), buffer, sizeof buffer);
}

}  // namespace

std::string DescribeErrorCode(std::uint32_t code) {
  switch (code) {
    case kErrorSuccess:
      return "The operation completed successfully.";
    case kErrorInvalidData:
      return "The data is invalid.";
    case kErrorHandleEof:
      return "Reached the end of the file.";
    case kErrorBusy:
      return "The requested resource is in use.";
    case kStatusAccessViolation:
      return "The screen stream tried to reach memory outside its picture.";
    case kStatusArrayBoundsExceeded:
      return "The screen stream named a position outside its picture.";
    case kResultUnexpected:
      return "The video pipeline is not ready for this operation.";
    case kResultFail:
      return "The video pipeline reported a failure.";
    case kPipelineInvalidArgument:
      return "The video pipeline was given a value it does not accept.";
    case kResultTooLargeForMsvideo1:
      return "Microsoft Video 1 (MSVC) holds pictures of at most " +
             std::to_string(kMaxBlockCodedSide) +
             " pixels each way; convert this recording to MRLE or VQSC.";
    default:
      break;
  }
  if (code < 4096) {
    return SystemErrorText(code);
  }
  if ((code & kFacilityMask) == kSystemFacility) {
    return SystemErrorText(code & ~kFacilityMask);
  }
  return "Unknown error.";
}

}  // namespace reelkit
