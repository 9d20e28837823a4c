#include "common/failure_text.h"

#include <array>
#include <variant>

#include "common/error_codes.h"
#include "common/system_error_words.h"

namespace reelkit {
namespace {

// The English words for each fact. "{0}" and "{1}" take the statement's values; a statement
// without values drops a closing ": {0}". The system's words, where the statement has them,
// follow after ": ", and a full stop ends the sentence.
struct FactWords {
  CauseFact fact;
  std::string_view text;
};

constexpr std::array kFactWords = {
    FactWords{CauseFact::OutputIsInput, "The output file is the input file itself"},
    FactWords{CauseFact::UnsupportedFormat, "The chosen output format is not supported"},
    FactWords{CauseFact::NoPicture, "The recording holds no picture"},
    FactWords{CauseFact::EndOfFile, "The input file ends unexpectedly"},
    FactWords{CauseFact::OpenFailed, "The input file cannot be opened"},
    FactWords{CauseFact::ReadFailed, "The input file cannot be read"},
    FactWords{CauseFact::DamagedScreenData, "The recording's screen data is damaged: {0}"},
    FactWords{CauseFact::OutOfMemory, "There is not enough memory to convert this recording"},
    FactWords{CauseFact::Unexpected, "The conversion stopped on an unexpected failure: {0}"},
    FactWords{CauseFact::MsvcTooLarge,
              "The output file could not be written: Microsoft Video 1 (MSVC) holds pictures of "
              "at most {0} pixels each way; convert this recording to MRLE or VQSC"},
    FactWords{CauseFact::PipelineStuck,
              "The video pipeline stopped answering, so the output file could not be completed"},
    FactWords{CauseFact::WriteFailed, "The output file could not be written: {0}"},
    FactWords{CauseFact::OutputChanging,
              "The output path keeps changing while it is being opened; nothing was written"},
    FactWords{CauseFact::OutputCannotCreate, "The output file cannot be created"},
    FactWords{CauseFact::OutputCannotOpen, "The output file cannot be opened"},
    FactWords{CauseFact::OutputLinkToNothing,
              "The output path is a symbolic link to a file that does not exist; nothing was "
              "written"},
    FactWords{CauseFact::OutputNotAFile,
              "The output path is {0}, not a file; only a regular file is replaced, and nothing "
              "was written"},
    FactWords{CauseFact::OutputCannotWrite, "The output file cannot be written"},
    FactWords{CauseFact::OutputBeingWritten,
              "The output file is being written by another conversion; try again when it has "
              "finished"},
    FactWords{CauseFact::OutputCannotLock, "The output file cannot be locked"},
    FactWords{CauseFact::OutputCannotResolve, "The output path cannot be resolved"},
};

struct LimitWords {
  InputLimit limit;
  std::string_view text;
};

constexpr std::array kLimitWords = {
    LimitWords{InputLimit::FormatBlockSize,
               "The recording's format block of {0} exceeds the limit of {1}"},
    LimitWords{InputLimit::PictureSide,
               "A picture side of {0} pixels exceeds the limit of {1} pixels"},
    LimitWords{InputLimit::PictureBytes,
               "A picture of {0} at 32 bits per pixel exceeds the limit of {1}"},
    LimitWords{InputLimit::DecodedPixels,
               "A picture of {0} pixels exceeds the decoder's limit of {1} pixels"},
    LimitWords{InputLimit::DecodedDepth,
               "A picture of {0} bit per pixel can only be passed through; convert this recording "
               "to VQSC"},
    LimitWords{InputLimit::RecordBlockSize, "A record block of {0} exceeds the limit of {1}"},
    LimitWords{InputLimit::ChunkSize, "A chunk of {0} exceeds the limit of {1}"},
    LimitWords{InputLimit::BundleSize,
               "The records of one frame interval take {0}, more than the limit of {1}"},
    LimitWords{InputLimit::VideoLength, "The recording asks for more than {0} hours of video"},
    LimitWords{InputLimit::Timestamp,
               "A record's timestamp lies more than {0} years from the recording clock's origin"},
};

std::string_view WordsOf(const CauseStatement& statement) {
  if (statement.fact == CauseFact::LimitExceeded) {
    for (const LimitWords& words : kLimitWords) {
      if (words.limit == statement.limit) {
        return words.text;
      }
    }
    return {};
  }
  for (const FactWords& words : kFactWords) {
    if (words.fact == statement.fact) {
      return words.text;
    }
  }
  return {};
}

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

std::string TypeText(OutputFileType type) {
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

std::string ValueText(const CauseValue& value) {
  struct Words {
    std::string operator()(std::uint64_t count) const { return std::to_string(count); }
    std::string operator()(ByteCount size) const { return SizeText(size.bytes); }
    std::string operator()(OutputFileType type) const { return TypeText(type); }
    std::string operator()(const FailureCode& code) const { return DescribeErrorCode(code); }
    std::string operator()(const std::string& text) const { return text; }
  };
  return std::visit(Words{}, value);
}

std::string Fill(std::string_view text, const std::vector<CauseValue>& values) {
  if (values.empty()) {
    if (const std::size_t tail = text.find(": {0}"); tail != std::string_view::npos) {
      text = text.substr(0, tail);
    }
  }
  std::string filled;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '{' && at + 2 < text.size() && text[at + 2] == '}') {
      const auto index = static_cast<std::size_t>(text[at + 1] - '0');
      if (index < values.size()) {
        filled += ValueText(values[index]);
        at += 2;
        continue;
      }
    }
    filled += text[at];
  }
  return filled;
}

}  // namespace

std::string DescribeErrorCode(const FailureCode& code) {
  if (const std::optional<int> error = code.SystemError()) {
    return SystemErrorWords(*error);
  }
  switch (code.value) {
    case kErrorSuccess:
      return "The operation completed successfully";
    case kErrorInvalidData:
      return "The data is invalid";
    case kErrorHandleEof:
      return "Reached the end of the file";
    case kErrorBusy:
      return "The requested resource is in use";
    case kStatusAccessViolation:
      return "The screen stream tried to reach memory outside its picture";
    case kStatusArrayBoundsExceeded:
      return "The screen stream named a position outside its picture";
    case kResultUnexpected:
      return "The video pipeline is not ready for this operation";
    case kResultFail:
      return "The video pipeline reported a failure";
    case kResultInvalidArgument:
      return "The video pipeline was given a value it does not accept";
    default:
      break;
  }
  return "Unknown error";
}

std::string EnglishSentence(const CauseStatement& statement) {
  std::string sentence = Fill(WordsOf(statement), statement.values);
  if (statement.systemError) {
    sentence += ": " + SystemErrorWords(*statement.systemError);
  }
  return sentence + ".";
}

}  // namespace reelkit
