#include "tools/recording_writer/recording_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/endian.h"
#include "common/packet_kind.h"
#include "decoder/cursor_overlay.h"
#include "engine/format_announcement.h"
#include "tests/testing/temp_dir.h"
#include "tests/tools/product_reading.h"

namespace reelkit::testing {
namespace {

using recording::CompressionMethod;
using recording::CRecordingWriter;
using recording::CursorShape;
using recording::DeltaUnits;
using recording::MakeStreamFormat;
using recording::MoveKind;
using recording::MoveOperation;
using recording::PaintPicture;
using recording::PixelLayout;
using recording::ScreenRect;
using recording::WriterOptions;

constexpr int kWidth = 37;  // odd, so 8-, 16- and 24-bit rows carry padding
constexpr int kHeight = 23;

std::uint32_t Desktop(int x, int y) {
  return 0x203040u + static_cast<std::uint32_t>(y * 3) * 0x10000u +
         static_cast<std::uint32_t>(x % 5) * 0x20u;
}

ReadRecording Read(const CRecordingWriter& writer) {
  return ReadRecordingBytes(writer.Bytes().span());
}

// A field the product's reader does not keep, at its place in the writer's layout.
std::uint32_t U32InFile(const CRecordingWriter& writer, std::size_t offset) {
  return LoadU32LE(writer.Bytes().data() + offset);
}

// Decodes the writer's bytes with the product's decoder and checks, after every record, that its
// screen and planes agree with the writer's own model.
class RecordChecker {
 public:
  explicit RecordChecker(CRecordingWriter& writer) {
    writer.SetRecordObserver(
        [this](const recording::WrittenRecord&, const recording::CScreenModel& model) {
          screens_.emplace_back(model.Screen().begin(), model.Screen().end());
          currents_.emplace_back(model.CurrentPlane().begin(), model.CurrentPlane().end());
          previouses_.emplace_back(model.PreviousPlane().begin(), model.PreviousPlane().end());
        });
  }

  // The decoder's state after the last record.
  DecodedPlanes Replay(const ReadRecording& recording) const {
    EXPECT_FALSE(recording.refused);
    EXPECT_EQ(recording.records.size(), screens_.size());
    DecodedPlanes planes;
    for (std::size_t i = 0; i < recording.records.size() && i < screens_.size(); ++i) {
      planes = PlanesAfter(recording, i);
      EXPECT_EQ(planes.screen, screens_[i]) << "screen after record " << i;
      EXPECT_EQ(planes.current, currents_[i]) << "current plane after record " << i;
      EXPECT_EQ(planes.previous, previouses_[i]) << "previous plane after record " << i;
    }
    return planes;
  }

