#include "engine/raw_recording_reader.h"

#include <gtest/gtest.h>

#include <fstream>

#include "common/conversion_failure.h"
#include "tests/engine/engine_doubles.h"
#include "tests/testing/temp_dir.h"

namespace reelkit {
namespace {

using testing::RawRecordingBytes;
using testing::TempDir;

// Reads the header of the given bytes; returns the error of the exception, or -1 when none.
std::int64_t HeaderError(std::span<const std::uint8_t> bytes, BitmapFormat* formatOut = nullptr) {
  TempDir dir;
  InputFile file;
  EXPECT_EQ(file.Open(dir.Write("in.rcrec", bytes)), 0);
  BitmapFormat format;
  try {
    ReadRecordingHeader(file, format);
  } catch (const CReelkitException& e) {
    EXPECT_EQ(e.Failure().kind, ConvertErrorKind::ReadInputFailed);
    return e.Failure().code.value;
  }
  if (formatOut != nullptr) {
    *formatOut = format;
  }
  return -1;
}

std::vector<std::uint8_t> FormatBlock(std::uint16_t bitCount, std::uint32_t clrUsed,
                                      std::size_t tableBytes, std::uint32_t headerSize = 40) {
  std::vector<std::uint8_t> block(40 + tableBytes, 0x77);
  BitmapInfoHeader header;
  header.size = headerSize;
  header.width = 4;
  header.height = 4;
  header.bitCount = bitCount;
  header.clrUsed = clrUsed;
  WriteBitmapInfoHeader(block.data(), header);
  return block;
}

TEST(RawRecordingHeader, AcceptsBothVersionsAndRefusesOthers) {
  const auto block = FormatBlock(32, 0, 0);
  EXPECT_EQ(HeaderError(RawRecordingBytes(block, 0).bytes.span()), -1);
  EXPECT_EQ(HeaderError(RawRecordingBytes(block, 1).bytes.span()), -1);
  EXPECT_EQ(HeaderError(RawRecordingBytes(block, 2).bytes.span()), 13);
  RawRecordingBytes badMagic(block, 0);
  badMagic.bytes[0] = 0x23;
  EXPECT_EQ(HeaderError(badMagic.bytes.span()), 13);
}

struct BlockCase {
  const char* name;
  std::vector<std::uint8_t> block;
  std::int64_t error;
};

void PrintTo(const BlockCase& row, std::ostream* out) {
  *out << row.name;
}

class FormatBlockBounds : public ::testing::TestWithParam<BlockCase> {};

TEST_P(FormatBlockBounds, RefuseBlocksThatDoNotHoldWhatTheyDescribe) {
  EXPECT_EQ(HeaderError(RawRecordingBytes(GetParam().block, 0).bytes.span()), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, FormatBlockBounds,
    ::testing::Values(BlockCase{"ShorterThanAHeader", std::vector<std::uint8_t>(39, 0), 13},
                      BlockCase{"EmptyBlock", {}, 13},
                      BlockCase{"HeaderSizeZeroMeansForty", FormatBlock(32, 0, 0, 0), -1},
                      BlockCase{"HeaderSizeBeyondTheBlock", FormatBlock(32, 0, 0, 41), 13},
                      BlockCase{"HeaderSizeBelowForty", FormatBlock(32, 0, 0, 12), 13},
                      BlockCase{"PaletteAsLong", FormatBlock(8, 3, 12), -1},
                      BlockCase{"PaletteLongerThanTheBlock", FormatBlock(8, 3, 11), 13},
                      BlockCase{"HugePaletteCount", FormatBlock(8, 0xFFFFFFFF, 16), 13}),
    [](const auto& row) { return std::string(row.param.name); });

std::vector<std::uint8_t> PictureBlock(std::int32_t width, std::int32_t height,
                                       std::uint16_t bitCount) {
  auto block = FormatBlock(bitCount, 0, 0);
  StoreU32LE(block.data() + 4, static_cast<std::uint32_t>(width));
  StoreU32LE(block.data() + 8, static_cast<std::uint32_t>(height));
  return block;
}

// Pass-through hands the format to the file without a decoder ever checking it.
INSTANTIATE_TEST_SUITE_P(Pictures, FormatBlockBounds,
                         ::testing::Values(BlockCase{"OnePixel", PictureBlock(1, 1, 32), -1},
                                           BlockCase{"LargestSides", PictureBlock(65535, 4096, 1),
                                                     -1},
                                           BlockCase{"WidthZero", PictureBlock(0, 4, 32), 13},
                                           BlockCase{"WidthNegative", PictureBlock(-4, 4, 32), 13},
                                           BlockCase{"Width65536", PictureBlock(65536, 1, 8), 13},
                                           BlockCase{"HeightZero", PictureBlock(4, 0, 32), 13},
                                           BlockCase{"TopDown", PictureBlock(4, -4, 32), 13},
                                           BlockCase{"Height65536", PictureBlock(1, 65536, 8), 13},
                                           BlockCase{"DepthZero", PictureBlock(4, 4, 0), 13},
                                           BlockCase{"DepthTwo", PictureBlock(4, 4, 2), 13},
                                           BlockCase{"DepthFifteen", PictureBlock(4, 4, 15), 13},
                                           BlockCase{"Depth33", PictureBlock(4, 4, 33), 13}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(RawRecordingHeader, RefusesOversizedBlocksWithoutReadingThem) {
  RawRecordingBytes recording(FormatBlock(32, 0, 0), 0);
  StoreU32LE(recording.bytes.data() + 8, (1u << 20) + 1);
  EXPECT_EQ(HeaderError(recording.bytes.span()), 13);
}

TEST(RawRecordingHeader, RefusesPicturesOverAGibibyte) {
  auto block = FormatBlock(32, 0, 0);
  StoreU32LE(block.data() + 4, 65535);
  StoreU32LE(block.data() + 8, 65535);
  EXPECT_EQ(HeaderError(RawRecordingBytes(block, 0).bytes.span()), 13);
}

TEST(RawRecordingHeader, ImpliedPaletteIsFilledAsFarAsTheBlockHoldsIt) {
  auto block = FormatBlock(8, 0, 8);  // two of 256 entries present
  BitmapFormat format;
  ASSERT_EQ(HeaderError(RawRecordingBytes(block, 0).bytes.span(), &format), -1);
  EXPECT_EQ(format.Header().clrUsed, 256u);
  EXPECT_EQ(format.ColorTable()[7], 0x77);
  EXPECT_EQ(format.ColorTable()[8], 0);
  EXPECT_EQ(format.ColorTable()[1023], 0);
}

TEST(RawRecordingHeader, KeepsBitFieldMasks) {
  auto block = FormatBlock(16, 0, 12);
  StoreU32LE(block.data() + 16, kCompressionBitFields);
  StoreU32LE(block.data() + 40, 0xF800);
  StoreU32LE(block.data() + 44, 0x07E0);
  StoreU32LE(block.data() + 48, 0x001F);
  BitmapFormat format;
  ASSERT_EQ(HeaderError(RawRecordingBytes(block, 0).bytes.span(), &format), -1);
  EXPECT_EQ(format.Masks(), (std::array<std::uint32_t, 3>{0xF800, 0x07E0, 0x001F}));
  EXPECT_FALSE(IsPlainRgb32BitFields(format));
}

struct RecordRead {
  std::vector<std::uint64_t> sizes;
  std::vector<RecordingPacket> packets;
  std::int64_t error = -1;
};

// Reads every record of bytes; appended, if any, is added to the file once the first is read.
RecordRead ReadAllRecords(const ByteBlock& bytes, std::span<const std::uint8_t> appended = {}) {
  TempDir dir;
  InputFile file;
  const std::string path = dir.Write("in.rcrec", bytes.span());
  EXPECT_EQ(file.Open(path), 0);
  RecordRead read;
  BitmapFormat format;
  try {
    ReadRecordingHeader(file, format);
    RecordingPacket packet;
    while (const std::uint64_t size = ReadRecord(file, packet)) {
      read.sizes.push_back(size);
      read.packets.push_back(packet);
      if (read.sizes.size() == 1 && !appended.empty()) {
        std::ofstream(path, std::ios::binary | std::ios::app)
            .write(reinterpret_cast<const char*>(appended.data()),
                   static_cast<std::streamsize>(appended.size()));
      }
    }
  } catch (const CReelkitException& e) {
    read.error = e.Failure().code.value;
  }
  return read;
}

TEST(RawRecordingRecords, FramesBlocksAndKinds) {
  RawRecordingBytes recording(4, 4, 32);
  recording.Record("DLTA", -5, {1, 2, 3}, {4}).Record("XXXX", 7).Record("MPOS", 1LL << 40);
  const RecordRead read = ReadAllRecords(recording.bytes);
  ASSERT_EQ(read.error, -1);
  EXPECT_EQ(read.sizes, (std::vector<std::uint64_t>{24, 20, 20}));
  EXPECT_EQ(read.packets[0].kind, PacketKind::Dlta);
  EXPECT_EQ(read.packets[0].timestamp, -5);
  EXPECT_EQ(read.packets[0].firstBlock.size(), 3u);
  EXPECT_EQ(read.packets[0].secondBlock[0], 4);
  EXPECT_EQ(read.packets[1].kind, PacketKind::None);
  EXPECT_TRUE(read.packets[1].firstBlock.empty());
  EXPECT_EQ(read.packets[2].timestamp, 1LL << 40);
}

TEST(RawRecordingRecords, TruncationAnywhereInARecordIsAnEndOfFileError) {
  RawRecordingBytes recording(4, 4, 32);
  recording.Record("DLTA", 1, {1, 2, 3}, {4, 5});
  const std::size_t full = recording.bytes.size();
  const std::size_t recordStart = full - 25;
  for (std::size_t cut = recordStart + 1; cut < full; ++cut) {
    ByteBlock truncated = recording.bytes;
    truncated.Resize(cut);
    EXPECT_EQ(ReadAllRecords(truncated).error, 38) << "cut at " << cut;
  }
}

// A recording still being written is read as it stood when it was opened: to its last whole
// record, and none of what arrives later. Cut the same way but not growing, it is truncated.
TEST(RawRecordingRecords, GrowingFileEndsAtItsLastWholeRecordAndAStillOneIsTruncated) {
  RawRecordingBytes recording(4, 4, 32);
  recording.Record("DLTA", 1, {1, 2, 3}, {4, 5}).Record("MPOS", 2, {6, 7});
  const std::size_t thirdRecord = recording.bytes.size();
  recording.Record("DLTA", 3, {8, 9, 10, 11}, {12});
  // Between records, inside the head of one, its first block, its second length, its second block.
  for (const std::size_t at : {0, 7, 18, 22, 24}) {
    ByteBlock cut = recording.bytes;
    cut.Resize(thirdRecord + at);
    const RecordRead growing = ReadAllRecords(cut, recording.bytes.span().subspan(cut.size()));
    EXPECT_EQ(growing.error, -1) << "cut at " << at;
    EXPECT_EQ(growing.sizes, (std::vector<std::uint64_t>{25, 22})) << "cut at " << at;
    EXPECT_EQ(ReadAllRecords(cut).error, at == 0 ? -1 : 38) << "cut at " << at;
  }
}

TEST(RawRecordingRecords, BlockLengthPastTheEndIsAnEndOfFileError) {
  RawRecordingBytes recording(4, 4, 32);
  recording.Record("DLTA", 1, {1, 2, 3});
  StoreU32LE(recording.bytes.data() + recording.bytes.size() - 11, 4);
  EXPECT_EQ(ReadAllRecords(recording.bytes).error, 38);
  StoreU32LE(recording.bytes.data() + recording.bytes.size() - 11, 256u << 20);
  EXPECT_EQ(ReadAllRecords(recording.bytes).error, 38);
}

TEST(RawRecordingRecords, OversizedBlockLengthIsInvalidData) {
  RawRecordingBytes recording(4, 4, 32);
  recording.Record("DLTA", 1);
  StoreU32LE(recording.bytes.data() + recording.bytes.size() - 8, (256u << 20) + 1);
  EXPECT_EQ(ReadAllRecords(recording.bytes).error, 13);
}

}  // namespace
}  // namespace reelkit
