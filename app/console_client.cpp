#include "app/console_client.h"

#include <sys/stat.h>

#include <string>

#include "app/interruption.h"
#include "common/error_codes.h"
#include "common/failure_text.h"

namespace reelkit {
namespace {

bool IsCharacterDevice(std::FILE* stream) {
  struct stat info {};
  return ::fstat(::fileno(stream), &info) == 0 && S_ISCHR(info.st_mode);
}

// Cells of the bar for a share of the input. A file can claim more than it holds, which takes
// the share past 100; the bar still has only its cells.
std::uint32_t CellsFor(double percent) {
  const double cells = percent * CStdOutConverterClient::kBarCells / 100.0;
  if (!(cells >= 1.0)) {  // NaN included
    return 0;
  }
  if (cells >= CStdOutConverterClient::kBarCells) {
    return CStdOutConverterClient::kBarCells;
  }
  return static_cast<std::uint32_t>(cells);
}

// The facts that the fixed message of a failure's kind already states.
bool IsStatedByKindMessage(CauseFact fact) {
  switch (fact) {
    case CauseFact::OutputIsInput:
    case CauseFact::UnsupportedFormat:
    case CauseFact::NoPicture:
    case CauseFact::EndOfFile:
      return true;
    default:
      return false;
  }
}

}  // namespace

CStdOutConverterClient::CStdOutConverterClient(OutputFormat format)
    : format_(format), out_(stdout), interactive_(IsCharacterDevice(stdout)) {}

// Each call writes whole lines (or the bar) and shows them at once: a conversion stopped by a
// signal or a crash must not lose what it already said.
void CStdOutConverterClient::OnStart(const std::string& inputPath) {
  std::fprintf(out_, "%s\n", inputPath.c_str());
  std::fflush(out_);
}

void CStdOutConverterClient::OnProgress(double percent) {
  if (!interactive_) {
    return;
  }
  const std::uint32_t cells = CellsFor(percent);
  if (cells <= cellsDrawn_) {
    return;
  }
  std::string bar = "\r";
  bar.append(cells, '#');
  if (cells < kBarCells) {
    bar.append(kBarCells - cells, '.');
  }
  std::fputs(bar.c_str(), out_);
  std::fflush(out_);
  cellsDrawn_ = cells;
  barLineOpen_ = true;
}

void CStdOutConverterClient::OnFinish(const ConversionStatistics& statistics) {
  std::fputs(interactive_ ? " - done.\n" : "Done.\n", out_);
  barLineOpen_ = false;
  if (format_ == OutputFormat::ScreenCodec) {
    std::fprintf(out_,
                 "Recorded %u frames (%u key frames, %u spacers) from %u input packets, total "
                 "video length is %u seconds\n",
                 statistics.frames, statistics.keyFrames, statistics.spacers, statistics.packets,
                 statistics.seconds);
  } else {
    std::fprintf(out_,
                 "Recorded %u video frames from %u input packets, total video length is %u "
                 "seconds\n",
                 statistics.frames, statistics.packets, statistics.seconds);
  }
  std::fflush(out_);
}

void CStdOutConverterClient::OnError(const ConversionFailure& failure) {
  const ConvertErrorKind kind = failure.kind;
  const std::uint32_t code = failure.code.value;
  // Kinds 3 and 4 begin with a line break on a terminal whether or not a bar was drawn.
  const bool breaksLineItself = interactive_ && (kind == ConvertErrorKind::ReadInputFailed ||
                                                 kind == ConvertErrorKind::WriteOutputFailed);
  if (!breaksLineItself) {
    EndBarLine();
  }
  barLineOpen_ = false;
  switch (kind) {
    case ConvertErrorKind::InvalidInputFormat:
      std::fputs("Invalid input file format.\n", out_);
      break;
    case ConvertErrorKind::UnsupportedOutputFormat:
      std::fputs("Unsupported output format.\n", out_);
      break;
    case ConvertErrorKind::OpenInputFailed:
      std::fprintf(out_, "Error 0x%8.8x while opening the input file.\n", code);
      break;
    case ConvertErrorKind::ReadInputFailed:
      if (interactive_) {
        std::fputs("\n", out_);
      }
      if (failure.code == FailureCode::Fixed(kErrorHandleEof)) {
        std::fputs("Invalid input file. End of file has been reached unexpectedly.\n", out_);
      } else {
        std::fprintf(out_, "Error 0x%8.8x while reading input file.\n", code);
      }
      break;
    case ConvertErrorKind::WriteOutputFailed:
      if (interactive_) {
        std::fputs("\n", out_);
      }
      std::fprintf(out_, "Error 0x%8.8x while writing output file.\n", code);
      break;
    case ConvertErrorKind::OutputIsInput:
      std::fputs("The output file is the input file itself; choose another output file name.\n",
                 out_);
      break;
    case ConvertErrorKind::NoPicture:
      std::fputs("The recording holds no picture, so no video was written.\n", out_);
      break;
    case ConvertErrorKind::OutputRefused:
    case ConvertErrorKind::Unexpected:
      break;  // the cause is the whole message
    default:
      return;
  }
  for (const CauseStatement& statement : ExplainFailure(failure)) {
    if (!IsStatedByKindMessage(statement.fact)) {
      std::fprintf(out_, "%s\n", EnglishSentence(statement).c_str());
    }
  }
  std::fflush(out_);
}

bool CStdOutConverterClient::IsCancelRequested() {
  return InterruptingSignal() != 0;
}

void CStdOutConverterClient::OnInterrupted(bool outputChanged) {
  EndBarLine();
  std::fputs(outputChanged
                 ? "The conversion was interrupted; the output file holds the video converted "
                   "until then.\n"
                 : "The conversion was interrupted before its first frame; nothing was "
                   "written.\n",
             out_);
  std::fflush(out_);
}

// A message after a partly drawn bar starts on a line of its own.
void CStdOutConverterClient::EndBarLine() {
  if (barLineOpen_) {
    std::fputs("\n", out_);
    barLineOpen_ = false;
  }
}

}  // namespace reelkit