 private:
  std::vector<Bytes> screens_;
  std::vector<Bytes> currents_;
  std::vector<Bytes> previouses_;
};

struct DepthRow {
  const char* name;
  PixelLayout layout;
  std::uint16_t bits;
  std::uint32_t compression;
  std::size_t formatBlockSize;
};

const DepthRow kDepths[] = {
    {"Indexed8", PixelLayout::Indexed8, 8, 0, 40 + 1024},
    {"Rgb555", PixelLayout::Rgb555, 16, 0, 40},
    {"Rgb565", PixelLayout::Rgb565, 16, 3, 52},
    {"Rgb24", PixelLayout::Rgb24, 24, 0, 40},
    {"Rgb32", PixelLayout::Rgb32, 32, 0, 40},
    {"Rgb32BitFields", PixelLayout::Rgb32BitFields, 32, 3, 52},
};

TEST(RecordingWriterTest, FileHeaderDescribesEveryDepth) {
  for (const DepthRow& row : kDepths) {
    SCOPED_TRACE(row.name);
    CRecordingWriter writer(MakeStreamFormat(kWidth, kHeight, row.layout));
    // The reader takes the file only with the magic of a recording and a version it knows.
    const ReadRecording read = Read(writer);
    EXPECT_EQ(U32InFile(writer, recording::file_header::kVersion), 1u);
    EXPECT_EQ(read.headerSize, recording::file_header::kFormatBlock + row.formatBlockSize);
    // The reader keeps a header of its own size whatever the file's says.
    const BitmapInfoHeader stored =
        ReadBitmapInfoHeader(writer.Bytes().data() + recording::file_header::kFormatBlock);
    EXPECT_EQ(stored.size, 40u);
    const BitmapInfoHeader header = read.streamFormat.Header();
    EXPECT_EQ(header.width, kWidth);
    EXPECT_EQ(header.height, kHeight);
    EXPECT_EQ(header.planes, 1u);
    EXPECT_EQ(header.bitCount, row.bits);
    EXPECT_EQ(header.compression, row.compression);
    EXPECT_EQ(header.sizeImage, kHeight * (((kWidth * row.bits + 31) / 32) * 4));
    EXPECT_TRUE(read.records.empty());
    EXPECT_FALSE(read.refused);
  }
}

TEST(RecordingWriterTest, FormatBlockCarriesMasksAndPalette) {
  const auto format = [](PixelLayout layout) {
    return Read(CRecordingWriter(MakeStreamFormat(4, 4, layout))).streamFormat;
  };
  EXPECT_EQ(format(PixelLayout::Rgb565).Masks(),
            (std::array<std::uint32_t, 3>{0xF800u, 0x07E0u, 0x001Fu}));
  EXPECT_EQ(format(PixelLayout::Rgb32BitFields).Masks(),
            (std::array<std::uint32_t, 3>{0x00FF0000u, 0x0000FF00u, 0x000000FFu}));
  const BitmapFormat indexed = format(PixelLayout::Indexed8);
  EXPECT_EQ(indexed.Header().clrUsed, 256u);
  const auto entry = [&](std::size_t k) { return LoadU32LE(indexed.ColorTable().data() + 4 * k); };
  EXPECT_EQ(entry(0), 0x000000u) << "first entry is black";
  EXPECT_EQ(entry(215), 0xFFFFFFu) << "cube ends in white";
  EXPECT_EQ(entry(255), 0xFFFFFFu) << "grey ramp ends in white";
}

// Pictures are handed to the writer as recordings store them: bottom row first, rows padded to
// whole 32-bit words with zeros.
TEST(PixelLayoutTest, PicturesArePackedBottomUpWithZeroPadding) {
  for (const DepthRow& row : kDepths) {
    SCOPED_TRACE(row.name);
    const Bytes image = PaintPicture(kWidth, kHeight, row.layout, Desktop);
    const auto stride = static_cast<std::size_t>(DibStride(kWidth, row.bits));
    ASSERT_EQ(image.size(), stride * kHeight);
    const std::size_t used = std::size_t{kWidth} * row.bits / 8;
    for (int y = 0; y < kHeight; ++y) {
      std::vector<std::uint32_t> argb;
      for (int x = 0; x < kWidth; ++x) {
        argb.push_back(Desktop(x, y));
      }
      Bytes expected(used);
      recording::PackPixels(argb, row.layout, expected.data());
      const auto stored = image.begin() + static_cast<std::ptrdiff_t>((kHeight - 1 - y) * stride);
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), stored)) << "row " << y;
      EXPECT_TRUE(std::all_of(stored + static_cast<std::ptrdiff_t>(used),
                              stored + static_cast<std::ptrdiff_t>(stride),
                              [](std::uint8_t byte) { return byte == 0; }))
          << "padding of row " << y;
    }
  }
  const std::vector<std::uint32_t> tooFew(kWidth * kHeight - 1);
  EXPECT_THROW(recording::PackPicture(tooFew, kWidth, kHeight, PixelLayout::Rgb24),
               std::invalid_argument);
}

// The colour of a pixel of the decoded picture at 32 bits, y from the top.
std::uint32_t PictureAt(const CRecordingDecoder& decoder, int x, int y) {
  const int height = decoder.PictureFormat().Header().height;
  const std::size_t stride = DibStride(decoder.PictureFormat().Header().width, 32);
  return LoadU32LE(decoder.Picture().data() + static_cast<std::size_t>(height - 1 - y) * stride +
                   static_cast<std::size_t>(x) * 4) &
         0xFFFFFF;
}

