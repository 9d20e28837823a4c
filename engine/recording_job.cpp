#include "engine/recording_job.h"

#include "common/conversion_failure.h"
#include "common/endian.h"
#include "common/error_codes.h"
#include "engine/format_announcement.h"

namespace reelkit {
namespace {

// Nothing real puts this much into one frame interval; a hostile file must not make us try.
constexpr std::size_t kMaxBundleSize = 512u << 20;

// Longest video a recording may make. Gaps become one spacer frame per interval, so a single
// timestamp could otherwise ask for billions of frames and keep the conversion busy for ever.
constexpr Time kMaxVideoLength = 24 * 3600 * kTimeUnitsPerSecond;

bool StartsKeyBundle(PacketKind kind) {
  return kind == PacketKind::Fint || kind == PacketKind::Kfrm;
}

// Whole frame intervals skipped before a bundle that starts at start, with the next frame due at
// next: the spacers that keep the video on the recording's clock.
std::uint64_t SkippedIntervals(Time start, Time next, Time duration) {
  if (start <= next) {
    return 0;
  }
  const std::uint64_t gap = static_cast<std::uint64_t>(start) - static_cast<std::uint64_t>(next);
  return (gap - 1) / static_cast<std::uint64_t>(duration);
}

}  // namespace

CRecordingJob::CRecordingJob(RecorderFactory makeRecorder)
    : CConversionJob(std::move(makeRecorder)) {
  ClearBundle();
}

bool CRecordingJob::Execute(const std::string& inputPath, const std::string& outputPath,
                            OutputFormat format, IReelkitClient& client) {
  StartRun(inputPath, outputPath, format, client);
  client_ = &client;
  inputSize_ = input_.Size();
  consumed_ = ReadRecordingHeader(input_, streamFormat_);
  DeclareStreamFormatForOutput();
  if (ProducesPictures()) {
    CreateDecoder();
  }
  SelectOutputFormat();
  for (;;) {
    const std::uint64_t recordSize = ReadRecord(input_, packet_);
    if (recordSize == 0) {
      break;
    }
    ++statistics_.packets;
    if (firstTime_ == 0) {
      firstTime_ = packet_.timestamp;
    }
    ProcessPacket(packet_);
    consumed_ += recordSize;
    ReportProgress(client);
    if (client.IsCancelRequested()) {
      return false;
    }
  }
  input_.Close();
  if (!BundleIsEmpty()) {
    FlushBundle();
  }
  if (client.IsCancelRequested()) {
    return false;
  }
  CompleteOutput();
  ReportFinish(client);
  return true;
}

void CRecordingJob::ProcessPacket(RecordingPacket& packet) {
  if (!BundleIsEmpty() &&
      (packet.timestamp >= nextFrameTime_ + frameDuration_ || StartsKeyBundle(packet.kind))) {
    FlushBundle();
  }
  // The first INIT of a recording announces its format like a FINT; later ones do not.
  if (!initSeen_ && packet.kind == PacketKind::Init) {
    packet.kind = PacketKind::Fint;
    initSeen_ = true;
  }
  if (packet.kind == PacketKind::Kfrm) {
    ++statistics_.keyFrames;
  }
  AppendToBundle(packet);
  if (nextFrameTime_ == 0) {
    nextFrameTime_ = bundleStart_;
  }
  if (packet.kind == PacketKind::Fint) {
    FlushBundle();
  }
}

void CRecordingJob::AppendToBundle(const RecordingPacket& packet) {
  if (BundleIsEmpty()) {
    bundleStart_ = packet.timestamp;
  }
  if (StartsKeyBundle(packet.kind)) {
    bundleIsKey_ = true;
  }
  const std::size_t payload = packet.firstBlock.size() + packet.secondBlock.size();
  if (const std::size_t size = bundle_.size() + 8 + payload; size > kMaxBundleSize) {
    throw CReelkitException(LimitRefusal{InputLimit::BundleSize, size, kMaxBundleSize});
  }
  // A sub-packet's payload is the second block followed by the first.
  bundle_.AppendU32LE(FourCCOfPacketKind(packet.kind));
  bundle_.AppendU32LE(static_cast<std::uint32_t>(payload));
  bundle_.Append(packet.secondBlock.span());
  bundle_.Append(packet.firstBlock.span());
}

void CRecordingJob::FlushBundle() {
  const std::uint64_t spacers = SkippedIntervals(bundleStart_, nextFrameTime_, frameDuration_);
  const auto framesAllowed = static_cast<std::uint64_t>(kMaxVideoLength / frameDuration_);
  if (std::uint64_t{statistics_.frames} + spacers >= framesAllowed) {
    const std::uint64_t asked = (std::uint64_t{statistics_.frames} + spacers + 1) * frameDuration_;
    throw CReelkitException(LimitRefusal{InputLimit::VideoLength, asked, kMaxVideoLength});
  }
  while (bundleStart_ > nextFrameTime_ + frameDuration_) {
    if (client_->IsCancelRequested()) {
      return;  // the run stops at its next look at the client
    }
    if (ProducesPictures()) {
      RecordRepeatedPicture();
    } else {
      RecordSample(PacketKind::Empt, {});
    }
    nextFrameTime_ += frameDuration_;
    ++statistics_.frames;
    ++statistics_.spacers;
  }
  if (ProducesPictures()) {
    const PacketKind kind = bundleIsKey_ ? PacketKind::Kbnd : PacketKind::Bndl;
    StoreU32LE(bundle_.data(), FourCCOfPacketKind(kind));
    DecodeIntoFrame(bundle_.span());
    RecordPicture();
  } else {
    if (!streamFormatAnnounced_) {
      AnnounceStreamFormat();
    }
    const PacketKind kind = bundleIsKey_ ? PacketKind::Kbnd : PacketKind::Bndl;
    RecordSample(kind, bundle_.span().subspan(kBundleHeaderSize));
  }
  nextFrameTime_ += frameDuration_;
  ++statistics_.frames;
  ClearBundle();
}

void CRecordingJob::AnnounceStreamFormat() {
  const auto subPackets = bundle_.span().subspan(kBundleHeaderSize);
  if (const auto announced = AnnouncedFormatBlock(subPackets); !announced.empty()) {
    // Whoever reads the file back takes this format for the stream's: it must be a picture's.
    AnnouncedStreamFormat(announced);
  } else {
    // The announcement goes in front. A FINT without a format resets to the stream's format,
    // as the announcement does; such a FINT stands alone in its bundle and is replaced.
    ByteBlock announcing(kBundleHeaderSize);
    AppendFormatAnnouncement(announcing, streamFormat_);
    if (!OpensWithFormatReset(subPackets)) {
      announcing.Append(subPackets);
    }
    bundle_ = std::move(announcing);
    bundleIsKey_ = true;
  }
  streamFormatAnnounced_ = true;
}

void CRecordingJob::ClearBundle() {
  bundle_.Resize(kBundleHeaderSize);
  bundleIsKey_ = false;
}

}  // namespace reelkit
