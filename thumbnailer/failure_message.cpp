#include "thumbnailer/failure_message.h"

#include <cerrno>
#include <cstdio>

#include "common/system_error_words.h"

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
    return "its screen data is damaged (" + Hex(failure.code.value) + ")";
  }
  if (failure.code == FailureCode::Fixed(kErrorInvalidData)) {
    return "it holds invalid data";
  }
  if (failure.code == FailureCode::Fixed(kErrorHandleEof)) {
    return "it ends inside a record";
  }
  if (const std::optional<int> error = failure.code.SystemError()) {
    switch (*error) {
      case ETIMEDOUT:
        return "no picture was decoded in the time allowed";
      case ENODATA:
        return "it draws no picture";
      default:
        return SystemErrorWords(*error);
    }
  }
  return "it cannot be read (" + Hex(failure.code.value) + ")";
}

}  // namespace

std::string DescribeFailure(const ConversionFailure& failure) {
  switch (failure.kind) {
    case ConvertErrorKind::InvalidInputFormat:
      return "not a recording";
    case ConvertErrorKind::OpenInputFailed:
      return "cannot open it: " + SystemErrorWords(failure.code.SystemError().value_or(0));
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
