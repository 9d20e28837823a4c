#include "app/stdout_client.h"

#include <sys/stat.h>

#include <string>

#include "common/error_codes.h"

namespace reelkit {
namespace {

bool IsCharacterDevice(std::FILE* stream) {
  struct stat info {};
  return ::fstat(::fileno(stream), &info) == 0 && S_ISCHR(info.st_mode);
}

}  // namespace

CStdOutConverterClient::CStdOutConverterClient(OutputFormat format)
    : CStdOutConverterClient(format, stdout, IsCharacterDevice(stdout)) {}

CStdOutConverterClient::CStdOutConverterClient(OutputFormat format, std::FILE* out,
                                               bool interactive)
    : format_(format), out_(out), interactive_(interactive) {}

void CStdOutConverterClient::OnStart(const std::string& inputPath) {
  std::fprintf(out_, "%s\n", inputPath.c_str());
}

void CStdOutConverterClient::OnProgress(double percent) {
  if (!interactive_) {
    return;
  }
  const auto cells = static_cast<std::uint32_t>(percent * 40.0 / 100.0);
  if (cells <= cellsDrawn_) {
    return;
  }
  std::string bar = "\r";
  bar.append(cells, '#');
  if (cells < kBarCells) {
    bar.append(kBarCells - cells, '.');
  }
  std::fputs(bar.c_str(), out_);
  // A terminal is line-buffered and the bar never ends its line: show it now.
  std::fflush(out_);
  cellsDrawn_ = cells;
}

void CStdOutConverterClient::OnLimitRefusal(const LimitRefusal& refusal) {
  std::fprintf(out_, "%s\n", DescribeLimitRefusal(refusal).c_str());
}

void CStdOutConverterClient::OnFinish(std::uint32_t packets, std::uint32_t frames,
                                      std::uint32_t keyFrames, std::uint32_t spacers,
                                      std::uint32_t seconds) {
  std::fputs(interactive_ ? " - done.\n" : "Done.\n", out_);
  if (format_ == OutputFormat::ScreenCodec) {
    std::fprintf(out_,
                 "Recorded %u frames (%u key frames, %u spacers) from %u input packets, total "
                 "video length is %u seconds\n",
                 frames, keyFrames, spacers, packets, seconds);
  } else {
    std::fprintf(out_,
                 "Recorded %u video frames from %u input packets, total video length is %u "
                 "seconds\n",
                 frames, packets, seconds);
  }
}

void CStdOutConverterClient::OnError(ConvertErrorKind kind, std::uint32_t code,
                                     const std::string& text) {
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
      if (code == kErrorHandleEof) {
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
    default:
      return;
  }
  if (!text.empty()) {
    std::fprintf(out_, "%s\n", text.c_str());
  }
}

}  // namespace reelkit
