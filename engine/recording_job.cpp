#include "engine/recording_job.h"

#include "common/conversion_failure.h"
#include "common/endian.h"
#include "common/error_codes.h"
#include "common/packet_kind.h"
#include "engine/format_announcement.h"

namespace reelkit {

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
  bundler_.emplace(sink_.OpenRecorder());
  for (;;) {
    const std::uint64_t recordSize = ReadRecord(input_, packet_);
    if (recordSize == 0) {
      break;
    }
    ++statistics_.packets;
    ProcessPacket(packet_);
    progress_.consumed += recordSize;
    progress_.Report(client);
    if (client.IsCancelRequested()) {
      return false;
    }
  }
  input_.Close();
  if (bundler_->HasOpenBundle()) {
    FlushBundle();
  }
  if (client.IsCancelRequested()) {
    return false;
  }
  sink_.Complete();
  ReportFinish(client, statistics_, bundler_->Clock());
  return true;
}

void CRecordingJob::ProcessPacket(RecordingPacket& packet) {
  if (bundler_->ClosesOpenBundle(packet.kind, packet.timestamp)) {
    FlushBundle();
  }
  packet.kind = bundler_->Add(packet.kind, packet.timestamp);
  if (packet.kind == PacketKind::Kfrm) {
    ++statistics_.keyFrames;
  }
  AppendSubPacket(bundle_, packet.kind, packet);
  if (packet.kind == PacketKind::Fint) {
    FlushBundle();
  }
}

void CRecordingJob::FlushBundle() {
  const BundleFrame frame = bundler_->CloseBundle();
  const Time duration = bundler_->Clock().FrameDuration();
  for (std::uint64_t spacer = frame.spacers; spacer > 0; --spacer) {
    if (client_->IsCancelRequested()) {
      return;  // the run stops at its next look at the client
    }
    RecordFrame(SampleKind::Spacer, {}, frame.time - static_cast<Time>(spacer) * duration);
    ++statistics_.spacers;
  }
  bundleIsKey_ = frame.isKey;
  const PacketKind kind = bundleIsKey_ ? PacketKind::Kbnd : PacketKind::Bndl;
  if (sink_.ProducesPictures()) {
    StoreU32LE(bundle_.data(), FourCCOfPacketKind(kind));
    sink_.DecodeIntoFrame(bundle_.span());
  } else if (!streamFormatAnnounced_) {
    AnnounceStreamFormat();
  }
  RecordFrame(bundleIsKey_ ? SampleKind::KeyBundle : SampleKind::Bundle,
              bundle_.span().subspan(kBundleHeaderSize), frame.time);
  ClearBundle();
}

// A decoded output records the frame buffer's picture for a bundle, and says that it repeats the
// picture before for a spacer.
void CRecordingJob::RecordFrame(SampleKind kind, std::span<const std::uint8_t> bundle, Time time) {
  if (!sink_.ProducesPictures()) {
    sink_.RecordSample(kind, bundle, time);
  } else if (kind == SampleKind::Spacer) {
    sink_.RecordRepeatedPicture(time);
  } else {
    sink_.RecordPicture(time);
  }
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
