#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "common/conversion_failure.h"

// Why a conversion failed, decided once for every front end: which facts to state, with which
// numbers and which system error. The console words each fact in English and the wizard from its
// catalog; neither decides anything of its own.
namespace reelkit {

enum class CauseFact : std::uint8_t {
  LimitExceeded,  // the explanation's limit refused the input
  OutputIsInput,
  UnsupportedFormat,
  NoPicture,
  EndOfFile,  // the input ends inside a record
  OpenFailed,
  ReadFailed,
  DamagedScreenData,  // the value: the decoder's code
  OutOfMemory,
  Unexpected,     // the value, if any: what the failure said of itself
  MsvcTooLarge,   // the value: the largest side the format holds
  PipelineStuck,  // the recorder's streaming thread stopped taking frames
  WriteFailed,    // the value: the pipeline's code, unless it passed up a system error
  OutputChanging,
  OutputCannotCreate,
  OutputCannotOpen,
  OutputLinkToNothing,
  OutputNotAFile,  // the value: what the path is instead
  OutputCannotWrite,
  OutputBeingWritten,
  OutputCannotLock,
  OutputCannotResolve,
};

// A byte count, worded in the largest unit that holds it whole.
struct ByteCount {
  std::uint64_t bytes = 0;
};

using CauseValue = std::variant<std::uint64_t, ByteCount, OutputFileType, FailureCode, std::string>;

struct CauseStatement {
  CauseFact fact = CauseFact::Unexpected;
  InputLimit limit = InputLimit::None;  // for LimitExceeded
  // In the order every wording takes them.
  std::vector<CauseValue> values;
  // The system's own words for it follow the statement.
  std::optional<int> systemError;
};

std::vector<CauseStatement> ExplainFailure(const ConversionFailure& failure);

}  // namespace reelkit