TEST(RecordingWriterTest, RecordsKeepTheirFramingAndFields) {
  WriterOptions options;
  options.version = 0;
  CRecordingWriter writer(MakeStreamFormat(kWidth, kHeight, PixelLayout::Rgb32), options);
  RecordChecker checker(writer);
  const auto format = writer.Model().NativeFormat();
  const Bytes image = PaintPicture(kWidth, kHeight, PixelLayout::Rgb32, Desktop);
  writer.WriteInit(-5, &format);
  writer.WriteKeyFrame(0x123456789A, image);
  std::vector<std::uint32_t> arrow(3 * 2, 0xFF000000u);
  arrow[0] = 0x00000000u;
  arrow[1] = 0xFFFFFFFFu;
  arrow[2] = 0xFF808080u;
  writer.WriteCursorShape(7, CursorShape::FromArgb(arrow, 3, 2, 1, 0));
  writer.WriteCursorPosition(8, -3, 40000);
  const MoveOperation moves[] = {{MoveKind::Copy, {1, 2, 3, 4}, 5, 6, 0},
                                 {MoveKind::Fill, {0, 0, 2, 2}, 0, 0, 0x00ABCDEFu},
                                 {MoveKind::Save, {9, 8, 7, 6}, 0, 0, 0}};
  writer.WriteMoves(9, moves);
  writer.WriteCursorPosition(10, 10, 5);
  // What every record does to the screen and the planes, the moves' copy, fill and save included.
  checker.Replay(Read(writer));
  const std::uint8_t oddFirst[] = {1, 2, 3};
  // The earliest time the reader takes: every bit of the high word is set.
  writer.WriteRecord(MakeFourCC('X', 'Y', 'Z', 'W'), -kMaxTimestamp, oddFirst, {});

  const ReadRecording read = Read(writer);
  EXPECT_FALSE(read.refused);
  EXPECT_EQ(U32InFile(writer, recording::file_header::kVersion), 0u);
  ASSERT_EQ(read.records.size(), 7u);

  const RecordingPacket& init = read.records[0];
  EXPECT_EQ(init.kind, PacketKind::Init);
  EXPECT_EQ(init.timestamp, -5);
  const Bytes announcement = PayloadOf(init);
  ASSERT_EQ(announcement.size(), kAnnouncedFormatOffset + kBitmapInfoHeaderSize)
      << "the marked header and nothing more, at 32 bits";
  EXPECT_EQ(LoadU32LE(announcement.data()), kFormatMarker);
  const BitmapInfoHeader announced =
      AnnouncedStreamFormat(std::span(announcement).subspan(kAnnouncedFormatOffset)).Header();
  EXPECT_EQ(announced.width, kWidth);
  EXPECT_EQ(announced.height, kHeight);
  EXPECT_EQ(announced.bitCount, 32);

  const RecordingPacket& key = read.records[1];
  EXPECT_EQ(key.kind, PacketKind::Kfrm);
  EXPECT_EQ(key.timestamp, 0x123456789A);
  EXPECT_TRUE(key.secondBlock.empty()) << "no format header asked for";
  const DecodedPlanes afterKey = PlanesAfter(read, 1);
  EXPECT_EQ(afterKey.current, image);
  EXPECT_TRUE(std::all_of(afterKey.previous.begin(), afterKey.previous.end(), [](std::uint8_t b) {
    return b == 0;
  })) << "the previous plane is still the cleared one";

  const RecordingPacket& mous = read.records[2];
  EXPECT_EQ(mous.kind, PacketKind::Mous);
  EXPECT_EQ(mous.secondBlock.size(), 32u) << "cursor head travels as the second block";
  CCursorOverlay cursor;
  CInflater inflater;
  cursor.SetShape(PayloadOf(mous), inflater);
  ASSERT_EQ(cursor.Width(), 3);
  ASSERT_EQ(cursor.Height(), 2);
  // The top row of the image is the second stored row; grey is too dark to draw white.
  EXPECT_EQ(cursor.PixelAt(0, 0), CursorPixel::Transparent);
  EXPECT_EQ(cursor.PixelAt(1, 0), CursorPixel::White);
  EXPECT_EQ(cursor.PixelAt(2, 0), CursorPixel::Black);
  for (int column = 0; column < 3; ++column) {
    EXPECT_EQ(cursor.PixelAt(column, 1), CursorPixel::Black) << column;
  }

  const RecordingPacket& mpos = read.records[3];
  EXPECT_EQ(mpos.kind, PacketKind::Mpos);
  const Bytes position = PayloadOf(mpos);
  ASSERT_EQ(position.size(), recording::cursor_position_header::kSize);
  EXPECT_EQ(LoadI32LE(position.data() + recording::cursor_position_header::kX), -3);
  EXPECT_EQ(LoadI32LE(position.data() + recording::cursor_position_header::kY), 40000);

  const Bytes move = PayloadOf(read.records[4]);
  EXPECT_EQ(LoadU32LE(move.data() + recording::move_header::kMethod), 0u);
  EXPECT_EQ(StoredMoveKinds(move),
            (std::vector<MoveKind>{MoveKind::Copy, MoveKind::Fill, MoveKind::Save}));

  const RecordingPacket& raw = read.records[6];
  EXPECT_EQ(raw.kind, PacketKind::None);
  EXPECT_EQ(U32InFile(writer, read.offsets[6] + recording::record::kFourCC),
            MakeFourCC('X', 'Y', 'Z', 'W'));
  EXPECT_EQ(raw.timestamp, -kMaxTimestamp);
  EXPECT_EQ(Bytes(raw.firstBlock.span().begin(), raw.firstBlock.span().end()),
            Bytes(std::begin(oddFirst), std::end(oddFirst)));
  EXPECT_TRUE(raw.secondBlock.empty());

  // Drawn with its hotspot one pixel in from the left at (10, 5): the transparent pixel shows the
  // desktop, the others their colour.
  CRecordingDecoder decoder(read.streamFormat);
  decoder.Decode(read);
  EXPECT_EQ(PictureAt(decoder, 9, 5), Desktop(9, 5));
  EXPECT_EQ(PictureAt(decoder, 10, 5), 0xFFFFFFu);
  EXPECT_EQ(PictureAt(decoder, 11, 5), 0u);
  for (int x = 9; x < 12; ++x) {
    EXPECT_EQ(PictureAt(decoder, x, 6), 0u) << x;
  }
  EXPECT_EQ(writer.RecordCount(), 7u);
  EXPECT_EQ(writer.BytesWritten(), writer.Bytes().size());
}

