#include "common/error_codes.h"

#include <cstring>

namespace reelkit {

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
    case kResultTooLargeForMsvideo1:
      return "Microsoft Video 1 (MSVC) holds pictures of at most 65532 pixels each way; convert "
             "this recording to MRLE or VQSC.";
    default:
      break;
  }
  if (code < 4096) {
    // strerror_r's GNU form returns the text, which may or may not live in the buffer.
    char buffer[256];
    return ::strerror_r(static_cast<int>(code), buffer, sizeof buffer);
  }
  return "Unknown error.";
}

}  // namespace reelkit
