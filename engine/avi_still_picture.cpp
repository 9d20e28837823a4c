// An AVI's picture without decoding it from the start: one walk over the chunk headers counts the
// chunks (each one interval at 30 a second) and finds the key bundles, then decoding begins at the
// last key bundle before the chosen chunk. The chunks before it are only read for the sub-packets
// that set what a key image leaves as it was: the format and the cursor.
#include <algorithm>
#include <cerrno>
#include <vector>

#include "common/byte_reader.h"
#include "common/conversion_failure.h"
#include "common/endian.h"
#include "engine/avi_input_reader.h"
#include "engine/still_picture_search.h"

namespace reelkit {
namespace {

[[noreturn]] void ThrowMalformed() {
  throw CReelkitException(ConvertErrorKind::InvalidInputFormat);
}

struct DataChunk {
  std::uint64_t offset = 0;
  std::uint32_t size = 0;
};

// The data chunks of every 'movi' list in turn, under the rules the conversion reads them by.
class CMoviChunks {
 public:
  CMoviChunks(InputFile& file, const std::vector<MoviList>& lists) : file_(file), lists_(lists) {}

  bool Next(DataChunk& chunk) {
    while (list_ < lists_.size()) {
      const MoviList& list = lists_[list_];
      if (consumed_ >= list.size) {
        ++list_;
        consumed_ = 0;
        continue;
      }
      file_.SeekTo(list.offset + consumed_);
      const ChunkHeader header = ReadMoviChunkHeader(file_);
      const std::uint32_t padded = PaddedChunkSize(header.size);
      consumed_ += 8 + std::uint64_t{padded};
      file_.RequireAvailable(padded);
      if (IsDataChunk(header.id)) {
        chunk = {file_.Position(), header.size};
        return true;
      }
    }
    return false;
  }

 private:
  InputFile& file_;
  const std::vector<MoviList>& lists_;
  std::size_t list_ = 0;
  std::uint64_t consumed_ = 0;
};

void ReadChunk(InputFile& file, const DataChunk& chunk, ByteBlock& bytes) {
  file.SeekTo(chunk.offset);
  bytes.ResizeForOverwrite(chunk.size);
  file.ReadExactly(bytes.span());
}

// Calls visit(kind, payload) for each sub-packet of a bundle, as far as the decoder reads them.
template <typename Visit>
void ForEachSubPacket(std::span<const std::uint8_t> bundle, Visit visit) {
  ByteReader reader(bundle);
  const auto outer = reader.ReadU32();
  if (!outer || (PacketKindOfFourCC(*outer) != PacketKind::Bndl &&
                 PacketKindOfFourCC(*outer) != PacketKind::Kbnd)) {
    return;
  }
  while (reader.Remaining() >= 4) {
    const FourCC kind = *reader.ReadU32();
    const auto size = reader.ReadU32();
    const auto payload = size ? reader.Take(*size) : std::nullopt;
    if (kind == 0 || !size || *size == 0 || !payload) {
      return;
    }
    visit(PacketKindOfFourCC(kind), *payload);
  }
}

struct AviWalk {
  BitmapFormat streamFormat;
  std::uint64_t chunks = 0;
  std::vector<std::uint64_t> keys;  // indices of key bundles; the first chunk is one
};

AviWalk WalkChunks(InputFile& file, const std::vector<MoviList>& lists,
                   const CSearchDeadline& deadline) {
  AviWalk walk;
  CMoviChunks chunks(file, lists);
  DataChunk chunk;
  ByteBlock bytes;
  while (!deadline.WalkIsOver() && chunks.Next(chunk)) {
    if (walk.chunks == 0) {
      ReadChunk(file, chunk, bytes);
      if (!IsValidFirstChunk(bytes.span())) {
        ThrowMalformed();
      }
      walk.streamFormat = StreamFormatOfFirstChunk(bytes.span());
      KeepKeyImage(walk.keys, 0);
    } else if (chunk.size >= 4 && file.ReadU32() == FourCCOfPacketKind(PacketKind::Kbnd)) {
      KeepKeyImage(walk.keys, walk.chunks);
    }
    ++walk.chunks;
  }
  return walk;
}

// The sub-packets that last set what a key image leaves as it was.
class CAviDecoderState {
 public:
  void Note(PacketKind kind, std::span<const std::uint8_t> payload) {
    switch (kind) {
      case PacketKind::Fint:
        format_.Assign(payload);
        hasFormat_ = true;
        reinit_ = false;
        break;
      case PacketKind::Init:
        reinit_ = true;
        break;
      case PacketKind::Mous:
        cursorShape_.Assign(payload);
        hasCursorShape_ = true;
        break;
      case PacketKind::Mpos:
        cursorPosition_.Assign(payload);
        hasCursorPosition_ = true;
        break;
      default:
        break;
    }
  }

  void Restore(CPictureAssembler& assembler) const {
    if (hasFormat_) {
      assembler.Add(PacketKind::Fint, format_.span());
    }
    if (reinit_) {
      assembler.Add(PacketKind::Init, {});
    }
    if (hasCursorShape_) {
      assembler.Add(PacketKind::Mous, cursorShape_.span());
    }
    if (hasCursorPosition_) {
      assembler.Add(PacketKind::Mpos, cursorPosition_.span());
    }
  }

 private:
  ByteBlock format_;
  ByteBlock cursorShape_;
  ByteBlock cursorPosition_;
  bool hasFormat_ = false;
  bool reinit_ = false;
  bool hasCursorShape_ = false;
  bool hasCursorPosition_ = false;
};

}  // namespace

StillPicture AviStillPicture(InputFile& file, const PictureBudget& budget,
                             const CSearchDeadline& deadline) {
  const std::vector<MoviList> lists = LocateMoviLists(file);
  if (lists.empty()) {
    ThrowMalformed();
  }
  const AviWalk walk = WalkChunks(file, lists, deadline);
  if (walk.chunks == 0) {
    throw CReelkitException(ConvertErrorKind::ReadInputFailed,
                            FailureCode::System(deadline.WalkIsOver() ? ETIMEDOUT : ENODATA));
  }
  CPictureAssembler assembler(walk.streamFormat, budget.pixels);
  const Time moment = SampledTime(0, static_cast<Time>(walk.chunks - 1) * kAviChunkDuration);
  auto chosen = static_cast<std::uint64_t>(moment / kAviChunkDuration);
  const auto next = std::upper_bound(walk.keys.begin(), walk.keys.end(), chosen);
  const auto reach = static_cast<std::uint64_t>(kKeyImageReach / kAviChunkDuration);
  if (next != walk.keys.end() && *next - chosen <= reach) {
    chosen = *next;
  }
  const std::uint64_t key =
      *std::prev(std::upper_bound(walk.keys.begin(), walk.keys.end(), chosen));

  CMoviChunks chunks(file, lists);
  CAviDecoderState state;
  DataChunk chunk;
  ByteBlock bytes;
  for (std::uint64_t index = 0; index <= chosen && chunks.Next(chunk); ++index) {
    if (deadline.DecodingIsOver()) {
      return DrawnPicture(assembler, true);
    }
    ReadChunk(file, chunk, bytes);
    if (index < key) {
      ForEachSubPacket(bytes.span(), [&state](PacketKind kind, std::span<const std::uint8_t> p) {
        state.Note(kind, p);
      });
      continue;
    }
    if (index == key) {
      state.Restore(assembler);
    }
    ForEachSubPacket(bytes.span(), [&assembler](PacketKind kind, std::span<const std::uint8_t> p) {
      assembler.Add(kind, p);
    });
  }
  return DrawnPicture(assembler, false);
}

}  // namespace reelkit
