#include "app/failure_text.h"

#include <optional>
#include <variant>

#include "common/error_codes.h"
#include "common/picture_rules.h"
#include "common/system_error_words.h"

namespace reelkit {
namespace {

std::string SizeText(std::uint64_t bytes) {
  const ByteQuantity size = InLargestWholeUnit(bytes);
  switch (size.unit) {
    case ByteUnit::Gibibytes:
      return std::to_string(size.count) + " GiB";
    case ByteUnit::Mebibytes:
      return std::to_string(size.count) + " MiB";
    case ByteUnit::Bytes:
      break;
  }
  return std::to_string(size.count) + " bytes";
}

// The limits worded "<before><asked><after> exceeds <ceiling> of <allowed>"; the allowed value is
// a size or a pixel count as QuantityOf says.
struct ExceededLimit {
  InputLimit limit;
  const char* before;
  const char* after;
  const char* ceiling;
};

constexpr ExceededLimit kExceededLimits[] = {
    {InputLimit::FormatBlockSize, "The recording's format block of ", " bytes", "the limit"},
    {InputLimit::PictureSide, "A picture side of ", " pixels", "the limit"},
    {InputLimit::PictureBytes, "A picture of ", " bytes at 32 bits per pixel", "the limit"},
    {InputLimit::DecodedPixels, "A picture of ", " pixels", "the decoder's limit"},
    {InputLimit::RecordBlockSize, "A record block of ", " bytes", "the limit"},
    {InputLimit::ChunkSize, "A chunk of ", " bytes", "the limit"},
};

// The system's own words for errno: our shared codes give some of its numbers other meanings.
std::string WithSystemCause(const char* sentence, std::uint32_t error) {
  return sentence + SystemErrorWords(static_cast<int>(error)) + ".";
}

const char* TypeText(OutputFileType type) {
  switch (type) {
    case OutputFileType::Directory:
      return "a directory";
    case OutputFileType::CharacterDevice:
      return "a character device";
    case OutputFileType::BlockDevice:
      return "a block device";
    case OutputFileType::NamedPipe:
      return "a named pipe";
    case OutputFileType::Socket:
      return "a socket";
    case OutputFileType::Other:
      break;
  }
  return "not a regular file";
}

std::string DescribeOutputRefusal(const OutputRefusal& refusal, std::uint32_t error) {
  using Reason = OutputRefusal::Reason;
  switch (refusal.reason) {
    case Reason::PathKeepsChanging:
      return "The output path keeps changing while it is being opened; nothing was written.";
    case Reason::CannotCreate:
      return WithSystemCause("The output file cannot be created: ", error);
    case Reason::CannotOpen:
      return WithSystemCause("The output file cannot be opened: ", error);
    case Reason::LinkToNothing:
      return "The output path is a symbolic link to a file that does not exist; nothing was "
             "written.";
    case Reason::NotAFile:
      return std::string("The output path is ") + TypeText(refusal.fileType) +
             ", not a file; only a regular file is replaced, and nothing was written.";
    case Reason::CannotWrite:
      return WithSystemCause("The output file cannot be written: ", error);
    case Reason::BeingWritten:
      return "The output file is being written by another conversion; try again when it has "
             "finished.";
    case Reason::CannotLock:
      return WithSystemCause("The output file cannot be locked: ", error);
    case Reason::CannotResolve:
      return WithSystemCause("The output path cannot be resolved: ", error);
  }
  return {};
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
    case kResultInvalidArgument:
      return "The video pipeline was given a value it does not accept.";
    case kResultTooLargeForMsvideo1:
      return "Microsoft Video 1 (MSVC) holds pictures of at most " +
             std::to_string(kMaxBlockCodedSide) +
             " pixels each way; convert this recording to MRLE or VQSC.";
    default:
      break;
  }
  if (const std::optional<std::uint32_t> error = SystemErrorOf(code)) {
    return SystemErrorWords(static_cast<int>(*error));
  }
  return "Unknown error.";
}

std::string DescribeLimitRefusal(const LimitRefusal& refusal) {
  const std::string asked = std::to_string(refusal.asked);
  for (const ExceededLimit& words : kExceededLimits) {
    if (words.limit == refusal.limit) {
      return words.before + asked + words.after + " exceeds " + words.ceiling + " of " +
             (QuantityOf(words.limit) == LimitQuantity::Bytes
                  ? SizeText(refusal.allowed)
                  : std::to_string(refusal.allowed) + " pixels") +
             ".";
    }
  }
  switch (refusal.limit) {
    case InputLimit::DecodedDepth:
      return "A picture of " + asked +
             " bit per pixel can only be passed through; convert this recording to VQSC.";
    case InputLimit::BundleSize:
      return "The records of one frame interval take " + asked + " bytes, more than the limit of " +
             SizeText(refusal.allowed) + ".";
    case InputLimit::VideoLength:
      return "The recording asks for more than " +
             std::to_string(refusal.allowed / kLimitUnitsPerHour) + " hours of video.";
    case InputLimit::Timestamp:
      return "A record's timestamp lies more than " +
             std::to_string(refusal.allowed / kLimitUnitsPerYear) +
             " years from the recording clock's origin.";
    default:
      return {};
  }
}

std::string DescribeWriteFailure(std::uint32_t code) {
  // The recorder gives up a frame that its streaming thread did not take in time with this code.
  if (code == kErrorAccessDenied) {
    return "The video pipeline stopped answering, so the output file could not be completed.";
  }
  return "The output file could not be written: " + DescribeErrorCode(code);
}

std::string DescribeFailureCause(const ConversionFailure& failure) {
  if (const auto* limit = std::get_if<LimitRefusal>(&failure.cause)) {
    return DescribeLimitRefusal(*limit);
  }
  if (const auto* refusal = std::get_if<OutputRefusal>(&failure.cause)) {
    return DescribeOutputRefusal(*refusal, failure.code);
  }
  if (std::holds_alternative<DamagedScreenData>(failure.cause)) {
    return "The recording's screen data is damaged: " + DescribeErrorCode(failure.code);
  }
  if (std::holds_alternative<OutOfMemory>(failure.cause)) {
    return "There is not enough memory to convert this recording.";
  }
  if (const auto* unexpected = std::get_if<UnexpectedFailure>(&failure.cause)) {
    return "The conversion stopped on an unexpected failure" +
           (unexpected->what.empty() ? std::string(".") : ": " + unexpected->what + ".");
  }
  if (std::holds_alternative<RecorderFailure>(failure.cause)) {
    return DescribeWriteFailure(failure.code);
  }
  return {};
}

}  // namespace reelkit
