// Recordings made by the recording writer, cut into bundles the way a conversion job cuts them,
// must decode to exactly the screens the writer's model holds after each record.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/byte_reader.h"
#include "decoder/screen_stream_decoder.h"
#include "tests/decoder/decoder_test_support.h"
#include "tools/recording_writer/recording_writer.h"

namespace reelkit {
namespace {

using testing::Bytes;
using namespace recording;

constexpr int kWidth = 61;  // odd, so 8-, 16- and 24-bit rows carry padding
constexpr int kHeight = 37;

// One record as the writer left it: its sub-packet and the model's state right after it.
struct ObservedRecord {
  FourCC fourcc = 0;
  Bytes payload;
  Bytes screen;
  std::optional<CursorShape> cursor;
  int cursorX = 0;
  int cursorY = 0;
  bool nativeIsOutputSize = true;
};

// The payload a bundle carries for a record: FourCC, timestamp, A, first block, B, second block
// on disk; second block then first block in the bundle.
Bytes BundlePayloadOfRecord(std::span<const std::uint8_t> record) {
  ByteReader reader(record);
  reader.Skip(12);
  const auto first = reader.Take(*reader.ReadU32());
  const auto second = reader.Take(*reader.ReadU32());
  Bytes payload(second->begin(), second->end());
  payload.insert(payload.end(), first->begin(), first->end());
  return payload;
}

std::uint32_t Gradient(int x, int y) {
  return static_cast<std::uint32_t>((x * 4) << 16 | (y * 6) << 8 | ((x + y) * 3 & 0xFF));
}

std::uint32_t Checks(int x, int y) {
  return ((x / 5 + y / 3) % 2) != 0 ? 0x202020 : 0xE0C040;
}

struct WriterCase {
  const char* name;
  PixelLayout layout;
  CompressionMethod deltas;
  CompressionMethod moves;
  DeltaUnits units;
};

void PrintTo(const WriterCase& c, std::ostream* os) {
  *os << c.name;
}

// A session: format, key frame, deltas that change and restore regions, moves (scroll, fill,
// save), a cursor, a later INIT, a key frame without format, then a new screen size.
std::vector<ObservedRecord> RecordSession(const WriterCase& c) {
  WriterOptions options;
  options.deltaCompression = c.deltas;
  options.moveCompression = c.moves;
  options.deltaUnits = c.units;
  CRecordingWriter writer(MakeStreamFormat(kWidth, kHeight, c.layout), options);
  std::vector<ObservedRecord> observed;
  std::vector<std::pair<std::uint64_t, std::size_t>> places;
  writer.SetRecordObserver([&](const WrittenRecord& record, const CScreenModel& model) {
    ObservedRecord seen;
    seen.fourcc = record.fourcc;
    seen.screen.assign(model.Screen().begin(), model.Screen().end());
    seen.cursor = model.CursorShapeNow();
    seen.cursorX = model.CursorX();
    seen.cursorY = model.CursorY();
    seen.nativeIsOutputSize = model.Width() == kWidth && model.Height() == kHeight;
    observed.push_back(std::move(seen));
    places.emplace_back(record.fileOffset, record.size);
  });

  const Bytes gradient = PaintPicture(kWidth, kHeight, c.layout, Gradient);
  const Bytes checks = PaintPicture(kWidth, kHeight, c.layout, Checks);
  Bytes patched = gradient;
  const Bytes patch = PaintPicture(kWidth, kHeight, c.layout, [](int x, int y) {
    return x > 10 && x < 40 && y > 5 && y < 20 ? 0x3050F0u : Gradient(x, y);
  });

  writer.WriteInit(0, &writer.Model().NativeFormat());
  writer.WriteKeyFrame(1, gradient);
  writer.WriteDelta(2, patch);
  writer.WriteDelta(3, gradient);  // back again: swap runs
  writer.WriteDelta(3, patch);     // and forth: swapped back from the previous plane
  writer.WriteDelta(3, gradient);
  const std::vector<MoveOperation> moves{
      {MoveKind::Save, {2, 2, 20, 10}, 0, 0, 0},
      {MoveKind::Copy, {0, 0, kWidth, kHeight - 3}, 0, 3, 0},  // scroll up three rows
      {MoveKind::Fill, {30, 20, 17, 9}, 0, 0, 0x00FF00FF},
      {MoveKind::Copy, {5, 10, 20, 12}, 8, 6, 0},  // overlapping drag down-left
  };
  writer.WriteMoves(4, moves);
  writer.WriteDelta(5, checks);
  std::vector<std::uint32_t> arrow(12 * 16, 0x00000000);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x <= y && x < 12; ++x) {
      arrow[y * 12 + x] = x == 0 || x == y ? 0xFF000000u : 0xFFFFFFFFu;
    }
  }
  writer.WriteCursorShape(6, CursorShape::FromArgb(arrow, 12, 16, 1, 1));
  writer.WriteCursorPosition(6, 20, 12);
  writer.WriteDelta(7, gradient);
  writer.WriteInit(8);
  writer.WriteDelta(9, patch);
  writer.WriteKeyFrame(10, checks);
  writer.WriteCursorPosition(11, 58, 35);  // partly off the picture
  writer.WriteDelta(11, gradient);
  const BitmapFormat smaller = MakeStreamFormat(40, 24, c.layout);
  writer.WriteFormat(12, &smaller);
  writer.WriteKeyFrame(13, PaintPicture(40, 24, c.layout, Checks));
  writer.WriteDelta(14, PaintPicture(40, 24, c.layout, Gradient));

