// A raw recording's picture without decoding it from the start: one walk over the record heads
// finds the recording's length and its key images, then decoding begins at the last key image
// before the chosen moment. A key image sets both planes and the screen; what it does not set, the
// format and the cursor, comes from the records that last set them, decoded first.
#include <algorithm>
#include <vector>

#include "common/conversion_failure.h"
#include "engine/key_image_state.h"
#include "engine/raw_recording_reader.h"
#include "engine/still_picture_search.h"

namespace reelkit {
namespace {

struct KeyImage {
  std::uint64_t offset = 0;
  Time time = 0;
  KeyImageState state;
};

struct RecordingWalk {
  std::uint64_t recordsStart = 0;
  bool hasRecords = false;
  Time first = 0;
  Time last = 0;
  std::vector<KeyImage> keys;
};

// Reads every record head up to the end, or as far as the walk's share of the time reaches: the
// part walked is then taken for the recording. The readers' limits apply to every record, and so
// does the longest video a recording may make.
RecordingWalk WalkRecords(InputFile& file, std::uint64_t recordsStart,
                          const CSearchDeadline& deadline) {
  RecordingWalk walk;
  walk.recordsStart = recordsStart;
  KeyImageState state;
  RecordHead head;
  while (!deadline.WalkIsOver()) {
    const std::uint64_t offset = file.Position();
    if (SkipRecord(file, head) == 0) {
      break;
    }
    if (!walk.hasRecords) {
      walk.first = head.timestamp;
      walk.hasRecords = true;
    }
    walk.last = std::max(walk.last, head.timestamp);
    if (walk.last - walk.first > kMaxVideoLength) {
      throw CReelkitException(LimitRefusal{InputLimit::VideoLength,
                                           static_cast<std::uint64_t>(walk.last - walk.first),
                                           kMaxVideoLength});
    }
    if (head.kind == PacketKind::Kfrm) {
      KeepKeyImage(walk.keys, {offset, head.timestamp, state});
    }
    state.Note(head.kind, offset);
  }
  return walk;
}

// The first key image within reach after the moment, if any, else the last one at or before it,
// or the start of the records with nothing set.
KeyImage StartFor(const RecordingWalk& walk, Time moment) {
  const auto after = std::find_if(walk.keys.begin(), walk.keys.end(), [moment](const KeyImage& k) {
    return k.time > moment && k.time - moment <= kKeyImageReach;
  });
  if (after != walk.keys.end()) {
    return *after;
  }
  const auto before = std::find_if(walk.keys.rbegin(), walk.keys.rend(),
                                   [moment](const KeyImage& k) { return k.time <= moment; });
  return before != walk.keys.rend() ? *before : KeyImage{walk.recordsStart, walk.first, {}};
}

class CRecordDecoding {
 public:
  CRecordDecoding(InputFile& file, CPictureAssembler& assembler)
      : file_(file), assembler_(assembler) {}

  void DecodeRecordAt(std::uint64_t offset, PacketKind kind) {
    if (offset == kNoRecord) {
      return;
    }
    file_.SeekTo(offset);
    if (ReadRecord(file_, packet_) != 0) {
      assembler_.Add(kind, packet_.secondBlock.span(), packet_.firstBlock.span());
    }
  }

  void RestoreState(const KeyImageState& state) {
    for (const KeyImageState::Replay& replay : state.Replays()) {
      DecodeRecordAt(replay.offset, replay.kind);
    }
  }

  // Decodes the records from offset up to the first one after the moment; false when the time ran
  // out first.
  bool DecodeUpTo(std::uint64_t offset, Time moment, bool initSeen,
                  const CSearchDeadline& deadline) {
    file_.SeekTo(offset);
    while (ReadRecord(file_, packet_) != 0 && packet_.timestamp <= moment) {
      if (deadline.DecodingIsOver()) {
        return false;
      }
      PacketKind kind = packet_.kind;
      if (kind == PacketKind::Init && !initSeen) {
        kind = PacketKind::Fint;
        initSeen = true;
      }
      assembler_.Add(kind, packet_.secondBlock.span(), packet_.firstBlock.span());
    }
    return true;
  }

 private:
  InputFile& file_;
  CPictureAssembler& assembler_;
  RecordingPacket packet_;
};

}  // namespace

StillPicture RecordingStillPicture(InputFile& file, const PictureBudget& budget,
                                   const CSearchDeadline& deadline) {
  BitmapFormat streamFormat;
  const std::uint64_t recordsStart = ReadRecordingHeader(file, streamFormat);
  CPictureAssembler assembler(streamFormat, budget.pixels);
  const RecordingWalk walk = WalkRecords(file, recordsStart, deadline);
  if (!walk.hasRecords) {
    return DrawnPicture(assembler, deadline.WalkIsOver());
  }
  const Time sampled = SampledTime(walk.first, walk.last);
  const KeyImage start = StartFor(walk, sampled);
  const Time moment = std::max(sampled, start.time);
  CRecordDecoding decoding(file, assembler);
  decoding.RestoreState(start.state);
  const bool complete = decoding.DecodeUpTo(start.offset, moment, start.state.initSeen, deadline);
  return DrawnPicture(assembler, !complete);
}

}  // namespace reelkit
