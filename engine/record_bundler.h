#pragma once

#include <cstddef>
#include <cstdint>

#include "common/byte_block.h"
#include "common/packet_kind.h"
#include "common/time.h"
#include "engine/frame_clock.h"
#include "engine/raw_recording_reader.h"

namespace reelkit {

// Nothing real puts this much into one frame interval; a hostile file must not make us try.
inline constexpr std::size_t kMaxBundleSize = 512u << 20;

// Where a completed bundle goes in the video: the spacers before it, whole intervals that repeat
// the picture before, and then its own frame, due at time.
struct BundleFrame {
  std::uint64_t spacers = 0;
  Time time = 0;
  bool isKey = false;
};

// Places a raw recording's records into the frames of a video at a given frame duration. Records
// are gathered into one bundle per frame interval; a FINT or a key image opens a bundle of its
// own, and a FINT stands alone in its bundle. The clock starts with the first bundle; whole
// intervals with no record become spacers. The converter and the player of recordings both place
// records here, so that each shows every picture at the same time. Used on one thread; a copy is
// a snapshot to resume from.
class CRecordBundler {
 public:
  explicit CRecordBundler(Time frameDuration);

  // True when the open bundle is complete before a record of this kind and time, and is to be
  // closed first.
  bool ClosesOpenBundle(PacketKind kind, Time timestamp) const;
  // Closes the open bundle and moves the clock past its frame. A video that would grow past
  // kMaxVideoLength is refused with a LimitRefusal.
  BundleFrame CloseBundle();
  // Adds a record to the open bundle, opening one when none is, and returns the kind it joins as:
  // the recording's first INIT acts as a FINT. A FINT completes its bundle: close it next.
  PacketKind Add(PacketKind kind, Time timestamp);

  bool HasOpenBundle() const { return open_; }
  const CFrameClock& Clock() const { return clock_; }

 private:
  CFrameClock clock_;
  std::uint64_t frames_ = 0;
  Time bundleStart_ = 0;
  bool open_ = false;
  bool isKey_ = false;
  bool initSeen_ = false;
};

// Appends a record to a bundle as one sub-packet: the kind, the payload's length, then the second
// block and the first. A bundle past kMaxBundleSize is refused with a LimitRefusal.
void AppendSubPacket(ByteBlock& bundle, PacketKind kind, const RecordingPacket& packet);

}  // namespace reelkit