  const ByteBlock& file = writer.Bytes();
  for (std::size_t k = 0; k < observed.size(); ++k) {
    observed[k].payload =
        BundlePayloadOfRecord(file.span().subspan(places[k].first, places[k].second));
  }
  return observed;
}

std::string FourCCName(FourCC fourcc) {
  std::string name(4, ' ');
  for (int i = 0; i < 4; ++i) {
    name[i] = static_cast<char>(fourcc >> (8 * i));
  }
  return name;
}

// What the frame holds for a native screen at the output size: the native rows for 16 and 32
// bits, 32-bit pixels (blue, green, red, 0) through the colour table or the 24-bit triples.
Bytes ExpectedFrame(const Bytes& screen, const BitmapFormat& stream, PixelLayout layout) {
  const unsigned bits = BitsPerPixel(layout);
  if (bits == 16 || bits == 32) {
    return Bytes(screen.begin(),
                 screen.begin() + static_cast<std::ptrdiff_t>(DibImageSize(kWidth, kHeight, bits)));
  }
  const std::size_t stride = DibStride(kWidth, bits);
  Bytes frame;
  for (int row = 0; row < kHeight; ++row) {
    for (int x = 0; x < kWidth; ++x) {
      const std::uint8_t* pixel = screen.data() + row * stride + x * bits / 8;
      if (bits == 8) {
        const auto entry = stream.ColorTable().subspan(4 * std::size_t{*pixel}, 4);
        frame.insert(frame.end(), entry.begin(), entry.end());
      } else {
        frame.insert(frame.end(), {pixel[0], pixel[1], pixel[2], 0});
      }
    }
  }
  return frame;
}

// Whether the 32-bit (or native) pixel at column x of stored row r lies under the cursor box.
bool UnderCursor(const ObservedRecord& seen, int x, int storedRow) {
  if (!seen.cursor) {
    return false;
  }
  const int y = kHeight - 1 - storedRow;
  const int left = seen.cursorX - seen.cursor->hotspotX;
  const int top = seen.cursorY - seen.cursor->hotspotY;
  return x >= left && x < left + seen.cursor->width && y >= top && y < top + seen.cursor->height;
}

class RecordingRoundTrip : public ::testing::TestWithParam<WriterCase> {
 protected:
  void SetUp() override {
    stream_ = MakeStreamFormat(kWidth, kHeight, GetParam().layout);
    output_ = stream_;
    if (BitsPerPixel(GetParam().layout) != 16 && BitsPerPixel(GetParam().layout) != 32) {
      output_.SetPictureFormat(32, kCompressionRgb);
    }
    frame_.assign(DibImageSize(kWidth, kHeight, 32), 0xCC);
    decoder_.Initialize(stream_, output_);
  }

  void Decode(const testing::Bundle& bundle) {
    decoder_.DecodePacket(stream_, output_, bundle.Packet(), frame_);
  }

  void ExpectScreen(const ObservedRecord& seen, const std::string& where) {
    const auto screen = decoder_.ScreenImage();
    ASSERT_GE(screen.size(), seen.screen.size()) << where;
    EXPECT_TRUE(std::equal(seen.screen.begin(), seen.screen.end(), screen.begin())) << where;
  }

