#pragma once

#include <cstdint>
#include <vector>

#include "common/bitmap_format.h"
#include "common/fourcc.h"
#include "common/time.h"
#include "engine/input_file.h"

namespace reelkit {

inline constexpr std::uint32_t kMaxAviChunkSize = 256u << 20;
// An AVI of the screen stream is taken to run at 30 chunks per second, whatever its header says.
inline constexpr Time kAviChunkDuration = FrameDuration(30);
// A first data chunk must hold "KBND", a "FINT" sub-packet header and its format header.
inline constexpr std::size_t kMinFirstChunkSize = 84;

// The content of one 'movi' list: where its chunks start and how many bytes they take.
struct MoviList {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

struct ChunkHeader {
  FourCC id = 0;
  std::uint32_t size = 0;
};

// Finds the 'movi' list of the first RIFF 'AVI ' and of every 'AVIX' continuation that follows
// it. Chunks other than lists at the RIFF level ('JUNK' and the like) are passed over. Sizes are
// as the lists declare them, so reading a list that runs past the end of the file ends in a short
// read. Leaves the file position unspecified; an empty result means the file has no 'movi' list.
std::vector<MoviList> LocateMoviLists(InputFile& file);

ChunkHeader ReadChunkHeader(InputFile& file);

// Reads the header of the next chunk of a 'movi' list. A chunk of no bytes is a malformed
// container (InvalidInputFormat); one over kMaxAviChunkSize is refused by that limit.
ChunkHeader ReadMoviChunkHeader(InputFile& file);

// The bytes a chunk of a size ReadMoviChunkHeader accepted takes in its list: chunks are padded
// to even sizes.
constexpr std::uint32_t PaddedChunkSize(std::uint32_t size) {
  return size + (size & 1);
}

// Stream chunks end in "db" or "dc"; the stream number in front is not examined.
bool IsDataChunk(FourCC id);

// The first data chunk must be a key bundle that opens with a format announcement.
bool IsValidFirstChunk(std::span<const std::uint8_t> chunk);

// The stream format a first chunk announces: 32 bits per pixel at its width and height.
BitmapFormat StreamFormatOfFirstChunk(std::span<const std::uint8_t> chunk);

}  // namespace reelkit
