#include "gstreamer/failure_report.h"

#include <string>

#include "common/failure_text.h"

namespace reelkit::gst {
namespace {

// Which GStreamer error a failure is reported as.
enum class ErrorClass { WrongType, OpenRead, Read, Demux, Decode, NoSpace, Failed };

struct Report {
  ErrorClass kind = ErrorClass::Failed;
  std::string sentence;
};

ErrorClass ClassOf(const ConversionFailure& failure) {
  switch (failure.kind) {
    case ConvertErrorKind::InvalidInputFormat:
      return ErrorClass::WrongType;
    case ConvertErrorKind::OpenInputFailed:
      return ErrorClass::OpenRead;
    case ConvertErrorKind::NoPicture:
      return ErrorClass::Demux;
    case ConvertErrorKind::ReadInputFailed:
      break;
    default:
      return ErrorClass::Failed;
  }
  if (std::holds_alternative<DamagedScreenData>(failure.cause)) {
    return ErrorClass::Decode;
  }
  if (std::holds_alternative<OutOfMemory>(failure.cause)) {
    return ErrorClass::NoSpace;
  }
  return failure.code.SystemError() ? ErrorClass::Read : ErrorClass::Demux;
}

// The facts of the failure in the English the console uses; a failure that states none (not a
// recording, invalid data) has a sentence of its kind.
std::string SentenceOf(const ConversionFailure& failure) {
  std::string sentence;
  for (const CauseStatement& statement : ExplainFailure(failure)) {
    sentence += (sentence.empty() ? "" : " ") + EnglishSentence(statement);
  }
  if (!sentence.empty()) {
    return sentence;
  }
  switch (failure.kind) {
    case ConvertErrorKind::InvalidInputFormat:
      return "This is not a screen recording that can be played.";
    case ConvertErrorKind::ReadInputFailed:
      return "The recording holds invalid data.";
    default:
      return "The recording could not be played.";
  }
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
  const Report report{ClassOf(failure), SentenceOf(failure)};
  const std::string debug = "failure kind " + std::to_string(static_cast<int>(failure.kind)) +
                            ", code " + std::to_string(failure.code.value);
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
