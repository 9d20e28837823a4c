#include "recorders/frame_batch.h"

#include <algorithm>

#include "common/endian.h"
#include "common/packet_kind.h"

namespace reelkit {

namespace {

constexpr std::size_t kTagSize = 4;

}  // namespace

std::size_t TaggedFrame::Size() const {
  return (kind != 0 ? kTagSize : 0) + packet.size() + picture.size();
}

void TaggedFrame::WriteTo(std::uint8_t* out) const {
  if (kind != 0) {
    StoreU32LE(out, FourCCOfPacketKind(static_cast<PacketKind>(kind)));
    out += kTagSize;
  }
  out = std::copy(packet.begin(), packet.end(), out);
  std::copy(picture.begin(), picture.end(), out);
}

std::uint8_t* ResizeSample(CMediaSampleBuffer& sample, std::size_t size) {
  // A sample that does not fit would lose the end of a bundle and break every later picture, so
  // the buffer grows instead.
  if (sample.buffer.size() < size) {
    sample.buffer.ResizeForOverwrite(size);
  }
  sample.actualLength = size;
  return sample.buffer.data();
}

void CFrameBatch::Append(const TaggedFrame& frame) {
  const std::size_t at = bytes_.size();
  const std::size_t size = frame.Size();
  bytes_.ResizeForOverwrite(at + size);
  frame.WriteTo(bytes_.data() + at);
  frames_.push_back({size, frame.start, frame.stop});
}

void CFrameBatch::EmitNext(CMediaSampleBuffer& sample) {
  const Frame& frame = frames_[next_];
  std::copy_n(bytes_.data() + nextOffset_, frame.size, ResizeSample(sample, frame.size));
  sample.start = frame.start;
  sample.stop = frame.stop;
  sample.syncPoint = true;
  nextOffset_ += frame.size;
  ++next_;
  if (IsEmpty()) {
    Clear();
  }
}

void CFrameBatch::Clear() {
  bytes_.Clear();
  frames_.clear();
  next_ = 0;
  nextOffset_ = 0;
}

}  // namespace reelkit
