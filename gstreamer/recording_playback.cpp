#include "gstreamer/recording_playback.h"

#include <algorithm>

#include "common/conversion_failure.h"
#include "common/endian.h"
#include "engine/still_picture_search.h"

namespace reelkit::gst {
namespace {

constexpr std::size_t kBundleFourCCSize = 4;

// The walk's view of one bundle being gathered: where reading may resume for it, when it opens
// with a key image.
class CIndexWalk {
 public:
  explicit CIndexWalk(std::uint64_t recordsStart) { index_.first.offset = recordsStart; }

  void Note(const RecordHead& head, std::uint64_t offset) {
    if (bundler_.ClosesOpenBundle(head.kind, head.timestamp)) {
      Close();
    }
    if (head.kind == PacketKind::Kfrm) {
      openKey_ = ResumePoint{offset, bundler_, state_, 0};
      keyIsOpen_ = true;
    }
    const PacketKind joined = bundler_.Add(head.kind, head.timestamp);
    state_.Note(head.kind, offset);
    if (joined == PacketKind::Fint) {
      Close();
    }
  }

  RecordingIndex Finish() {
    if (bundler_.HasOpenBundle()) {
      Close();
    }
    if (!hasFrames_) {
      throw CReelkitException(ConvertErrorKind::NoPicture);
    }
    index_.end = bundler_.Clock().Next();
    return std::move(index_);
  }

 private:
  void Close() {
    const BundleFrame frame = bundler_.CloseBundle();
    if (!hasFrames_) {
      index_.start = frame.time;
      index_.first.time = frame.time;
      hasFrames_ = true;
    }
    if (keyIsOpen_) {
      openKey_.time = frame.time;
      KeepKeyImage(index_.keys, openKey_);
      keyIsOpen_ = false;
    }
  }

  RecordingIndex index_;
  CRecordBundler bundler_{kPlaybackFrameDuration};
  KeyImageState state_;
  ResumePoint openKey_;
  bool keyIsOpen_ = false;
  bool hasFrames_ = false;
};

}  // namespace

const ResumePoint& RecordingIndex::PointFor(Time time) const {
  const auto after = std::upper_bound(keys.begin(), keys.end(), time,
                                      [](Time t, const ResumePoint& key) { return t < key.time; });
  return after == keys.begin() ? first : *std::prev(after);
}

RecordingIndex IndexRecording(InputFile& file, std::uint64_t recordsStart) {
  file.SeekTo(recordsStart);
  CIndexWalk walk(recordsStart);
  RecordHead head;
  for (;;) {
    const std::uint64_t offset = file.Position();
    if (SkipRecord(file, head) == 0) {
      break;
    }
    walk.Note(head, offset);
  }
  return walk.Finish();
}

CBundleStream::CBundleStream(InputFile& file) : file_(file) {
  bytes_.Resize(kBundleFourCCSize);
}

void CBundleStream::ResumeAt(const ResumePoint& point) {
  bundler_ = point.bundler;
  bytes_.Resize(kBundleFourCCSize);
  Restore(point.state);
  file_.SeekTo(point.offset);
  packetPending_ = false;
}

// The restoring records go in front of the key image, in the bundle it opens.
void CBundleStream::Restore(const KeyImageState& state) {
  for (const KeyImageState::Replay& replay : state.Replays()) {
    if (replay.offset == kNoRecord) {
      continue;
    }
    file_.SeekTo(replay.offset);
    if (ReadRecord(file_, packet_) != 0) {
      AppendSubPacket(bytes_, replay.kind, packet_);
    }
  }
}

bool CBundleStream::Next(PlaybackBundle& bundle) {
  for (;;) {
    if (!packetPending_) {
      if (ReadRecord(file_, packet_) == 0) {
        if (!bundler_.HasOpenBundle()) {
          return false;
        }
        Close(bundle);
        return true;
      }
      packetPending_ = true;
    }
    if (bundler_.ClosesOpenBundle(packet_.kind, packet_.timestamp)) {
      Close(bundle);
      return true;
    }
    packetPending_ = false;
    const PacketKind joined = bundler_.Add(packet_.kind, packet_.timestamp);
    AppendSubPacket(bytes_, joined, packet_);
    if (joined == PacketKind::Fint) {
      Close(bundle);
      return true;
    }
  }
}

void CBundleStream::Close(PlaybackBundle& bundle) {
  bundle.frame = bundler_.CloseBundle();
  const PacketKind kind = bundle.frame.isKey ? PacketKind::Kbnd : PacketKind::Bndl;
  StoreU32LE(bytes_.data(), FourCCOfPacketKind(kind));
  std::swap(bundle.bytes, bytes_);
  bytes_.Resize(kBundleFourCCSize);
}

}  // namespace reelkit::gst