// One screen sequence per depth: a menu opens and closes (swap runs), noise (literals), a flat
// block (fills), a narrow change at an odd column (row tails), a single pixel.
struct DeltaCase {
  const DepthRow* depth;
  DeltaUnits units;
  CompressionMethod method;
};

std::string DeltaCaseName(const ::testing::TestParamInfo<DeltaCase>& info) {
  static const char* const kMethods[] = {"Stored", "Zlib", "Lzf"};
  return std::string(info.param.depth->name) +
         (info.param.units == DeltaUnits::Words ? "Words" : "Bytes") +
         kMethods[static_cast<int>(info.param.method)];
}

std::vector<DeltaCase> AllDeltaCases() {
  std::vector<DeltaCase> cases;
  for (const DepthRow& depth : kDepths) {
    for (DeltaUnits units : {DeltaUnits::Words, DeltaUnits::Bytes}) {
      for (CompressionMethod method :
           {CompressionMethod::Stored, CompressionMethod::Zlib, CompressionMethod::Lzf}) {
        cases.push_back({&depth, units, method});
      }
    }
  }
  return cases;
}

class DeltaRoundTripTest : public ::testing::TestWithParam<DeltaCase> {};

TEST_P(DeltaRoundTripTest, DecoderReachesEveryTarget) {
  const DeltaCase& param = GetParam();
  const PixelLayout layout = param.depth->layout;
  WriterOptions options;
  options.deltaUnits = param.units;
  options.deltaCompression = param.method;
  CRecordingWriter writer(MakeStreamFormat(kWidth, kHeight, layout), options);
  RecordChecker checker(writer);
  const auto format = writer.Model().NativeFormat();
  writer.WriteFormat(0, &format);
  const Bytes desktop = PaintPicture(kWidth, kHeight, layout, Desktop);
  writer.WriteKeyFrame(1, desktop);

  const auto inRect = [](int x, int y, int l, int t, int w, int h) {
    return x >= l && x < l + w && y >= t && y < t + h;
  };
  std::vector<Bytes> targets;
  targets.push_back(PaintPicture(kWidth, kHeight, layout, [&](int x, int y) {
    return inRect(x, y, 5, 3, 17, 12) ? (y == 7 ? 0x0000FFu : 0xF0F0F0u) : Desktop(x, y);
  }));
  targets.push_back(desktop);
  std::uint32_t seed = 12345;
  targets.push_back(PaintPicture(kWidth, kHeight, layout, [&](int x, int y) {
    seed = seed * 1103515245u + 12345u;
    return inRect(x, y, 2, 2, 30, 9) ? (seed >> 8) & 0xFFFFFFu : Desktop(x, y);
  }));
  targets.push_back(PaintPicture(kWidth, kHeight, layout, [&](int x, int y) {
    return inRect(x, y, 0, 10, kWidth, 13) ? 0xFF0000u : Desktop(x, y);
  }));
  targets.push_back(PaintPicture(kWidth, kHeight, layout, [&](int x, int y) {
    return inRect(x, y, 0, 10, kWidth, 13) ? (inRect(x, y, 7, 12, 3, 5) ? 0x00FF00u : 0xFF0000u)
                                           : Desktop(x, y);
  }));
  Bytes lastPixel = targets.back();
  lastPixel[0] ^= 0x5A;  // bottom-left pixel of the screen
  targets.push_back(lastPixel);

  std::vector<std::size_t> recordsAfterTarget;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    EXPECT_GT(writer.WriteDelta(static_cast<Time>(10 + i), targets[i]), 0u) << "target " << i;
    EXPECT_TRUE(std::equal(writer.Screen().begin(), writer.Screen().end(), targets[i].begin()))
        << "writer's model after target " << i;
    recordsAfterTarget.push_back(writer.RecordCount());
  }

  const ReadRecording read = Read(writer);
  checker.Replay(read);
  CRecordingDecoder decoder(read.streamFormat);
  std::size_t record = 0;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const std::size_t first = record;
    for (; record < recordsAfterTarget[i]; ++record) {
      decoder.Decode(read.records[record]);
    }
    EXPECT_EQ(decoder.Screen(), targets[i]) << "decoded screen after target " << i;
    if (i == 1) {
      const auto runs = DeltaRuns(read, first, record);
      EXPECT_GT(runs[2] + runs[12], 0) << "closing the menu should swap the old content back";
    }
  }
  const auto counts = DeltaRuns(read);
  if (param.units == DeltaUnits::Bytes) {
    EXPECT_EQ(counts[7] + counts[10] + counts[12] + counts[13], 0) << "byte runs only";
  } else {
    EXPECT_GT(counts[13], 0);
    EXPECT_GT(counts[7], 0);
  }
}

