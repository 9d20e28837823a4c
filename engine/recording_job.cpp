#include "engine/recording_job.h"

#include "common/conversion_failure.h"
#include "common/endian.h"
#include "common/error_codes.h"
#include "common/packet_kind.h"
#include "engine/format_announcement.h"

namespace reelkit {
namespace {

// Nothing real puts this much into one frame interval; a hostile file must not make us try.
constexpr std::size_t kMaxBundleSize = 512u << 20;

bool StartsKeyBundle(PacketKind kind) {
  return kind == PacketKind::Fint || kind == PacketKind::Kfrm;
}

}  // namespace

CRecordingJob::CRecordingJob(RecorderFactory makeRecorder) : sink_(std::move(makeRecorder)) {
  ClearBundle();
}

bool CRecordingJob::Execute(const std::string& inputPath, const std::string& outputPath,
                            OutputFormat format, IReelkitClient& client) {
  sink_.SetDestination(outputPath, format);
  StartRun(input_, inputPath, client);
  client_ = &client;
  progress_.size = input_.Size();
  progress_.consumed = ReadRecordingHeader(input_, streamFormat_);
  if (sink_.ProducesPictures()) {
    sink_.CreateDecoder(streamFormat_);
  } else {
    sink_.DeclarePassThroughFormat(streamFormat_);
  }
  clock_.SetFrameDuration(sink_.OpenRecorder());
  for (;;) {
    const std::uint64_t recordSize = ReadRecord(input_, packet_);
    if (recordSize == 0) {
      break;
    }
    ++statistics_.packets;
    clock_.NoteInputTime(packet_.timestamp);
    ProcessPacket(packet_);
    progress_.consumed += recordSize;
    progress_.Report(client);
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
  sink_.Complete();
  ReportFinish(client, statistics_, clock_);
  return true;
}

void CRecordingJob::ProcessPacket(RecordingPacket& packet) {
  if (!BundleIsEmpty() && (packet.timestamp >= clock_.Next() + clock_.FrameDuration() ||
                           StartsKeyBundle(packet.kind))) {
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
  clock_.StartAt(bundleStart_);
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
  const Time duration = clock_.FrameDuration();
  const std::uint64_t spacers = clock_.IntervalsSkippedBefore(bundleStart_);
  const auto framesAllowed = static_cast<std::uint64_t>(kMaxVideoLength / duration);
  if (std::uint64_t{statistics_.frames} + spacers >= framesAllowed) {
    const std::uint64_t asked = (std::uint64_t{statistics_.frames} + spacers + 1) * duration;
    throw CReelkitException(LimitRefusal{InputLimit::VideoLength, asked, kMaxVideoLength});
  }
  while (bundleStart_ > clock_.Next() + duration) {
    if (client_->IsCancelRequested()) {
      return;  // the run stops at its next look at the client
    }
    RecordFrame(SampleKind::Spacer, {});
    ++statistics_.spacers;
  }
  const PacketKind kind = bundleIsKey_ ? PacketKind::Kbnd : PacketKind::Bndl;
  if (sink_.ProducesPictures()) {
    StoreU32LE(bundle_.data(), FourCCOfPacketKind(kind));
    sink_.DecodeIntoFrame(bundle_.span());
  } else if (!streamFormatAnnounced_) {
    AnnounceStreamFormat();
  }
  RecordFrame(bundleIsKey_ ? SampleKind::KeyBundle : SampleKind::Bundle,
              bundle_.span().subspan(kBundleHeaderSize));
  ClearBundle();
}

// A decoded output records the frame buffer's picture for a bundle, and says that it repeats the
// picture before for a spacer.
void CRecordingJob::RecordFrame(SampleKind kind, std::span<const std::uint8_t> bundle) {
  if (!sink_.ProducesPictures()) {
    sink_.RecordSample(kind, bundle, clock_.Next());
  } else if (kind == SampleKind::Spacer) {
    sink_.RecordRepeatedPicture(clock_.Next());
  } else {
    sink_.RecordPicture(clock_.Next());
  }
  clock_.Advance();
  ++statistics_.frames;
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
