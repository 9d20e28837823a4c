// Broken and hostile files played through playbin: each ends within the time allowed, with the
// plugin's sentence on the bus where the converter refuses the file too, and as a video where the
// converter makes one. Nothing crashes and nothing hangs.
#include <gtest/gtest.h>

#include <climits>
#include <functional>

#include "common/endian.h"
#include "tests/gstreamer/gst_pipeline.h"
#include "tests/testing/process.h"
#include "tests/testing/temp_dir.h"
#include "tools/recording_writer/recording_writer.h"

namespace reelkit {
namespace {

using namespace recording;
using Bytes = std::vector<std::uint8_t>;

constexpr int kWidth = 24;
constexpr int kHeight = 16;
constexpr Time kStart = 50'000'000;
constexpr Time kD = 1'000'000;

// The file header: the format block's size, then the block's bitmap header.
constexpr std::size_t kFormatSize = 8;
constexpr std::size_t kHeaderWidth = 16;
constexpr std::size_t kHeaderHeight = 20;
constexpr std::size_t kHeaderBitCount = 26;

// Offsets of the records a session holds, for rows that damage one of them.
struct Session {
  Bytes bytes;
  std::vector<WrittenRecord> records;

  std::size_t Offset(FourCC fourcc) const {
    for (const WrittenRecord& record : records) {
      if (record.fourcc == fourcc) {
        return record.fileOffset;
      }
    }
    throw std::logic_error("no such record");
  }
};

// A key image and a delta, then whatever a row adds one interval later.
Session RecordSession(const std::function<void(CRecordingWriter&, Time)>& more = {}) {
  CRecordingWriter writer(MakeStreamFormat(kWidth, kHeight, PixelLayout::Rgb32));
  Session session;
  writer.SetRecordObserver(
      [&](const WrittenRecord& record, const CScreenModel&) { session.records.push_back(record); });
  writer.WriteInit(kStart, &writer.Model().NativeFormat());
  writer.WriteKeyFrame(kStart, PaintPicture(kWidth, kHeight, PixelLayout::Rgb32,
                                            [](int x, int y) { return 0x010203u * (x + y); }));
  writer.WriteDelta(kStart + kD, PaintPicture(kWidth, kHeight, PixelLayout::Rgb32,
                                              [](int x, int) { return 0xFF0000u * (x % 2); }));
  if (more) {
    more(writer, kStart + 2 * kD);
  }
  session.bytes.assign(writer.Bytes().data(), writer.Bytes().data() + writer.Bytes().size());
  return session;
}

Bytes Plain() {
  return RecordSession().bytes;
}

Bytes Patched(Bytes bytes, std::size_t offset, std::uint32_t value) {
  StoreU32LE(bytes.data() + offset, value);
  return bytes;
}

Bytes Cut(Bytes bytes, std::size_t size) {
  bytes.resize(size);
  return bytes;
}

Bytes WithRecord(FourCC fourcc, const RecordPayload& payload, Time after = kD) {
  return RecordSession([&](CRecordingWriter& writer, Time at) {
           writer.WriteRecord(fourcc, at + after - kD, payload);
         })
      .bytes;
}

Bytes MoveAppended(const MoveOperation& move) {
  const std::vector<MoveOperation> moves{move};
  return WithRecord(kFourCCMove, BuildMovePayload(moves, CompressionMethod::Stored));
}

Bytes DeltaAppended(const ScreenRect& rect, const Bytes& opcodes) {
  return WithRecord(kFourCCDlta, BuildDeltaPayload(rect, opcodes, CompressionMethod::Stored));
}

// Nothing has been read into the record's blocks yet when the first one has none.
Bytes OpeningWithAnEmptyRecord() {
  CRecordingWriter writer(MakeStreamFormat(kWidth, kHeight, PixelLayout::Rgb32));
  writer.WriteRecord(kFourCCMpos, kStart, {}, {});
  writer.WriteInit(kStart, &writer.Model().NativeFormat());
  writer.WriteKeyFrame(kStart, PaintPicture(kWidth, kHeight, PixelLayout::Rgb32,
                                            [](int x, int y) { return 0x030201u * (x ^ y); }));
  return Bytes(writer.Bytes().data(), writer.Bytes().data() + writer.Bytes().size());
}

Bytes WithBitCount(std::uint16_t bitCount) {
  Bytes bytes = Plain();
  StoreU16LE(bytes.data() + kHeaderBitCount, bitCount);
  return bytes;
}

// The session's pass-through AVI, made by the converter, with its first chunk's FourCC replaced.
Bytes PassThroughWithFirstChunk(const char* fourcc) {
  testing::TempDir dir;
  const std::string recording = dir.Write("session.rcrec", Plain());
  const std::string avi = dir.File("pass.avi");
  testing::RunProcess({REELKIT_BINARY, "-in", recording, "-out", avi, "-fourcc", "VQSC"});
  const std::string text = testing::ReadFileBytes(avi);
  Bytes bytes(text.begin(), text.end());
  const std::size_t chunk = text.find("00dc", text.find("movi"));
  if (chunk != std::string::npos && fourcc != nullptr) {
    StoreU32LE(bytes.data() + chunk + 8, FourCCFromText(fourcc));
  }
  return bytes;
}

struct BadInput {
  const char* name;
  std::function<Bytes()> input;
  std::string error;  // the bus error's text; empty where the file plays
};

void PrintTo(const BadInput& row, std::ostream* out) {
  *out << row.name;
}

// The sentences are the ones the console prints under its own message for the same files.
const std::string kInvalidData = "The recording holds invalid data.";
const std::string kCutShort = "The input file ends unexpectedly.";

class BadInputThroughPlaybin : public ::testing::TestWithParam<BadInput> {};

TEST_P(BadInputThroughPlaybin, EndsInBoundedTimeWithItsError) {
  const BadInput& row = GetParam();
  testing::TempDir dir;
  const std::string path = dir.Write("input.bin", row.input());
  const testing::Playback playback = testing::PlayFile(path, 20 * GST_SECOND);
  EXPECT_FALSE(playback.timedOut);
  EXPECT_EQ(playback.error, row.error);
  if (row.error.empty()) {
    EXPECT_FALSE(playback.pictures.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, BadInputThroughPlaybin,
    ::testing::Values(
        BadInput{"FormatBlockOf39Bytes", [] { return Patched(Plain(), kFormatSize, 39); },
                 kInvalidData},
        BadInput{"CutInsideItsHeader", [] { return Cut(Plain(), 40); }, kCutShort},
        BadInput{"CutInsideItsLastRecord", [] { return Cut(Plain(), Plain().size() - 3); },
                 kCutShort},
        BadInput{"HeaderOnly", [] { return Cut(Plain(), 12 + 40); },
                 "The recording holds no picture."},
        BadInput{"PictureSideOver65535", [] { return Patched(Plain(), kHeaderWidth, 65536); },
                 "A picture side of 65536 pixels exceeds the limit of 65535 pixels."},
        BadInput{
            "PictureOverOneGibibyte",
            [] { return Patched(Patched(Plain(), kHeaderWidth, 65535), kHeaderHeight, 65535); },
            "A picture of 17179344900 bytes at 32 bits per pixel exceeds the limit of 1 GiB."},
        BadInput{"OneBitScreen", [] { return WithBitCount(1); },
                 "A picture of 1 bit per pixel can only be passed through; convert this recording "
                 "to VQSC."},
        BadInput{"RecordBlockOver256Mebibytes",
                 [] {
                   const Session session = RecordSession();
                   return Patched(session.bytes, session.Offset(kFourCCDlta) + 12, 0x20000000);
                 },
                 "A record block of 512 MiB exceeds the limit of 256 MiB."},
        BadInput{"TimestampOfTheFarFuture",
                 [] {
                   Bytes bytes = Plain();
                   StoreU64LE(bytes.data() + RecordSession().Offset(kFourCCDlta) + 4, 1ull << 62);
                   return bytes;
                 },
                 "A record's timestamp lies more than 7311 years from the recording clock's "
                 "origin."},
        BadInput{"VideoOfMoreThanADay",
                 [] {
                   return WithRecord(kFourCCMpos, BuildCursorPositionPayload(1, 1),
                                     25 * 3600 * kTimeUnitsPerSecond);
                 },
                 "The recording asks for more than 24 hours of video."},
        BadInput{"MoveOutsideThePicture",
                 [] {
                   return MoveAppended({MoveKind::Fill, {29990, 0, 11, 1}, 0, 0, 0});
                 },
                 "The recording's screen data is damaged: The screen stream named a position "
                 "outside its picture."},
        BadInput{"DeltaRectangleFarOutsideThePicture",
                 [] {
                   return DeltaAppended({-100000, 50000, 8, 2}, {3, 8, 1, 2, 3, 4, 5, 6, 7, 8});
                 },
                 ""},
        BadInput{"OpensWithARecordOfEmptyBlocks", OpeningWithAnEmptyRecord, ""},
        BadInput{
            "UnknownRecordKind",
            [] { return WithRecord(FourCCFromText("XXXX"), BuildCursorPositionPayload(1, 1)); },
            ""}),
    [](const auto& row) { return std::string(row.param.name); });

INSTANTIATE_TEST_SUITE_P(
    AviFiles, BadInputThroughPlaybin,
    ::testing::Values(
        BadInput{"PassThroughAsMade", [] { return PassThroughWithFirstChunk(nullptr); }, ""},
        BadInput{"FirstChunkNotAKeyBundle", [] { return PassThroughWithFirstChunk("BNDL"); },
                 "This is not a screen recording that can be played."}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace reelkit
