#include "recorders/avi_recorder.h"

#include <cstdlib>

#include "common/error_codes.h"
#include "common/packet_kind.h"
#include "common/picture_rules.h"
#include "recorders/compressor_table.h"
#include "recorders/filter_graph.h"
#include "recorders/picture_conversion.h"
#include "recorders/push_source.h"

namespace reelkit {

namespace {

constexpr std::uint32_t kColorsImportantOfRewrittenBitFields = 0xFFFFFF;
constexpr std::uint32_t kPictureKind = 0;

// The push source's kind of a sample: 0 for a picture, else the packet kind whose tag it carries.
std::uint32_t PinKindOf(SampleKind kind) {
  switch (kind) {
    case SampleKind::Picture:
      return kPictureKind;
    case SampleKind::Bundle:
      return static_cast<std::uint32_t>(PacketKind::Bndl);
    case SampleKind::KeyBundle:
      return static_cast<std::uint32_t>(PacketKind::Kbnd);
    case SampleKind::RepeatedPicture:
    case SampleKind::Spacer:
      return static_cast<std::uint32_t>(PacketKind::Empt);
  }
  return kPictureKind;
}

}  // namespace

std::optional<AviFileFormat> AviFileFormatFor(const BitmapFormat& firstPicture) {
  BitmapInfoHeader header = firstPicture.Header();
  if (!IsRecordablePicture(header)) {
    return std::nullopt;
  }
  AviFileFormat file;
  file.masks = MasksOf(firstPicture);
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
  const auto imageSize = static_cast<std::uint32_t>(DibImageSize(header));
  header.sizeImage = imageSize + imageSize / 8;
  file.format = BitmapFormat(header);
  const std::size_t tableBytes = 4 * header.clrUsed;
  std::copy_n(firstPicture.ColorTable().begin(), tableBytes,
              file.format.Storage().begin() + kBitmapInfoHeaderSize);
  return file;
}

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

void CAviRecorder::Open(const std::string& outputPath) {
  outputPath_ = outputPath;
}

std::uint32_t CAviRecorder::Write(SampleKind kind, const BitmapFormat& format,
                                  std::span<const std::uint8_t> bytes, Time time) {
  if (format.Header().size == 0 || closed_) {
    return kErrorInvalidFunction;
  }
  if (failed_) {
    return failure_;
  }
  std::uint32_t pinKind = PinKindOf(kind);
  if (!isBuilt_) {
    if (const std::uint32_t result = BuildForFirstSample(format, time); result != 0) {
      failed_ = true;
      failure_ = result;
      return result;
    }
    // Whatever the first sample is, a reader starts the stream at it.
    if (pinKind != kPictureKind) {
      pinKind = static_cast<std::uint32_t>(PacketKind::Kbnd);
    }
  }
  if (graph_->GetState() != GraphState::Running) {
    return 0;
  }
  for (;;) {
    const std::uint32_t result = HandOver(pinKind, format, bytes, time);
    if (result != kErrorBusy) {
      return result;
    }
    pushSource_->Pin().WaitUntilReady();
  }
}

std::uint32_t CAviRecorder::BuildForFirstSample(const BitmapFormat& format, Time time) {
  timeBase_ = time;
  converter_.reset();
  std::optional<AviFileFormat> file = AviFileFormatFor(format);
  if (!file) {
    return kResultFail;
  }
  file_ = std::move(*file);
  if (const std::uint32_t result = Build(); result != 0) {
    return result;
  }
  isBuilt_ = true;
  const BitmapInfoHeader header = file_.format.Header();
  built_ = {header.width, header.height, header.bitCount};
  return 0;
}

std::uint32_t CAviRecorder::Build() {
  graph_ = std::make_unique<CFilterGraph>();
  auto source = std::make_unique<CPushSourceBitmap>();
  source->SetFrameFormat(file_.format.Bytes(), file_.masks, frameDuration_);
  pushSource_ = graph_->AddSource(std::move(source));
  // Nothing is removed, before or after: the file is opened with truncation only when everything
  // else is in place, which replaces an existing file's content in place (its permissions, links
  // and the lock a caller holds on it stay), and a build that fails before then leaves the file
  // exactly as it was. An empty file the caller created for us is the caller's to remove.

  std::uint32_t result = graph_->SetOutputFileName(outputPath_, framesPerSecond_);
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
  }
  return result;
}

std::uint32_t CAviRecorder::HandOver(std::uint32_t kind, const BitmapFormat& format,
                                     std::span<const std::uint8_t> bytes, Time time) {
  const Time start = time - timeBase_;
  const Time stop = start + frameDuration_;
  if (!IsCopyMode()) {
    return pushSource_->DeliverFrame(kind, {}, start, stop, bytes, false);
  }
  // A spacer's picture is not read, so it is not converted either.
  if (!pushSource_->Pin().ReusesLastPicture(kind) && DiffersFromFile(format)) {
    bytes = ConvertToFileFormat(format, bytes);
  }
  return pushSource_->DeliverFrame(kind, bytes, start, stop, {}, true);
}

bool CAviRecorder::DiffersFromFile(const BitmapFormat& format) const {
  const BitmapInfoHeader header = format.Header();
  if (header.width != built_.width || header.height != built_.height ||
      header.bitCount != built_.bitCount) {
    return true;
  }
  if (header.bitCount == 16) {
    return MasksOf(format) != file_.masks;
  }
  if (header.bitCount <= 8) {
    const std::size_t tableBytes = 4 * file_.format.Header().clrUsed;
    const auto table = format.ColorTable();
    return !std::equal(table.begin(), table.begin() + tableBytes,
                       file_.format.ColorTable().begin());
  }
  return false;
}

// The picture size and depth of a file never change, so a picture of another format (the stream
// changed depth mid-recording) is brought into the file's format rather than restarting the file.
std::span<const std::uint8_t> CAviRecorder::ConvertToFileFormat(
    const BitmapFormat& format, std::span<const std::uint8_t> picture) {
  if (!IsRecordablePicture(format.Header())) {
    return {};
  }
  if (!converter_) {
    VideoMediaType file;
    file.format = file_.format;
    file.masks = file_.masks;
    converter_.emplace(file);
  }
  VideoMediaType source;
  source.format = format;
  source.masks = MasksOf(format);
  return converter_->Convert(source, picture);
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
  closed_ = true;
  std::uint32_t result = 0;
  if (isBuilt_) {
    result = TearDown(PendingFrame::Deliver);
    isBuilt_ = false;
  }
  file_ = AviFileFormat{};
  converter_.reset();
  return result;
}

}  // namespace reelkit
