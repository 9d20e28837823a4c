#include "engine/still_picture.h"

#include <cerrno>

#include "engine/convert.h"
#include "engine/failure_capture.h"
#include "engine/still_picture_search.h"

namespace reelkit {
namespace {

StillPicture Search(const std::string& inputPath, const PictureBudget& budget) {
  const CSearchDeadline deadline(budget.time);
  InputKind kind{};
  if (!DetectInputKind(inputPath, kind)) {
    throw CReelkitException(ConvertErrorKind::InvalidInputFormat);
  }
  InputFile file;
  if (const int error = file.Open(inputPath); error != 0) {
    throw CReelkitException(ConvertErrorKind::OpenInputFailed, FailureCode::System(error));
  }
  return kind == InputKind::RawRecording ? RecordingStillPicture(file, budget, deadline)
                                         : AviStillPicture(file, budget, deadline);
}

}  // namespace

StillPicture DrawnPicture(CPictureAssembler& assembler, bool timedOut) {
  assembler.Flush();
  if (!assembler.HasDrawn()) {
    throw CReelkitException(ConvertErrorKind::ReadInputFailed,
                            FailureCode::System(timedOut ? ETIMEDOUT : ENODATA));
  }
  return assembler.Picture();
}

std::optional<ConversionFailure> ExtractStillPicture(const std::string& inputPath,
                                                     const PictureBudget& budget,
                                                     StillPicture& picture) {
  picture = {};
  try {
    picture = Search(inputPath, budget);
    return std::nullopt;
  } catch (...) {
    picture = {};
    return FailureOfCurrentException();
  }
}

}  // namespace reelkit
