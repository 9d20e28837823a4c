// The English words of failures, which the console and the GStreamer plugin print.
#include "common/failure_text.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "common/error_codes.h"

namespace reelkit {
namespace {

// Every number a failure can carry is worded by what it means: the pipeline's 5 is its own, a
// read's 5 is the system's EIO, and a system error the pipeline passed up has the system's words.
TEST(FailureCauseText, WordsEachCodeByItsMeaning) {
  const struct {
    ConversionFailure failure;
    std::string cause;
  } rows[] = {
      {{ConvertErrorKind::WriteOutputFailed, FailureCode::Pipeline(0x80070002), RecorderFailure{}},
       "The output file could not be written: No such file or directory."},
      {{ConvertErrorKind::WriteOutputFailed, FailureCode::Pipeline(0x8007000D), RecorderFailure{}},
       "The output file could not be written: Permission denied."},
      {{ConvertErrorKind::WriteOutputFailed, FailureCode::Pipeline(5), RecorderFailure{}},
       "The video pipeline stopped answering, so the output file could not be completed."},
      {{ConvertErrorKind::WriteOutputFailed, FailureCode::Pipeline(0x80004005), RecorderFailure{}},
       "The output file could not be written: The video pipeline reported a failure."},
      {{ConvertErrorKind::WriteOutputFailed, FailureCode::Pipeline(0x80070057), RecorderFailure{}},
       "The output file could not be written: The video pipeline was given a value it does not "
       "accept."},
      {{ConvertErrorKind::WriteOutputFailed, FailureCode::Pipeline(0xA0040001), RecorderFailure{}},
       "The output file could not be written: Microsoft Video 1 (MSVC) holds pictures of at most "
       "65532 pixels each way; convert this recording to MRLE or VQSC."},
      {{ConvertErrorKind::ReadInputFailed, FailureCode::System(EIO), {}},
       "The input file cannot be read: Input/output error."},
      {{ConvertErrorKind::OpenInputFailed, FailureCode::System(EACCES), {}},
       "The input file cannot be opened: Permission denied."},
      {{ConvertErrorKind::ReadInputFailed, FailureCode::Fixed(kErrorInvalidData), {}}, ""},
      {{ConvertErrorKind::ReadInputFailed, FailureCode::Fixed(kStatusArrayBoundsExceeded),
        DamagedScreenData{}},
       "The recording's screen data is damaged: The screen stream named a position outside its "
       "picture."},
      {{ConvertErrorKind::ReadInputFailed, FailureCode::Fixed(kErrorInvalidData),
        LimitRefusal{InputLimit::ChunkSize, 300000000, 256u << 20}},
       "A chunk of 300000000 bytes exceeds the limit of 256 MiB."},
      {{ConvertErrorKind::Unexpected, {}, UnexpectedFailure{"bad_variant_access"}},
       "The conversion stopped on an unexpected failure: bad_variant_access."},
      {{ConvertErrorKind::Unexpected, {}, UnexpectedFailure{}},
       "The conversion stopped on an unexpected failure."},
  };
  for (const auto& row : rows) {
    std::string sentences;
    for (const CauseStatement& statement : ExplainFailure(row.failure)) {
      sentences += (sentences.empty() ? "" : " ") + EnglishSentence(statement);
    }
    EXPECT_EQ(sentences, row.cause) << row.cause;
  }
}

}  // namespace
}  // namespace reelkit
