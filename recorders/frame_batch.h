#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/byte_block.h"
#include "common/time.h"
#include "recorders/source_stream.h"

namespace reelkit {

// One pass-through frame as the push source sends it downstream: the tag of its packet kind (none
// for kind 0), then the packet, then the picture. The bytes are borrowed.
struct TaggedFrame {
  std::uint32_t kind = 0;
  std::span<const std::uint8_t> packet;
  std::span<const std::uint8_t> picture;
  Time start = 0;
  Time stop = 0;

  std::size_t Size() const;
  // Writes Size() bytes at out.
  void WriteTo(std::uint8_t* out) const;
};

// Makes the sample hold size bytes, growing its buffer when needed, and returns where they go.
std::uint8_t* ResizeSample(CMediaSampleBuffer& sample, std::size_t size);

// Pass-through frames copied one after another, so that a few hundred of them reach the streaming
// thread in one hand-over instead of one each: on a busy machine every hand-over may cost both
// threads a sleep. Filled on the recorder's thread, then emitted in order on the streaming thread,
// never both at once. Its storage is kept when it empties, so a steady stream allocates nothing.
class CFrameBatch {
 public:
  // A larger frame is not copied into a batch, where it would be held twice over (and a
  // recording's bundle may be hundreds of megabytes): it goes on its own, borrowed.
  static constexpr std::size_t kLargestFrame = 256 * 1024;
  // A batch goes when it holds this many frames (17 s of video at 30 a second) or kLargestFrame
  // bytes, whichever comes first.
  static constexpr std::size_t kFrames = 512;

  bool IsEmpty() const { return next_ == frames_.size(); }
  bool IsFull() const { return frames_.size() >= kFrames || bytes_.size() >= kLargestFrame; }

  // The frame's bytes are copied at once.
  void Append(const TaggedFrame& frame);
  // Copies the oldest frame not yet emitted into the sample. Only while not empty.
  void EmitNext(CMediaSampleBuffer& sample);
  void Clear();

 private:
  struct Frame {
    std::size_t size = 0;
    Time start = 0;
    Time stop = 0;
  };

  ByteBlock bytes_;
  std::vector<Frame> frames_;
  std::size_t next_ = 0;        // the first frame not yet emitted
  std::size_t nextOffset_ = 0;  // where its bytes begin
};

}  // namespace reelkit
