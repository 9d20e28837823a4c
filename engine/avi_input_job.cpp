#include "engine/avi_input_job.h"

#include "common/endian.h"
#include "common/error_codes.h"
#include "common/reelkit_exception.h"

namespace reelkit {

CAviInputJob::CAviInputJob(RecorderFactory makeRecorder)
    : CConversionJob(std::move(makeRecorder)) {}

bool CAviInputJob::Execute(const std::string& inputPath, const std::string& outputPath,
                           OutputFormat format, IReelkitClient& client) {
  if (!StartRun(inputPath, outputPath, format, client)) {
    return false;
  }
  const std::vector<MoviList> lists = LocateMoviLists(input_);
  for (const MoviList& list : lists) {
    inputSize_ += list.size;
  }
  if (inputSize_ == 0) {
    client.OnError(ConvertErrorKind::InvalidInputFormat, 0, {});
    return false;
  }
  SelectOutputFormat();
  for (const MoviList& list : lists) {
    input_.SeekTo(list.offset);
    std::uint64_t listConsumed = 0;
    while (listConsumed < list.size) {
      if (ReadNextChunk(listConsumed) == ChunkOutcome::Invalid) {
        client.OnError(ConvertErrorKind::InvalidInputFormat, 0, {});
        return false;
      }
      ReportProgress(client);
      if (client.IsCancelRequested()) {
        return false;
      }
    }
  }
  input_.Close();
  CompleteOutput();
  ReportFinish(client);
  return true;
}

CAviInputJob::ChunkOutcome CAviInputJob::ReadNextChunk(std::uint64_t& listConsumed) {
  const ChunkHeader header = ReadChunkHeader(input_);
  listConsumed += 8;
  consumed_ += 8;
  if (header.size == 0) {
    return ChunkOutcome::Invalid;
  }
  if (header.size > kMaxAviChunkSize) {
    throw CReelkitException(LimitRefusal{InputLimit::ChunkSize, header.size, kMaxAviChunkSize});
  }
  const std::uint32_t size = header.size + (header.size & 1);
  listConsumed += size;
  consumed_ += size;
  if (!IsDataChunk(header.id)) {
    input_.Skip(size);
    return ChunkOutcome::Continue;
  }
  input_.RequireAvailable(size);
  chunk_.ResizeForOverwrite(size);
  input_.ReadExactly(chunk_.span());
  ++packets_;
  if (!decoderReady_) {
    if (!IsValidFirstChunk(chunk_.span())) {
      return ChunkOutcome::Invalid;
    }
    streamFormat_ = StreamFormatOfFirstChunk(chunk_.span());
    CreateDecoder();
    decoderReady_ = true;
  }
  DecodeChunk();
  return ChunkOutcome::Continue;
}

void CAviInputJob::DecodeChunk() {
  const bool isKey =
      chunk_.size() >= 4 && LoadU32LE(chunk_.data()) == FourCCOfPacketKind(PacketKind::Kbnd);
  if (isKey) {
    ++keyFrames_;
  }
  DecodeIntoFrame(chunk_.span());
  if (inputTime_ > nextFrameTime_ + frameDuration_) {
    RecordPicture();
    nextFrameTime_ += frameDuration_;
    ++frames_;
  }
  inputTime_ += kInputChunkDuration;
}

}  // namespace reelkit
