#include "gstreamer/failure_report.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include "common/error_codes.h"
#include "common/input_limit.h"
#include "common/system_error_words.h"

namespace reelkit::gst {
namespace {

// Which GStreamer error a failure is reported as.
enum class ErrorClass { WrongType, OpenRead, Read, Demux, Decode, NoSpace, Failed };

struct Report {
  ErrorClass kind = ErrorClass::Failed;
  std::string sentence;
};

std::string Hex(std::uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", code);
  return text;
}

std::string Amount(std::uint64_t value, LimitQuantity quantity) {
  switch (quantity) {
    case LimitQuantity::Bytes: {
      const ByteQuantity size = InLargestWholeUnit(value);
      const char* unit = size.unit == ByteUnit::Gibibytes   ? " GiB"
                         : size.unit == ByteUnit::Mebibytes ? " MiB"
                                                            : " bytes";
      return std::to_string(size.count) + unit;
    }
    case LimitQuantity::Hours:
      return std::to_string(value / kLimitUnitsPerHour) + " hours";
    case LimitQuantity::Years:
      return std::to_string(value / kLimitUnitsPerYear) + " years";
    case LimitQuantity::Count:
      break;
  }
  return std::to_string(value);
}

const char* LimitSubject(InputLimit limit) {
  switch (limit) {
    case InputLimit::FormatBlockSize:
      return "its format block";
    case InputLimit::PictureSide:
      return "a picture side, in pixels,";
    case InputLimit::PictureBytes:
      return "a picture at 32 bits per pixel";
    case InputLimit::DecodedPixels:
      return "a picture, in pixels,";
    case InputLimit::DecodedDepth:
      return "its depth, in bits per pixel,";
    case InputLimit::RecordBlockSize:
      return "a record block";
    case InputLimit::ChunkSize:
      return "a chunk";
    case InputLimit::BundleSize:
      return "the records of one frame interval";
    case InputLimit::VideoLength:
      return "its video";
    case InputLimit::Timestamp:
      return "a timestamp";
    case InputLimit::None:
      break;
  }
  return "a value";
}

std::string LimitSentence(const LimitRefusal& refusal) {
  const LimitQuantity quantity = QuantityOf(refusal.limit);
  if (refusal.limit == InputLimit::DecodedDepth) {
    return "The recording cannot be played: its screen of " + std::to_string(refusal.asked) +
           (refusal.asked == 1 ? " bit" : " bits") + " per pixel is one the decoder does not draw.";
  }
  const bool namesAllowedOnly =
      quantity == LimitQuantity::Hours || quantity == LimitQuantity::Years;
  std::string sentence =
      "The recording cannot be played: " + std::string(LimitSubject(refusal.limit));
  if (namesAllowedOnly) {
    return sentence + " would pass the limit of " + Amount(refusal.allowed, quantity) + ".";
  }
  return sentence + " asks for " + Amount(refusal.asked, quantity) + " where the limit is " +
         Amount(refusal.allowed, quantity) + ".";
}

std::string WithSystemWords(const char* sentence, std::uint32_t error) {
  const std::string words = SystemErrorWords(static_cast<int>(error));
  return std::string(sentence) + (words.empty() ? "error " + std::to_string(error) : words) + ".";
}

Report ReadFailure(const ConversionFailure& failure) {
  if (const auto* refusal = std::get_if<LimitRefusal>(&failure.cause)) {
    return {ErrorClass::Demux, LimitSentence(*refusal)};
  }
  if (std::holds_alternative<DamagedScreenData>(failure.cause)) {
    return {ErrorClass::Decode,
            "The recording's screen data is damaged: the decoder stopped with "
            "code " +
                Hex(failure.code) + "."};
  }
  if (std::holds_alternative<OutOfMemory>(failure.cause)) {
    return {ErrorClass::NoSpace, "Memory ran out for what the recording asks."};
  }
  switch (failure.code) {
    case kErrorInvalidData:
      return {ErrorClass::Demux, "The recording holds invalid data."};
    case kErrorHandleEof:
      return {ErrorClass::Demux, "The recording has been cut short: it ends unexpectedly."};
    default:
      return {ErrorClass::Read, WithSystemWords("The recording cannot be read: ", failure.code)};
  }
}

Report ReportOf(const ConversionFailure& failure) {
  switch (failure.kind) {
    case ConvertErrorKind::InvalidInputFormat:
      return {ErrorClass::WrongType, "This is not a screen recording that can be played."};
    case ConvertErrorKind::OpenInputFailed:
      return {ErrorClass::OpenRead,
              WithSystemWords("The recording cannot be opened: ", failure.code)};
    case ConvertErrorKind::ReadInputFailed:
      return ReadFailure(failure);
    case ConvertErrorKind::NoPicture:
      return {ErrorClass::Demux, "The recording holds no picture to show."};
    default:
      break;
  }
  if (const auto* unexpected = std::get_if<UnexpectedFailure>(&failure.cause)) {
    return {ErrorClass::Failed, "The recording could not be played: " + unexpected->what + "."};
  }
  return {ErrorClass::Failed, "The recording could not be played for a reason of no known kind."};
}

// decodebin drops the errors of an element it is still trying out, which it keeps in a locked
// state until it stops filtering them; a stream refused at once would end with no word on the
// bus. So a failure waits, a bounded while, for the element to be left to its bin.
void WaitUntilHeard(GstElement* element) {
  constexpr int kPolls = 2000;
  for (int poll = 0; poll < kPolls && gst_element_is_locked_state(element); ++poll) {
    g_usleep(1000);
  }
}

}  // namespace

void PostFailure(GstElement* element, const ConversionFailure& failure) {
  WaitUntilHeard(element);
  const Report report = ReportOf(failure);
  const std::string debug = "failure kind " + std::to_string(static_cast<int>(failure.kind)) +
                            ", code " + std::to_string(failure.code);
  const char* text = report.sentence.c_str();
  switch (report.kind) {
    case ErrorClass::WrongType:
      GST_ELEMENT_ERROR(element, STREAM, WRONG_TYPE, ("%s", text), ("%s", debug.c_str()));
      break;
    case ErrorClass::OpenRead:
      GST_ELEMENT_ERROR(element, RESOURCE, OPEN_READ, ("%s", text), ("%s", debug.c_str()));
      break;
    case ErrorClass::Read:
      GST_ELEMENT_ERROR(element, RESOURCE, READ, ("%s", text), ("%s", debug.c_str()));
      break;
    case ErrorClass::Demux:
      GST_ELEMENT_ERROR(element, STREAM, DEMUX, ("%s", text), ("%s", debug.c_str()));
      break;
    case ErrorClass::Decode:
      GST_ELEMENT_ERROR(element, STREAM, DECODE, ("%s", text), ("%s", debug.c_str()));
      break;
    case ErrorClass::NoSpace:
      GST_ELEMENT_ERROR(element, RESOURCE, NO_SPACE_LEFT, ("%s", text), ("%s", debug.c_str()));
      break;
    case ErrorClass::Failed:
      GST_ELEMENT_ERROR(element, CORE, FAILED, ("%s", text), ("%s", debug.c_str()));
      break;
  }
}

}  // namespace reelkit::gst
