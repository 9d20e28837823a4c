#include "engine/record_bundler.h"

#include "common/conversion_failure.h"

namespace reelkit {
namespace {

bool OpensKeyBundle(PacketKind kind) {
  return kind == PacketKind::Fint || kind == PacketKind::Kfrm;
}

}  // namespace

CRecordBundler::CRecordBundler(Time frameDuration) {
  clock_.SetFrameDuration(frameDuration);
}

bool CRecordBundler::ClosesOpenBundle(PacketKind kind, Time timestamp) const {
  return open_ && (timestamp >= clock_.Next() + clock_.FrameDuration() || OpensKeyBundle(kind));
}

BundleFrame CRecordBundler::CloseBundle() {
  const Time duration = clock_.FrameDuration();
  const std::uint64_t spacers = clock_.IntervalsSkippedBefore(bundleStart_);
  const auto framesAllowed = static_cast<std::uint64_t>(kMaxVideoLength / duration);
  if (frames_ + spacers >= framesAllowed) {
    const std::uint64_t asked = (frames_ + spacers + 1) * static_cast<std::uint64_t>(duration);
    throw CReelkitException(LimitRefusal{InputLimit::VideoLength, asked, kMaxVideoLength});
  }
  clock_.Advance(spacers);
  const BundleFrame frame{spacers, clock_.Next(), isKey_};
  clock_.Advance();
  frames_ += spacers + 1;
  open_ = false;
  isKey_ = false;
  return frame;
}

PacketKind CRecordBundler::Add(PacketKind kind, Time timestamp) {
  clock_.NoteInputTime(timestamp);
  if (!initSeen_ && kind == PacketKind::Init) {
    kind = PacketKind::Fint;
    initSeen_ = true;
  }
  if (!open_) {
    bundleStart_ = timestamp;
    open_ = true;
  }
  isKey_ = isKey_ || OpensKeyBundle(kind);
  clock_.StartAt(bundleStart_);
  return kind;
}

void AppendSubPacket(ByteBlock& bundle, PacketKind kind, const RecordingPacket& packet) {
  const std::size_t payload = packet.firstBlock.size() + packet.secondBlock.size();
  if (const std::size_t size = bundle.size() + 8 + payload; size > kMaxBundleSize) {
    throw CReelkitException(LimitRefusal{InputLimit::BundleSize, size, kMaxBundleSize});
  }
  bundle.AppendU32LE(FourCCOfPacketKind(kind));
  bundle.AppendU32LE(static_cast<std::uint32_t>(payload));
  bundle.Append(packet.secondBlock.span());
  bundle.Append(packet.firstBlock.span());
}

}  // namespace reelkit
