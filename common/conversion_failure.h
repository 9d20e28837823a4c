#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <variant>

#include "common/error_codes.h"
#include "common/input_limit.h"

namespace reelkit {

// Why a conversion failed, as reported to IReelkitClient::OnError.
enum class ConvertErrorKind : std::int32_t {
  InvalidInputFormat = 0,       // not recognised, or a malformed container
  UnsupportedOutputFormat = 1,  // the output format index is not a supported one
  OpenInputFailed = 2,          // code: the system error
  ReadInputFailed = 3,          // code: the system error, 38 for a short read, 13 for bad data
  WriteOutputFailed = 4,        // code: the recorder's or the system's error
  OutputIsInput = 5,            // the output path names the input file; nothing was written
  OutputRefused = 6,            // the output path cannot be written as asked; nothing was written
  Unexpected = 7,               // a failure the engine has no kind for; the conversion stopped
  NoPicture = 8,                // the input was read to its end but made no frame; no file written
};

// What an output path turned out to be when it is not a regular file.
enum class OutputFileType : std::int32_t {
  Other = 0,
  Directory,
  CharacterDevice,
  BlockDevice,
  NamedPipe,
  Socket,
};

// Why the output path was refused before anything was written; the code is the errno behind it.
struct OutputRefusal {
  enum class Reason : std::int32_t {
    PathKeepsChanging,  // another process kept replacing the file while it was claimed
    CannotCreate,
    CannotOpen,
    LinkToNothing,  // a symbolic link whose target does not exist
    NotAFile,       // see fileType
    CannotWrite,    // the user may not write the existing file
    BeingWritten,   // another conversion holds the file
    CannotLock,
    CannotResolve,
  };
  Reason reason = Reason::CannotOpen;
  OutputFileType fileType = OutputFileType::Other;
};

// The recorder refused a frame or could not complete the file; the code is the recorder's.
struct RecorderFailure {};
// The screen stream asked the decoder for something impossible; the code is the decoder's.
struct DamagedScreenData {};
// Memory ran out for what the input asked; the code is ENOMEM.
struct OutOfMemory {};
// A failure of no known kind, with the little the engine knows of it.
struct UnexpectedFailure {
  std::string what;
};

// What a front end needs beyond the kind and code to say why, as values it words itself.
using FailureCause = std::variant<std::monostate, LimitRefusal, OutputRefusal, RecorderFailure,
                                  DamagedScreenData, OutOfMemory, UnexpectedFailure>;

// What a failure's number is. The number is shown as it stands ("Error 0x00000005 ..."); what it
// means decides the words that go with it, so the pipeline's 5 and a read's EIO (also 5) differ.
enum class CodeMeaning : std::uint8_t {
  None,      // the failure carries no number; it is shown as 0
  Fixed,     // one of the program's fixed numbers: 13 invalid data, 38 end of file, the decoder's
  System,    // the errno of a failed system call
  Pipeline,  // a result of the recorder's pipeline; an errno it passed up is one of them
};

struct FailureCode {
  CodeMeaning meaning = CodeMeaning::None;
  std::uint32_t value = 0;

  static constexpr FailureCode Fixed(std::uint32_t number) { return {CodeMeaning::Fixed, number}; }
  static constexpr FailureCode System(int error) {
    return {CodeMeaning::System, static_cast<std::uint32_t>(error)};
  }
  static constexpr FailureCode Pipeline(std::uint32_t result) {
    return {CodeMeaning::Pipeline, result};
  }

  // The errno behind the failure: a system call's, or one the pipeline passed up.
  constexpr std::optional<int> SystemError() const {
    if (meaning == CodeMeaning::System) {
      return static_cast<int>(value);
    }
    if (meaning == CodeMeaning::Pipeline && IsPassedUpSystemError(value)) {
      return static_cast<int>(value & 0xFFFFu);
    }
    return std::nullopt;
  }

  friend constexpr bool operator==(const FailureCode&, const FailureCode&) = default;
};

struct ConversionFailure {
  ConvertErrorKind kind = ConvertErrorKind::Unexpected;
  FailureCode code;
  FailureCause cause;
};

// A conversion's failure on its way out of the engine: thrown by value where the failure is
// found, caught in ConvertFile alone, which hands it to the client as one OnError call.
class CReelkitException : public std::exception {
 public:
  explicit CReelkitException(ConvertErrorKind kind, FailureCode code = {}, FailureCause cause = {})
      : failure_{kind, code, std::move(cause)} {}
  // An input refused by one of the program's own limits: invalid data (13) that names the limit.
  explicit CReelkitException(const LimitRefusal& refusal)
      : failure_{ConvertErrorKind::ReadInputFailed, FailureCode::Fixed(kErrorInvalidData),
                 refusal} {}

  const ConversionFailure& Failure() const { return failure_; }
  const char* what() const noexcept override { return "conversion failed"; }

 private:
  ConversionFailure failure_;
};

}  // namespace reelkit
