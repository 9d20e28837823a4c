#include "thumbnailer/failure_message.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace reelkit {
namespace {

std::string Hex(std::uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", code);
  return text;
}

std::string DescribeReadFailure(const ConversionFailure& failure) {
  if (const auto* refusal = std::get_if<LimitRefusal>(&failure.cause)) {
    return "it asks for " + std::to_string(refusal->asked) + " where a limit allows " +
           std::to_string(refusal->allowed);
  }
  if (std::holds_alternative<DamagedScreenData>(failure.cause)) {
    return "its screen data is damaged (" + Hex(failure.code) + ")";
  }
  switch (failure.code) {
    case kErrorInvalidData:
      return "it holds invalid data";
    case kErrorHandleEof:
      return "it ends inside a record";
    case ETIMEDOUT:
      return "no picture was decoded in the time allowed";
    case ENODATA:
      return "it draws no picture";
    default:
      return std::strerror(static_cast<int>(failure.code));
  }
}

}  // namespace

std::string DescribeFailure(const ConversionFailure& failure) {
  switch (failure.kind) {
    case ConvertErrorKind::InvalidInputFormat:
      return "not a recording";
    case ConvertErrorKind::OpenInputFailed:
      return std::string("cannot open it: ") + std::strerror(static_cast<int>(failure.code));
    case ConvertErrorKind::ReadInputFailed:
      return DescribeReadFailure(failure);
    default:
      if (const auto* unexpected = std::get_if<UnexpectedFailure>(&failure.cause)) {
        return "unexpected failure: " + unexpected->what;
      }
      return "unexpected failure";
  }
}

}  // namespace reelkit
