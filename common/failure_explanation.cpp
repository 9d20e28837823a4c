#include "common/failure_explanation.h"

#include "common/error_codes.h"
#include "common/picture_rules.h"

namespace reelkit {
namespace {

// A limit's numbers as QuantityOf says they are worded.
std::vector<CauseValue> LimitValues(const LimitRefusal& refusal) {
  switch (QuantityOf(refusal.limit)) {
    case LimitQuantity::Count:
      return {refusal.asked, refusal.allowed};
    case LimitQuantity::Bytes:
      return {ByteCount{refusal.asked}, ByteCount{refusal.allowed}};
    case LimitQuantity::Hours:
      return {refusal.allowed / kLimitUnitsPerHour};
    case LimitQuantity::Years:
      return {refusal.allowed / kLimitUnitsPerYear};
  }
  return {};
}

CauseFact FactOf(OutputRefusal::Reason reason) {
  using Reason = OutputRefusal::Reason;
  switch (reason) {
    case Reason::PathKeepsChanging:
      return CauseFact::OutputChanging;
    case Reason::CannotCreate:
      return CauseFact::OutputCannotCreate;
    case Reason::LinkToNothing:
      return CauseFact::OutputLinkToNothing;
    case Reason::NotAFile:
      return CauseFact::OutputNotAFile;
    case Reason::CannotWrite:
      return CauseFact::OutputCannotWrite;
    case Reason::BeingWritten:
      return CauseFact::OutputBeingWritten;
    case Reason::CannotLock:
      return CauseFact::OutputCannotLock;
    case Reason::CannotResolve:
      return CauseFact::OutputCannotResolve;
    case Reason::CannotOpen:
      break;
  }
  return CauseFact::OutputCannotOpen;
}

class CExplanation {
 public:
  explicit CExplanation(const ConversionFailure& failure) : failure_(failure) {}

  std::vector<CauseStatement> Take() {
    StateKind();
    StateCause();
    return std::move(statements_);
  }

 private:
  void StateKind() {
    switch (failure_.kind) {
      case ConvertErrorKind::OutputIsInput:
        State(CauseFact::OutputIsInput);
        break;
      case ConvertErrorKind::UnsupportedOutputFormat:
        State(CauseFact::UnsupportedFormat);
        break;
      case ConvertErrorKind::NoPicture:
        State(CauseFact::NoPicture);
        break;
      case ConvertErrorKind::OpenInputFailed:
        StateSystemFailure(CauseFact::OpenFailed);
        break;
      case ConvertErrorKind::ReadInputFailed:
        StateReadFailure();
        break;
      case ConvertErrorKind::WriteOutputFailed:
        if (std::holds_alternative<RecorderFailure>(failure_.cause)) {
          StateWriteFailure();
        }
        break;
      case ConvertErrorKind::OutputRefused:
        StateOutputRefusal();
        break;
      case ConvertErrorKind::Unexpected:
        StateUnexpected();
        break;
      case ConvertErrorKind::InvalidInputFormat:
        break;
    }
  }

  void StateReadFailure() {
    if (failure_.code == FailureCode::Fixed(kErrorHandleEof)) {
      State(CauseFact::EndOfFile);
    } else if (std::holds_alternative<std::monostate>(failure_.cause)) {
      StateSystemFailure(CauseFact::ReadFailed);
    }
  }

  // A read or open that the system refused says so in the system's words; the program's own
  // numbers (13, 38) have none.
  void StateSystemFailure(CauseFact fact) {
    if (const std::optional<int> error = SystemWordsFor()) {
      State(fact).systemError = error;
    }
  }

  void StateWriteFailure() {
    // The recorder gives up a frame its streaming thread did not take in time with this code.
    if (failure_.code == FailureCode::Pipeline(kErrorAccessDenied)) {
      State(CauseFact::PipelineStuck);
    } else if (failure_.code == FailureCode::Pipeline(kResultTooLargeForMsvideo1)) {
      State(CauseFact::MsvcTooLarge).values = {std::uint64_t{kMaxBlockCodedSide}};
    } else {
      // A system error passed up the pipeline (a full disk) has the system's words; the
      // pipeline's own codes have ours.
      CauseStatement& statement = State(CauseFact::WriteFailed);
      statement.systemError = SystemWordsFor();
      if (!statement.systemError) {
        statement.values = {failure_.code};
      }
    }
  }

  void StateOutputRefusal() {
    const auto* refusal = std::get_if<OutputRefusal>(&failure_.cause);
    if (refusal == nullptr) {
      StateSystemFailure(CauseFact::OutputCannotOpen);
      return;
    }
    CauseStatement& statement = State(FactOf(refusal->reason));
    if (refusal->reason == OutputRefusal::Reason::NotAFile) {
      statement.values = {refusal->fileType};
    }
    switch (statement.fact) {
      case CauseFact::OutputCannotCreate:
      case CauseFact::OutputCannotOpen:
      case CauseFact::OutputCannotWrite:
      case CauseFact::OutputCannotLock:
      case CauseFact::OutputCannotResolve:
        statement.systemError = SystemWordsFor();
        break;
      default:
        break;
    }
  }

  void StateUnexpected() {
    CauseStatement& statement = State(CauseFact::Unexpected);
    if (const auto* unexpected = std::get_if<UnexpectedFailure>(&failure_.cause);
        unexpected != nullptr && !unexpected->what.empty()) {
      statement.values = {unexpected->what};
    }
    statement.systemError = SystemWordsFor();
  }

  void StateCause() {
    if (const auto* limit = std::get_if<LimitRefusal>(&failure_.cause)) {
      CauseStatement& statement = State(CauseFact::LimitExceeded);
      statement.limit = limit->limit;
      statement.values = LimitValues(*limit);
    } else if (std::holds_alternative<DamagedScreenData>(failure_.cause)) {
      State(CauseFact::DamagedScreenData).values = {failure_.code};
    } else if (std::holds_alternative<OutOfMemory>(failure_.cause)) {
      State(CauseFact::OutOfMemory);
    }
  }

  // The errno whose words the system has for this failure; an errno of 0 reports no failure.
  std::optional<int> SystemWordsFor() const {
    const std::optional<int> error = failure_.code.SystemError();
    return error && *error != 0 ? error : std::nullopt;
  }

  CauseStatement& State(CauseFact fact) {
    statements_.push_back({fact, InputLimit::None, {}, std::nullopt});
    return statements_.back();
  }

  const ConversionFailure& failure_;
  std::vector<CauseStatement> statements_;
};

}  // namespace

std::vector<CauseStatement> ExplainFailure(const ConversionFailure& failure) {
  return CExplanation(failure).Take();
}

}  // namespace reelkit