  // The picture, compared pixel by pixel away from the cursor.
  void ExpectPicture(const ObservedRecord& seen, const std::string& where) {
    const Bytes expected = ExpectedFrame(seen.screen, stream_, GetParam().layout);
    const unsigned bits = output_.Header().bitCount;
    const std::size_t stride = DibStride(kWidth, bits);
    const std::size_t pixelBytes = bits / 8;
    int mismatches = 0;
    for (int row = 0; row < kHeight; ++row) {
      for (int x = 0; x < kWidth; ++x) {
        const std::size_t at = row * stride + x * pixelBytes;
        if (!UnderCursor(seen, x, row) &&
            !std::equal(expected.begin() + at, expected.begin() + at + pixelBytes,
                        frame_.begin() + at)) {
          ++mismatches;
        }
      }
    }
    EXPECT_EQ(mismatches, 0) << where;
  }

  BitmapFormat stream_;
  BitmapFormat output_;
  Bytes frame_;
  CScreenStreamDecoder decoder_;
};

// The job's bundling: a record's kind names its sub-packet, except that the first INIT acts as
// the format announcement.
std::string SubPacketName(const ObservedRecord& seen, bool& initSeen) {
  std::string name = FourCCName(seen.fourcc);
  if (name == "INIT" && !initSeen) {
    initSeen = true;
    return "FINT";
  }
  return name;
}

TEST_P(RecordingRoundTrip, EveryRecordInItsOwnBundleGivesTheWritersScreen) {
  const std::vector<ObservedRecord> records = RecordSession(GetParam());
  bool initSeen = false;
  for (std::size_t k = 0; k < records.size(); ++k) {
    const ObservedRecord& seen = records[k];
    const std::string name = SubPacketName(seen, initSeen);
    testing::Bundle bundle(name == "KFRM" || name == "FINT" ? "KBND" : "BNDL");
    bundle.Add(name, seen.payload);
    Decode(bundle);
    const std::string where = "record " + std::to_string(k) + " " + name;
    ExpectScreen(seen, where);
    if (seen.nativeIsOutputSize && (name == "KFRM" || name == "DLTA")) {
      ExpectPicture(seen, where);
    }
  }
}

TEST_P(RecordingRoundTrip, RecordsGroupedIntoBundlesGiveTheWritersScreenAtEachEnd) {
  const std::vector<ObservedRecord> records = RecordSession(GetParam());
  bool initSeen = false;
  std::size_t k = 0;
  while (k < records.size()) {
    // Format and key records open a bundle of their own; up to three others share one.
    testing::Bundle bundle;
    std::size_t taken = 0;
    while (k < records.size() && taken < 3) {
      const std::string name = SubPacketName(records[k], initSeen);
      if (taken > 0 && (name == "KFRM" || name == "FINT")) {
        break;
      }
      bundle.Add(name, records[k].payload);
      ++k;
      ++taken;
    }
    Decode(bundle);
    ExpectScreen(records[k - 1], "bundle ending at record " + std::to_string(k - 1));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, RecordingRoundTrip,
    ::testing::Values(WriterCase{"Indexed8", PixelLayout::Indexed8, CompressionMethod::Zlib,
                                 CompressionMethod::Stored, DeltaUnits::Bytes},
                      WriterCase{"Rgb555Lzf", PixelLayout::Rgb555, CompressionMethod::Lzf,
                                 CompressionMethod::Lzf, DeltaUnits::Words},
                      WriterCase{"Rgb565", PixelLayout::Rgb565, CompressionMethod::Zlib,
                                 CompressionMethod::Zlib, DeltaUnits::Words},
                      WriterCase{"Rgb24Stored", PixelLayout::Rgb24, CompressionMethod::Stored,
                                 CompressionMethod::Stored, DeltaUnits::Bytes},
                      WriterCase{"Rgb32", PixelLayout::Rgb32, CompressionMethod::Zlib,
                                 CompressionMethod::Stored, DeltaUnits::Words},
                      WriterCase{"Rgb32Bytes", PixelLayout::Rgb32, CompressionMethod::Lzf,
                                 CompressionMethod::Zlib, DeltaUnits::Bytes}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace
}  // namespace reelkit