INSTANTIATE_TEST_SUITE_P(AllDepths, DeltaRoundTripTest, ::testing::ValuesIn(AllDeltaCases()),
                         DeltaCaseName);

TEST(RecordingWriterTest, DeltaRectangleIsTheChangedArea) {
  CRecordingWriter writer(MakeStreamFormat(kWidth, kHeight, PixelLayout::Rgb24));
  const auto format = writer.Model().NativeFormat();
  writer.WriteFormat(0, &format);
  writer.WriteKeyFrame(0, PaintPicture(kWidth, kHeight, PixelLayout::Rgb24, Desktop));
  const Bytes target = PaintPicture(kWidth, kHeight, PixelLayout::Rgb24, [](int x, int y) {
    return x >= 3 && x < 11 && y >= 4 && y < 9 ? 0x123456u : Desktop(x, y);
  });
  ASSERT_EQ(writer.WriteDelta(5, target), 1u);
  EXPECT_EQ(writer.WriteDelta(6, target), 0u) << "an unchanged screen writes nothing";
  const StoredDelta delta = ReadStoredDelta(PayloadOf(Read(writer).records.back()));
  EXPECT_EQ(delta.rect, (ScreenRect{3, 4, 8, 5}));
  EXPECT_EQ(delta.method, CompressionMethod::Zlib);
}

