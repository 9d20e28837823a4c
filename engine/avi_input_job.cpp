#include "engine/avi_input_job.h"

#include "common/conversion_failure.h"
#include "common/endian.h"
#include "common/error_codes.h"
#include "common/packet_kind.h"
#include "engine/format_announcement.h"

namespace reelkit {
namespace {

[[noreturn]] void ThrowMalformed() {
  throw CReelkitException(ConvertErrorKind::InvalidInputFormat);
}

}  // namespace

CAviInputJob::CAviInputJob(RecorderFactory makeRecorder) : sink_(std::move(makeRecorder)) {}

bool CAviInputJob::Execute(const std::string& inputPath, const std::string& outputPath,
                           OutputFormat format, IReelkitClient& client) {
  sink_.SetDestination(outputPath, format);
  StartRun(input_, inputPath, client);
  const std::vector<MoviList> lists = LocateMoviLists(input_);
  for (const MoviList& list : lists) {
    progress_.size += list.size;
  }
  if (progress_.size == 0) {
    ThrowMalformed();
  }
  clock_.SetFrameDuration(sink_.OpenRecorder());
  for (const MoviList& list : lists) {
    input_.SeekTo(list.offset);
    std::uint64_t listConsumed = 0;
    while (listConsumed < list.size) {
      ReadNextChunk(listConsumed);
      progress_.Report(client);
      if (client.IsCancelRequested()) {
        return false;
      }
    }
  }
  input_.Close();
  if (pictureIsPending_) {
    RecordDecodedPicture();
  }
  sink_.Complete();
  ReportFinish(client, statistics_, clock_);
  return true;
}

void CAviInputJob::ReadNextChunk(std::uint64_t& listConsumed) {
  const ChunkHeader header = ReadMoviChunkHeader(input_);
  listConsumed += 8;
  progress_.consumed += 8;
  const std::uint32_t size = PaddedChunkSize(header.size);
  listConsumed += size;
  progress_.consumed += size;
  if (!IsDataChunk(header.id)) {
    input_.Skip(size);
    return;
  }
  input_.RequireAvailable(size);
  chunk_.ResizeForOverwrite(size);
  input_.ReadExactly(chunk_.span());
  ++statistics_.packets;
  if (!streamFormatKnown_) {
    if (!IsValidFirstChunk(chunk_.span())) {
      ThrowMalformed();
    }
    TakeStreamFormat();
    streamFormatKnown_ = true;
  }
  if (sink_.ProducesPictures()) {
    DecodeChunk();
  } else {
    PassChunkThrough(chunk_.span().first(header.size));
  }
}

void CAviInputJob::TakeStreamFormat() {
  const BitmapFormat chunkFormat = StreamFormatOfFirstChunk(chunk_.span());
  if (sink_.ProducesPictures()) {
    sink_.CreateDecoder(chunkFormat);
    return;
  }
  // Nothing decodes a pass-through stream on its way, so the format the output declares is
  // checked here. It is the one the first chunk announces, at whatever depth; without an
  // announcement, the 32-bit format of the chunk's size.
  const auto announced = AnnouncedFormatBlock(chunk_.span().subspan(4));
  sink_.DeclarePassThroughFormat(
      AnnouncedStreamFormat(announced.empty() ? chunkFormat.Bytes() : announced));
}

void CAviInputJob::PassChunkThrough(std::span<const std::uint8_t> chunk) {
  // A chunk already is one sample of the stream, one frame interval long at 30 per second: its
  // bundle goes out unchanged under its own tag, at its own time.
  const PacketKind tag =
      chunk.size() >= 4 ? PacketKindOfFourCC(LoadU32LE(chunk.data())) : PacketKind::None;
  if (tag == PacketKind::Kbnd || tag == PacketKind::Bndl) {
    if (tag == PacketKind::Kbnd) {
      ++statistics_.keyFrames;
    }
    const SampleKind kind = tag == PacketKind::Kbnd ? SampleKind::KeyBundle : SampleKind::Bundle;
    sink_.RecordSample(kind, chunk.subspan(4), clock_.Next());
  } else {
    // Nothing in it that a decoder reads: the picture stays as it was, as after a spacer.
    sink_.RecordSample(SampleKind::Spacer, {}, clock_.Next());
  }
  clock_.Advance();
  ++statistics_.frames;
}

void CAviInputJob::DecodeChunk() {
  const bool isKey =
      chunk_.size() >= 4 && LoadU32LE(chunk_.data()) == FourCCOfPacketKind(PacketKind::Kbnd);
  if (isKey) {
    ++statistics_.keyFrames;
  }
  sink_.DecodeIntoFrame(chunk_.span());
  pictureIsPending_ = true;
  if (inputTime_ > clock_.Next() + clock_.FrameDuration()) {
    RecordDecodedPicture();
  }
  inputTime_ += kAviChunkDuration;
}

void CAviInputJob::RecordDecodedPicture() {
  sink_.RecordPicture(clock_.Next());
  clock_.Advance();
  ++statistics_.frames;
  pictureIsPending_ = false;
}

}  // namespace reelkit
