#pragma once

#include <cstdint>
#include <exception>
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

struct ConversionFailure {
  ConvertErrorKind kind = ConvertErrorKind::Unexpected;
  std::uint32_t code = 0;
  FailureCause cause;
};

// A conversion's failure on its way out of the engine: thrown by value where the failure is
// found, caught in ConvertFile alone, which hands it to the client as one OnError call.
class CReelkitException : public std::exception {
 public:
  CReelkitException(ConvertErrorKind kind, std::uint32_t code, FailureCause cause = {})
      : failure_{kind, code, std::move(cause)} {}
  // An input refused by one of the program's own limits: invalid data (13) that names the limit.
  explicit CReelkitException(const LimitRefusal& refusal)
      : failure_{ConvertErrorKind::ReadInputFailed, kErrorInvalidData, refusal} {}

  const ConversionFailure& Failure() const { return failure_; }
  const char* what() const noexcept override { return "conversion failed"; }

 private:
  ConversionFailure failure_;
};

}  // namespace reelkit
