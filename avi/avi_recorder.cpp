#include "avi/avi_recorder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "avi/compressor_table.h"
#include "avi/filter_graph.h"
#include "avi/picture_conversion.h"
#include "avi/push_source.h"
#include "common/error_codes.h"
#include "common/packet_kind.h"
#include "common/picture_rules.h"

namespace reelkit {

namespace {

constexpr std::uint32_t kColorsImportantOfRewrittenBitFields = 0xFFFFFF;
// An encoder whose format holds less than the largest picture refuses the rest when the pipeline
// is built.
bool IsSupportedPicture(const BitmapInfoHeader& header) {
  return header.width > 0 && header.width <= kMaxPictureSide && header.height != 0 &&
         std::abs(header.height) <= kMaxPictureSide && IsBitmapDepth(header.bitCount);
}

// The masks a 16-bit picture of this header uses: its own with bit fields, else 5-5-5.
std::array<std::uint32_t, 3> MasksOf(const BitmapFormat& format) {
  const BitmapInfoHeader header = format.Header();
  if (header.compression == kCompressionBitFields) {
    return format.Masks();
  }
  return kMasks555;
}

void RemoveFile(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

}  // namespace

CAviRecorder::CAviRecorder(double framesPerSecond, FourCC fourcc)
    : framesPerSecond_(framesPerSecond),
      frameDuration_(reelkit::FrameDuration(framesPerSecond)),
      fourcc_(fourcc) {}

CAviRecorder::~CAviRecorder() {
  Close();
}

bool CAviRecorder::IsCopyMode() const {
  return fourcc_ != kFourCCScreenCodec;
}

std::uint32_t CAviRecorder::WriteFrame(std::uint32_t kind, std::span<const std::uint8_t> packet,
                                       const BitmapFormat& format,
                                       std::span<const std::uint8_t> picture,
                                       const std::string& outputPath, Time time) {
  if (format.Header().size == 0) {
    return kErrorInvalidFunction;
  }
  std::lock_guard frameGuard(frameLock_);
  if (closed_) {
    return kErrorInvalidFunction;
  }
  if (failed_) {
    return failure_;
  }
  if (!isBuilt_) {
    const std::uint32_t result = BuildForFirstFrame(kind, format, outputPath, time);
    if (result != 0) {
      failed_ = true;
      failure_ = result;
      return result;
    }
  }
  if (graph_->GetState() != GraphState::Running) {
    return 0;
  }
  return HandOver(kind, packet, format, picture, time);
}

std::uint32_t CAviRecorder::BuildForFirstFrame(std::uint32_t& kind, const BitmapFormat& format,
                                               const std::string& outputPath, Time time) {
  timeBase_ = time;
  converter_.reset();
  if (kind != 0) {
    kind = static_cast<std::uint32_t>(PacketKind::Kbnd);
  }
  BitmapInfoHeader header = format.Header();
  if (!IsSupportedPicture(header)) {
    return kResultFail;
  }
  storedMasks_ = MasksOf(format);
  if (header.compression == kCompressionBitFields) {
    header.compression = kCompressionRgb;
    header.clrImportant = kColorsImportantOfRewrittenBitFields;
    header.clrUsed = 0;
  } else if (header.bitCount <= 8 &&
             (header.clrUsed == 0 || header.clrUsed > (1u << header.bitCount))) {
    header.clrUsed = 1u << header.bitCount;  // a full table, as a header without a count means
  } else if (header.bitCount > 8) {
    header.clrUsed = 0;
  }
  header.size = kBitmapInfoHeaderSize;
  // Room for a little more than one picture: a pass-through bundle carries sub-packet headers too.
  const std::uint32_t imageSize =
      4u *
      ((static_cast<std::uint32_t>(header.bitCount) * static_cast<std::uint32_t>(header.width) +
        31) /
       32) *
      static_cast<std::uint32_t>(std::abs(header.height));
  header.sizeImage = imageSize + imageSize / 8;
  storedFormat_ = BitmapFormat(header);
  const std::size_t tableBytes = 4 * header.clrUsed;
  std::copy_n(format.ColorTable().begin(), tableBytes,
              storedFormat_.Storage().begin() + kBitmapInfoHeaderSize);

  const std::uint32_t result = Build(outputPath);
  if (result != 0) {
    return result;
  }
  isBuilt_ = true;
  built_ = {header.width, header.height, header.bitCount};
  return 0;
}

std::uint32_t CAviRecorder::Build(const std::string& outputPath) {
  graph_ = std::make_unique<CFilterGraph>();
  auto source = std::make_unique<CPushSourceBitmap>();
  source->SetFrameFormat(storedFormat_.Bytes(), storedMasks_, frameDuration_);
  pushSource_ = graph_->AddSource(std::move(source));
  // Nothing is removed first: the file is opened with truncation, which replaces an existing
  // file's content in place, so its permissions, links and the lock a caller holds on it stay.

  std::uint32_t result = graph_->SetOutputFileName(outputPath, framesPerSecond_);
  if (result == 0) {
    std::unique_ptr<ICompressor> compressor;
    result = FindCompressor(fourcc_, &compressor);
    if (result == 0) {
      graph_->AddCompressor(std::move(compressor));
      result = graph_->RenderStream();
    }
  }
  if (result == 0) {
    result = graph_->Run();
    if (result == 0 && graph_->GetState() != GraphState::Running) {
      result = kResultFail;
    }
  }
  if (result != 0) {
    TearDown(PendingFrame::Discard);
    RemoveFile(outputPath);
  }
  return result;
}

std::uint32_t CAviRecorder::HandOver(std::uint32_t kind, std::span<const std::uint8_t> packet,
                                     const BitmapFormat& format,
                                     std::span<const std::uint8_t> picture, Time time) {
  const Time start = time - timeBase_;
  const Time stop = start + frameDuration_;
  // A spacer's picture is not read, so it is not converted either.
  if (IsCopyMode() && !pushSource_->Pin().ReusesLastPicture(kind) && DiffersFromFile(format)) {
    picture = ConvertToFileFormat(format, picture);
  }
  return pushSource_->DeliverFrame(kind, picture, start, stop, packet, IsCopyMode());
}

bool CAviRecorder::DiffersFromFile(const BitmapFormat& format) const {
  const BitmapInfoHeader header = format.Header();
  if (header.width != built_.width || header.height != built_.height ||
      header.bitCount != built_.bitCount) {
    return true;
  }
  if (header.bitCount == 16) {
    return MasksOf(format) != storedMasks_;
  }
  if (header.bitCount <= 8) {
    const std::size_t tableBytes = 4 * storedFormat_.Header().clrUsed;
    const auto table = format.ColorTable();
    return !std::equal(table.begin(), table.begin() + tableBytes,
                       storedFormat_.ColorTable().begin());
  }
  return false;
}

// The picture size and depth of a file never change, so a picture of another format (the stream
// changed depth mid-recording) is brought into the file's format rather than restarting the file.
std::span<const std::uint8_t> CAviRecorder::ConvertToFileFormat(
    const BitmapFormat& format, std::span<const std::uint8_t> picture) {
  if (!IsSupportedPicture(format.Header())) {
    return {};
  }
  if (!converter_) {
    VideoMediaType file;
    file.format = storedFormat_;
    file.masks = storedMasks_;
    converter_.emplace(file);
  }
  VideoMediaType source;
  source.format = format;
  source.masks = MasksOf(format);
  return converter_->Convert(source, picture);
}

void CAviRecorder::WaitUntilReady() {
  std::lock_guard frameGuard(frameLock_);
  if (isBuilt_ && pushSource_ != nullptr) {
    pushSource_->Pin().WaitUntilReady();
  }
}

std::uint32_t CAviRecorder::TearDown(PendingFrame pending) {
  if (!graph_) {
    return 0;
  }
  std::uint32_t result = 0;
  if (pushSource_ != nullptr) {
    pushSource_->FinishStream(pending);
    pushSource_->Pin().WaitForLoopEnd();
  }
  const std::uint32_t stopResult = graph_->Stop();
  if (pushSource_ != nullptr) {
    result = pushSource_->Pin().Status();
    if (result == 0) {
      result = pushSource_->Pin().DeliveryFailure();
    }
  }
  if (stopResult != 0) {
    result = stopResult;
  }
  pushSource_ = nullptr;
  graph_.reset();
  return result;
}

std::uint32_t CAviRecorder::Close() {
  std::lock_guard frameGuard(frameLock_);
  closed_ = true;
  std::uint32_t result = 0;
  if (isBuilt_) {
    result = TearDown(PendingFrame::Deliver);
    isBuilt_ = false;
  }
  storedFormat_ = BitmapFormat();
  converter_.reset();
  return result;
}

}  // namespace reelkit
