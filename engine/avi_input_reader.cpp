#include "engine/avi_input_reader.h"

#include <algorithm>

#include "common/conversion_failure.h"
#include "common/endian.h"
#include "common/packet_kind.h"

namespace reelkit {
namespace {

constexpr FourCC kRiff = MakeFourCC('R', 'I', 'F', 'F');
constexpr FourCC kList = MakeFourCC('L', 'I', 'S', 'T');
constexpr FourCC kFormAvi = MakeFourCC('A', 'V', 'I', ' ');
constexpr FourCC kFormAvix = MakeFourCC('A', 'V', 'I', 'X');
constexpr FourCC kFormMovi = MakeFourCC('m', 'o', 'v', 'i');

constexpr std::size_t kFirstChunkWidthOffset = 48;
constexpr std::size_t kFirstChunkHeightOffset = 52;

std::uint64_t Padded(std::uint64_t size) {
  return size + (size & 1);
}

struct RiffHeader {
  FourCC id = 0;
  std::uint32_t size = 0;
  FourCC form = 0;
};

// Reads the next 12 bytes as a RIFF or list header when the file holds that many.
bool ReadRiffHeader(InputFile& file, RiffHeader& header) {
  if (file.Remaining() < 12) {
    return false;
  }
  header.id = file.ReadU32();
  header.size = file.ReadU32();
  header.form = file.ReadU32();
  return true;
}

// Walks the chunks of one RIFF body and returns its 'movi' list, if any.
bool FindMoviInRiff(InputFile& file, std::uint64_t end, MoviList& movi) {
  while (file.Position() + 8 <= end) {
    const std::uint64_t chunkStart = file.Position();
    const ChunkHeader chunk = ReadChunkHeader(file);
    const std::uint64_t chunkEnd = chunkStart + 8 + Padded(chunk.size);
    if (chunk.id == kList && chunk.size >= 4) {
      if (file.ReadU32() == kFormMovi) {
        movi.offset = file.Position();
        // As declared: a list that runs past the end of the file is a truncated file.
        movi.size = chunk.size - 4;
        return true;
      }
    }
    if (chunkEnd > end) {
      return false;
    }
    file.SeekTo(chunkEnd);
  }
  return false;
}

}  // namespace

ChunkHeader ReadChunkHeader(InputFile& file) {
  ChunkHeader header;
  header.id = file.ReadU32();
  header.size = file.ReadU32();
  return header;
}

ChunkHeader ReadMoviChunkHeader(InputFile& file) {
  const ChunkHeader header = ReadChunkHeader(file);
  if (header.size == 0) {
    throw CReelkitException(ConvertErrorKind::InvalidInputFormat);
  }
  if (header.size > kMaxAviChunkSize) {
    throw CReelkitException(LimitRefusal{InputLimit::ChunkSize, header.size, kMaxAviChunkSize});
  }
  return header;
}

std::vector<MoviList> LocateMoviLists(InputFile& file) {
  std::vector<MoviList> lists;
  file.SeekTo(0);
  RiffHeader riff;
  while (ReadRiffHeader(file, riff) && riff.id == kRiff &&
         riff.form == (lists.empty() ? kFormAvi : kFormAvix)) {
    const std::uint64_t riffEnd =
        std::min<std::uint64_t>(file.Position() - 4 + Padded(riff.size), file.Size());
    MoviList movi;
    if (FindMoviInRiff(file, riffEnd, movi) && movi.size > 0) {
      lists.push_back(movi);
    } else if (lists.empty()) {
      break;
    }
    if (riffEnd >= file.Size()) {
      break;
    }
    file.SeekTo(riffEnd);
  }
  return lists;
}

bool IsDataChunk(FourCC id) {
  const auto third = static_cast<char>((id >> 16) & 0xFF);
  const auto fourth = static_cast<char>((id >> 24) & 0xFF);
  return third == 'd' && (fourth == 'b' || fourth == 'c');
}

bool IsValidFirstChunk(std::span<const std::uint8_t> chunk) {
  return chunk.size() >= kMinFirstChunkSize &&
         LoadU32LE(chunk.data()) == FourCCOfPacketKind(PacketKind::Kbnd) &&
         LoadU32LE(chunk.data() + 4) == FourCCOfPacketKind(PacketKind::Fint);
}

BitmapFormat StreamFormatOfFirstChunk(std::span<const std::uint8_t> chunk) {
  BitmapInfoHeader header;
  header.width = LoadI32LE(chunk.data() + kFirstChunkWidthOffset);
  header.height = LoadI32LE(chunk.data() + kFirstChunkHeightOffset);
  header.bitCount = 32;
  header.compression = kCompressionRgb;
  header.sizeImage = static_cast<std::uint32_t>(DibImageSize(header));
  return BitmapFormat(header);
}

}  // namespace reelkit