TEST(RecordingWriterTest, LargeChangesAreSplitToFitTheDecoderBuffer) {
  struct Row {
    const char* name;
    int width;
    int height;
    DeltaUnits units;
    std::size_t limit;
  };
  const Row rows[] = {
      {"bands of rows", 40, 30, DeltaUnits::Words, 700},
      {"one-row screen splits columns", 64, 1, DeltaUnits::Bytes, 0},
      {"byte runs on a two-row screen", 33, 2, DeltaUnits::Bytes, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WriterOptions options;
    options.deltaUnits = row.units;
    options.maxDeltaOpcodeBytes = row.limit;
    CRecordingWriter writer(MakeStreamFormat(row.width, row.height, PixelLayout::Rgb32), options);
    RecordChecker checker(writer);
    const auto format = writer.Model().NativeFormat();
    writer.WriteFormat(0, &format);
    // Alternating kept and new bytes is the costliest content for byte runs.
    std::uint32_t seed = 99;
    const Bytes noise = PaintPicture(row.width, row.height, PixelLayout::Rgb32, [&](int, int) {
      seed = seed * 1664525u + 1013904223u;
      return ((seed >> 8) & 0x00FF00FFu) | 0x00010001u;
    });
    EXPECT_GT(writer.WriteDelta(1, noise), 1u);
    const ReadRecording read = Read(writer);
    EXPECT_EQ(checker.Replay(read).screen, noise);
    const std::size_t limit = row.limit != 0 ? row.limit : writer.Model().FrameSize();
    for (const RecordingPacket& record : read.records) {
      if (record.kind == PacketKind::Dlta) {
        EXPECT_LE(ReadStoredDelta(PayloadOf(record)).opcodes.size(), limit);
      }
    }
  }
}

TEST(RecordingWriterTest, TooSmallScreenForADeltaIsRefused) {
  CRecordingWriter writer(MakeStreamFormat(1, 1, PixelLayout::Rgb32));
  const auto format = writer.Model().NativeFormat();
  writer.WriteFormat(0, &format);
  const Bytes white = {0xFF, 0xFF, 0xFF, 0x00};
  EXPECT_THROW(writer.WriteDelta(1, white), std::length_error);
}

TEST(RecordingWriterTest, MovesMatchTheDecoder) {
  struct Row {
    const char* name;
    PixelLayout layout;
    std::vector<MoveOperation> moves;
    bool changesScreen;
  };
  const std::vector<Row> rows = {
      {"scroll up by one row onto itself",
       PixelLayout::Rgb32,
       {{MoveKind::Copy, {2, 3, 20, 15}, 2, 4, 0}},
       true},
      {"scroll down by one row onto itself",
       PixelLayout::Rgb555,
       {{MoveKind::Copy, {2, 4, 20, 15}, 2, 3, 0}},
       true},
      {"drag right overlapping",
       PixelLayout::Rgb24,
       {{MoveKind::Copy, {6, 1, 21, 9}, 3, 2, 0}},
       true},
      {"fill at 32 bits",
       PixelLayout::Rgb32,
       {{MoveKind::Fill, {1, 1, 9, 5}, 0, 0, 0x00A1B2C3}},
       true},
      {"fill at 16 bits takes the low half",
       PixelLayout::Rgb565,
       {{MoveKind::Fill, {1, 1, 9, 5}, 0, 0, 0x1234F81F}},
       true},
      {"fill at 8 bits is index 0",
       PixelLayout::Indexed8,
       {{MoveKind::Fill, {1, 1, 9, 5}, 0, 0, 0xFFFFFFFF}},
       true},
      {"fill at 24 bits is black",
       PixelLayout::Rgb24,
       {{MoveKind::Fill, {1, 1, 9, 5}, 0, 0, 0xFFFFFFFF}},
       true},
      {"empty rectangle and a save change no pixel",
       PixelLayout::Rgb32,
       {{MoveKind::Fill, {4, 4, 0, 0}, 0, 0, 0xFF}, {MoveKind::Save, {0, 0, 3, 3}, 0, 0, 0}},
       false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WriterOptions options;
    options.moveCompression = CompressionMethod::Zlib;
    CRecordingWriter writer(MakeStreamFormat(kWidth, kHeight, row.layout), options);
    RecordChecker checker(writer);
    const auto format = writer.Model().NativeFormat();
    writer.WriteFormat(0, &format);
    writer.WriteKeyFrame(1, PaintPicture(kWidth, kHeight, row.layout, [](int x, int y) {
                           return static_cast<std::uint32_t>(x * 7 + y * 1031) * 0x010203u;
                         }));
    const Bytes before(writer.Screen().begin(), writer.Screen().end());
    writer.WriteMoves(2, row.moves);
    EXPECT_EQ(checker.Replay(Read(writer)).screen != before, row.changesScreen);
  }
}

TEST(RecordingWriterTest, SavedRectangleComesBackAsSwapRuns) {
  for (DeltaUnits units : {DeltaUnits::Words, DeltaUnits::Bytes}) {
    WriterOptions options;
    options.deltaUnits = units;
    CRecordingWriter writer(MakeStreamFormat(kWidth, kHeight, PixelLayout::Rgb32), options);
    RecordChecker checker(writer);
    const auto format = writer.Model().NativeFormat();
    writer.WriteFormat(0, &format);
    const Bytes desktop = PaintPicture(kWidth, kHeight, PixelLayout::Rgb32, Desktop);
    writer.WriteKeyFrame(1, desktop);
    const MoveOperation save[] = {{MoveKind::Save, {4, 4, 10, 10}, 0, 0, 0}};
    writer.WriteMoves(2, save);
    const MoveOperation fill[] = {{MoveKind::Fill, {4, 4, 10, 10}, 0, 0, 0x00FFFF00}};
    writer.WriteMoves(3, fill);
    writer.WriteDelta(4, desktop);
    const ReadRecording read = Read(writer);
    EXPECT_EQ(checker.Replay(read).screen, desktop);
    const auto counts = DeltaRuns(read);
    EXPECT_GT(counts[2] + counts[12], 0);
    EXPECT_EQ(counts[3] + counts[4] + counts[7] + counts[13], 0) << "nothing new to send";
  }
}

TEST(RecordingWriterTest, FormatRecordsFollowTheDecoderRules) {
  CRecordingWriter writer(MakeStreamFormat(kWidth, kHeight, PixelLayout::Rgb32));
  RecordChecker checker(writer);
  const auto format = writer.Model().NativeFormat();
  const Bytes desktop = PaintPicture(kWidth, kHeight, PixelLayout::Rgb32, Desktop);
  writer.WriteInit(0, &format);  // first INIT: a FINT
  ASSERT_TRUE(writer.Model().HasPlanes());
  writer.WriteKeyFrame(1, desktop, {nullptr, std::span<const std::uint8_t>(desktop)});
  writer.WriteInit(2);  // later INIT: clears the previous plane only
  EXPECT_TRUE(std::equal(writer.Screen().begin(), writer.Screen().end(), desktop.begin()));
  EXPECT_TRUE(std::all_of(writer.Model().PreviousPlane().begin(),
                          writer.Model().PreviousPlane().end(), [](auto b) { return b == 0; }));
  writer.WriteFormat(3, &format);  // same screen: planes kept, screen image cleared
  EXPECT_TRUE(
      std::all_of(writer.Screen().begin(), writer.Screen().end(), [](auto b) { return b == 0; }));
  EXPECT_TRUE(std::equal(writer.Model().CurrentPlane().begin(), writer.Model().CurrentPlane().end(),
                         desktop.begin()));
  EXPECT_EQ(writer.WriteDelta(4, desktop), 1u) << "kept runs refill the screen image";
  EXPECT_TRUE(std::equal(writer.Screen().begin(), writer.Screen().end(), desktop.begin()));

  const auto smaller = MakeStreamFormat(20, 10, PixelLayout::Rgb565);
  writer.WriteFormat(5, &smaller);  // mid-recording change of size and depth
  EXPECT_EQ(writer.Model().Width(), 20);
  EXPECT_EQ(writer.Model().BitCount(), 16u);
  const Bytes small = PaintPicture(20, 10, PixelLayout::Rgb565, Desktop);
  writer.WriteDelta(6, small);
  const auto indexed = MakeStreamFormat(9, 7, PixelLayout::Indexed8);
  const Bytes tiny = PaintPicture(9, 7, PixelLayout::Indexed8, Desktop);
  writer.WriteKeyFrame(7, tiny, {&indexed, std::nullopt});  // key image announcing a format
  writer.WriteFormat(8, nullptr);                           // full reset at the native format
  writer.WriteDelta(9, tiny);

  const ReadRecording read = Read(writer);
  EXPECT_EQ(checker.Replay(read).screen, tiny);
  CRecordingDecoder decoder(read.streamFormat);
  decoder.Decode(read);
  EXPECT_EQ(decoder.Layout().width, 9u);
  const auto lastOf = [&](PacketKind kind) {
    return std::find_if(read.records.rbegin(), read.records.rend(),
                        [&](const RecordingPacket& r) { return r.kind == kind; });
  };
  const Bytes key = PayloadOf(*lastOf(PacketKind::Kfrm));
  ASSERT_GE(key.size(), kAnnouncedFormatOffset + kBitmapInfoHeaderSize);
  EXPECT_EQ(LoadU32LE(key.data()), kFormatMarker);
  const BitmapFormat keyFormat =
      AnnouncedStreamFormat(std::span(key).subspan(kAnnouncedFormatOffset));
  EXPECT_EQ(keyFormat.Header().clrUsed, 256u);
  EXPECT_TRUE(std::ranges::equal(keyFormat.ColorTable(), indexed.ColorTable()))
      << "the whole colour table";
  EXPECT_TRUE(PayloadOf(*lastOf(PacketKind::Fint)).empty()) << "FINT without a format";
}

TEST(RecordingWriterTest, KeyImageWithoutPlanesChangesNothing) {
  CRecordingWriter writer(MakeStreamFormat(8, 8, PixelLayout::Rgb32));
  writer.WriteKeyFrame(0, PaintPicture(8, 8, PixelLayout::Rgb32, Desktop));
  EXPECT_FALSE(writer.Model().HasPlanes());
  EXPECT_TRUE(writer.Screen().empty());
}

TEST(RecordingWriterTest, SameCallsGiveSameBytesInFileAndMemory) {
  const auto write = [](CRecordingWriter& writer) {
    const auto format = writer.Model().NativeFormat();
    writer.WriteInit(100, &format);
    writer.WriteKeyFrame(200, PaintPicture(kWidth, kHeight, PixelLayout::Rgb555, Desktop));
    writer.WriteDelta(300, PaintPicture(kWidth, kHeight, PixelLayout::Rgb555,
                                        [](int x, int y) { return Desktop(y, x); }));
    writer.WriteCursorPosition(400, 5, 6);
    writer.Finish();
  };
  const auto format = MakeStreamFormat(kWidth, kHeight, PixelLayout::Rgb555);
  CRecordingWriter first(format);
  CRecordingWriter second(format);
  write(first);
  write(second);
  EXPECT_EQ(first.Bytes(), second.Bytes());
  TempDir dir;
  CRecordingWriter onDisk(dir.File("same.rcrec"), format);
  write(onDisk);
  const std::string file = ReadFileBytes(dir.File("same.rcrec"));
  EXPECT_EQ(Bytes(file.begin(), file.end()),
            Bytes(first.Bytes().span().begin(), first.Bytes().span().end()));
}

TEST(RecordingWriterTest, RefusesWhatADecoderCouldNotFollow) {
  CRecordingWriter writer(MakeStreamFormat(kWidth, kHeight, PixelLayout::Rgb32));
  const Bytes desktop = PaintPicture(kWidth, kHeight, PixelLayout::Rgb32, Desktop);
  EXPECT_THROW(writer.WriteDelta(0, desktop), std::logic_error) << "no planes yet";
  const auto format = writer.Model().NativeFormat();
  writer.WriteFormat(0, &format);
  EXPECT_THROW(writer.WriteDelta(1, Bytes(10)), std::invalid_argument);
  EXPECT_THROW(writer.WriteDeltaRect(1, {30, 0, 8, 1}, desktop), std::invalid_argument);
  EXPECT_THROW(writer.WriteKeyFrame(1, Bytes(3)), std::invalid_argument);
  const MoveOperation outside[] = {{MoveKind::Copy, {0, 0, 5, 5}, 35, 0, 0}};
  EXPECT_THROW(writer.WriteMoves(1, outside), std::invalid_argument);
  CursorShape broken;
  broken.width = 2;
  broken.height = 2;
  broken.bgr.resize(5);
  EXPECT_THROW(writer.WriteCursorShape(1, broken), std::invalid_argument);
  const auto huge = MakeStreamFormat(70000, 2, PixelLayout::Rgb32);
  EXPECT_THROW(writer.WriteFormat(1, &huge), std::invalid_argument);
  EXPECT_EQ(writer.RecordCount(), 1u) << "refused calls write nothing";
  EXPECT_THROW(CRecordingWriter("/nonexistent-dir/x.rcrec", format), std::system_error);
}

TEST(RecordingWriterTest, RawBytesMakeTruncatedFiles) {
  CRecordingWriter writer(MakeStreamFormat(4, 4, PixelLayout::Rgb32));
  writer.WriteRecord(MakeFourCC('M', 'P', 'O', 'S'), 1, {}, {});
  const std::uint8_t half[] = {'D', 'L'};
  writer.WriteBytes(half);
  const ReadRecording read = Read(writer);
  ASSERT_EQ(read.records.size(), 1u);
  EXPECT_TRUE(PayloadOf(read.records[0]).empty());
  EXPECT_TRUE(read.refused) << "a file that ends inside a record is truncated";
}

TEST(BundleBuilderTest, LaysOutSubPacketsAsHeadThenBody) {
  const auto position = recording::BuildCursorPositionPayload(3, 4);
  const auto moves = recording::BuildMovePayload({}, CompressionMethod::Stored);
  const std::uint8_t junk[] = {9, 9};
  recording::CBundleBuilder bundle(recording::kFourCCKbnd);
  bundle.Add(recording::kFourCCMpos, position)
      .Add(recording::kFourCCMove, moves.Joined().span())
      .AddWithDeclaredSize(recording::kFourCCDlta, 1000, junk)
      .AddRaw(junk);
  const Bytes bytes(bundle.Bytes().span().begin(), bundle.Bytes().span().end());
  ASSERT_EQ(bytes.size(), 4u + 8 + 16 + 8 + 24 + 8 + 2 + 2);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "KBND");
  EXPECT_EQ(std::string(bytes.begin() + 4, bytes.begin() + 8), "MPOS");
  EXPECT_EQ(LoadU32LE(bytes.data() + 8), 16u);
  EXPECT_EQ(LoadU32LE(bytes.data() + 12 + 8), 3u);
  EXPECT_EQ(std::string(bytes.begin() + 28, bytes.begin() + 32), "MOVE");
  EXPECT_EQ(LoadU32LE(bytes.data() + 32), 24u);
  EXPECT_EQ(LoadU32LE(bytes.data() + 60 + 4), 1000u);
}

}  // namespace
}  // namespace reelkit::testing
