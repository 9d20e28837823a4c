#pragma once

#include <cstdint>
#include <vector>

#include "common/byte_block.h"
#include "common/output_format.h"
#include "engine/input_file.h"
#include "engine/key_image_state.h"
#include "engine/raw_recording_reader.h"
#include "engine/record_bundler.h"

// A raw recording as a player reads it: the bundles of the converter's frames, each due at the
// time the converter shows its picture, from the start or from any key image.
namespace reelkit::gst {

// The converter's decoded outputs share one frame rate; a recording plays on that clock, so that
// at every moment it shows the picture a converted video shows then.
constexpr int PictureFramesPerSecond() {
  const int rate = FramesPerSecondOf(OutputFormat::MicrosoftRle);
  for (const OutputFormatDescriptor& row : kOutputFormats) {
    if (row.format != OutputFormat::ScreenCodec && row.framesPerSecond != rate) {
      return 0;
    }
  }
  return rate;
}
static_assert(PictureFramesPerSecond() > 0, "the decoded outputs must share one frame rate");
inline constexpr Time kPlaybackFrameDuration = FrameDuration(PictureFramesPerSecond());

// Where reading may begin: a record offset, the bundler as it stood there, and what decoding must
// restore before it. The recording's start is such a point too, with nothing to restore.
struct ResumePoint {
  std::uint64_t offset = 0;
  CRecordBundler bundler{kPlaybackFrameDuration};
  KeyImageState state;
  Time time = 0;  // when the bundle read first from here is shown
};

// One walk over a recording's record heads: when its video starts and ends, and where its key
// images are (thinned out as the still-picture search keeps them, so the list stays bounded).
struct RecordingIndex {
  Time start = 0;
  Time end = 0;  // when the last frame's interval ends
  ResumePoint first;
  std::vector<ResumePoint> keys;

  // The last key image shown at or before time, or the recording's start.
  const ResumePoint& PointFor(Time time) const;
};

// Walks the records from recordsStart to the end of the file. A recording without a record makes
// no video and is refused with CReelkitException(NoPicture); the readers' limits and the longest
// video apply as they do in a conversion.
RecordingIndex IndexRecording(InputFile& file, std::uint64_t recordsStart);

// A bundle as the screen stream decoder takes it: its FourCC ("KBND" or "BNDL"), then its
// sub-packets.
struct PlaybackBundle {
  ByteBlock bytes;
  BundleFrame frame;
};

// Reads records from a resume point on and hands out one bundle at a time. The first bundle
// after a key image's point opens with the records that restore what the key image leaves as it
// was. Used on one thread.
class CBundleStream {
 public:
  explicit CBundleStream(InputFile& file);

  void ResumeAt(const ResumePoint& point);
  // The next bundle; false when the records end. The readers' failures throw.
  bool Next(PlaybackBundle& bundle);

 private:
  void Restore(const KeyImageState& state);
  void Close(PlaybackBundle& bundle);

  InputFile& file_;
  CRecordBundler bundler_{kPlaybackFrameDuration};
  RecordingPacket packet_;
  bool packetPending_ = false;
  ByteBlock bytes_;
};

}  // namespace reelkit::gst
