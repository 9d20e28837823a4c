#include "engine/avi_input_job.h"

#include "common/conversion_failure.h"
#include "common/endian.h"
#include "common/error_codes.h"
#include "engine/format_announcement.h"

namespace reelkit {
namespace {

[[noreturn]] void ThrowMalformed() {
  throw CReelkitException(ConvertErrorKind::InvalidInputFormat, 0);
}

}  // namespace

CAviInputJob::CAviInputJob(RecorderFactory makeRecorder)
    : CConversionJob(std::move(makeRecorder)) {}

bool CAviInputJob::Execute(const std::string& inputPath, const std::string& outputPath,
                           OutputFormat format, IReelkitClient& client) {
  StartRun(inputPath, outputPath, format, client);
  const std::vector<MoviList> lists = LocateMoviLists(input_);
  for (const MoviList& list : lists) {
    inputSize_ += list.size;
  }
  if (inputSize_ == 0) {
    ThrowMalformed();
  }
  SelectOutputFormat();
  for (const MoviList& list : lists) {
    input_.SeekTo(list.offset);
    std::uint64_t listConsumed = 0;
    while (listConsumed < list.size) {
      ReadNextChunk(listConsumed);
      ReportProgress(client);
      if (client.IsCancelRequested()) {
        return false;
      }
    }
  }
  input_.Close();
  if (pictureIsPending_) {
    RecordDecodedPicture();
  }
  CompleteOutput();
  ReportFinish(client);
  return true;
}

void CAviInputJob::ReadNextChunk(std::uint64_t& listConsumed) {
  const ChunkHeader header = ReadChunkHeader(input_);
  listConsumed += 8;
  consumed_ += 8;
  if (header.size == 0) {
    ThrowMalformed();
  }
  if (header.size > kMaxAviChunkSize) {
    throw CReelkitException(LimitRefusal{InputLimit::ChunkSize, header.size, kMaxAviChunkSize});
  }
  const std::uint32_t size = header.size + (header.size & 1);
  listConsumed += size;
  consumed_ += size;
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
  if (ProducesPictures()) {
    DecodeChunk();
  } else {
    PassChunkThrough(chunk_.span().first(header.size));
  }
}

void CAviInputJob::TakeStreamFormat() {
  streamFormat_ = StreamFormatOfFirstChunk(chunk_.span());
  if (ProducesPictures()) {
    CreateDecoder();
    return;
  }
  // Nothing decodes a pass-through stream on its way, so the format the output declares is
  // checked here. It is the one the first chunk announces, at whatever depth; without an
  // announcement, the 32-bit format of the chunk's size.
  const auto announced = AnnouncedFormatBlock(chunk_.span().subspan(4));
  streamFormat_ = AnnouncedStreamFormat(announced.empty() ? streamFormat_.Bytes() : announced);
  DeclareStreamFormatForOutput();
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
    RecordSample(tag, chunk.subspan(4));
  } else {
    // Nothing in it that a decoder reads: the picture stays as it was, as after a spacer.
    RecordSample(PacketKind::Empt, {});
  }
  nextFrameTime_ += frameDuration_;
  ++statistics_.frames;
}

void CAviInputJob::DecodeChunk() {
  const bool isKey =
      chunk_.size() >= 4 && LoadU32LE(chunk_.data()) == FourCCOfPacketKind(PacketKind::Kbnd);
  if (isKey) {
    ++statistics_.keyFrames;
  }
  DecodeIntoFrame(chunk_.span());
  pictureIsPending_ = true;
  if (inputTime_ > nextFrameTime_ + frameDuration_) {
    RecordDecodedPicture();
  }
  inputTime_ += kInputChunkDuration;
}

void CAviInputJob::RecordDecodedPicture() {
  RecordPicture();
  nextFrameTime_ += frameDuration_;
  ++statistics_.frames;
  pictureIsPending_ = false;
}

}  // namespace reelkit
