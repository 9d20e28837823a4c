// Broken and hostile inputs through the real program. Every row names the exact text the console
// prints, the exit status, and what became of an output file that existed before the run: it is
// replaced only once a conversion writes its first frame, and then, even when the conversion
// fails later, it is a complete video that ffmpeg plays without a message.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/endian.h"
#include "tests/testing/ffmpeg_tool.h"
#include "tests/testing/process.h"
#include "tests/testing/temp_dir.h"
#include "tools/recording_writer/recording_writer.h"

namespace reelkit {
namespace {

using namespace recording;
using testing::DecodedVideo;
using testing::DecodeVideo;
using testing::ReadFileBytes;
using testing::RunProcess;
using testing::TempDir;
using Bytes = std::vector<std::uint8_t>;

constexpr int kWidth = 24;
constexpr int kHeight = 16;
constexpr Time kStart = 50'000'000;
constexpr Time kD = 1'000'000;  // one output frame at 10 frames per second

const std::string kEndOfFile = "Invalid input file. End of file has been reached unexpectedly.\n";
const std::string kInvalidData = "Error 0x0000000d while reading input file.\n";
const std::string kInvalidFormat = "Invalid input file format.\n";
const std::string kDamagedData =
    kInvalidData + "The recording's screen data is damaged: The data is invalid.\n";
const std::string kOutsideThePicture =
    "Error 0xc000008c while reading input file.\nThe recording's screen data is damaged: The "
    "screen stream named a position outside its picture.\n";

// Invalid data refused by one of the program's limits, and the sentence naming the limit.
std::string Refused(const std::string& limit) {
  return kInvalidData + limit + "\n";
}
const std::string kOverOneGibibyte =
    Refused("A picture of 17179344900 bytes at 32 bits per pixel exceeds the limit of 1 GiB.");
const std::string kSideOver65535 =
    Refused("A picture side of 65536 pixels exceeds the limit of 65535 pixels.");

std::string Done(int frames, int packets) {
  return "Done.\nRecorded " + std::to_string(frames) + " video frames from " +
         std::to_string(packets) + " input packets, total video length is 0 seconds\n";
}

// A written output holds at least one picture and decodes without a message. Without the ffmpeg
// tools the test says it was skipped rather than passing without having looked.
void ExpectPlaysCleanly(const std::string& path) {
  if (!testing::FfmpegToolsAvailable()) {
    GTEST_SKIP() << "the ffmpeg tools are not installed, so " << path << " was not decoded";
  }
  const DecodedVideo video = DecodeVideo(path);
  EXPECT_EQ(video.errors, "") << path;
  EXPECT_EQ(video.exitStatus, 0) << path;
  EXPECT_FALSE(video.frames.empty()) << path;
}

// ---- Raw recordings -------------------------------------------------------------------------

// A whole 32-bit screen painted by color(x, y).
template <typename Color>
Bytes Image(Color color) {
  return PaintPicture(kWidth, kHeight, PixelLayout::Rgb32, color);
}

CursorShape Arrow() {
  std::vector<std::uint32_t> argb(6 * 8, 0);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x <= y && x < 6; ++x) {
      argb[y * 6 + x] = x == 0 ? 0xFF000000u : 0xFFFFFFFFu;
    }
  }
  return CursorShape::FromArgb(argb, 6, 8, 1, 1);
}

// The session every recording row starts from, eight records in three frames:
//   INIT (taken as FINT, a frame of its own), MOUS, MPOS, KFRM at the start; DLTA and MOVE one
//   interval later, MPOS and DLTA one more later, and whatever a row adds after them.
// The first frame is written as soon as the INIT has been read.
struct Session {
  Bytes bytes;
  std::vector<WrittenRecord> records;

  const WrittenRecord& Nth(FourCC fourcc, int nth = 0) const {
    for (const WrittenRecord& record : records) {
      if (record.fourcc == fourcc && nth-- == 0) {
        return record;
      }
    }
    throw std::logic_error("no such record");
  }
  // Byte offset of a payload field: the head (second block) comes first in a payload.
  std::size_t HeadField(FourCC fourcc, std::size_t field, int nth = 0) const {
    const WrittenRecord& record = Nth(fourcc, nth);
    const std::uint32_t firstLength = LoadU32LE(bytes.data() + record.fileOffset + 12);
    return record.fileOffset + 20 + firstLength + field;
  }
  std::size_t Body(FourCC fourcc, int nth = 0) const { return Nth(fourcc, nth).fileOffset + 16; }
};

constexpr int kSessionPackets = 8;
constexpr int kSessionFrames = 3;

Session RecordSession(CompressionMethod method = CompressionMethod::Zlib,
                      const std::function<void(CRecordingWriter&, Time)>& more = {}) {
  WriterOptions options;
  options.deltaCompression = method;
  CRecordingWriter writer(MakeStreamFormat(kWidth, kHeight, PixelLayout::Rgb32), options);
  Session session;
  writer.SetRecordObserver(
      [&](const WrittenRecord& record, const CScreenModel&) { session.records.push_back(record); });
  writer.WriteInit(kStart, &writer.Model().NativeFormat());
  writer.WriteCursorShape(kStart, Arrow());
  writer.WriteCursorPosition(kStart, 5, 5);
  writer.WriteKeyFrame(kStart, Image([](int x, int y) { return 0x010203u * ((x + y) % 64); }));
  writer.WriteDeltaRect(kStart + kD, {2, 3, 6, 4},
                        Image([](int x, int y) { return x < 5 ? 0xFF0000u : y * 9u; }));
  const std::vector<MoveOperation> scroll{{MoveKind::Copy, {0, 0, kWidth, kHeight - 2}, 0, 2, 0}};
  writer.WriteMoves(kStart + kD, scroll);
  writer.WriteCursorPosition(kStart + 2 * kD, 20, 12);
  writer.WriteDeltaRect(kStart + 2 * kD, {10, 8, 5, 5},
                        Image([](int x, int) { return 0x00FF00u * (x % 2); }));
  if (more) {
    more(writer, kStart + 2 * kD);
  }
  const ByteBlock& bytes = writer.Bytes();
  session.bytes.assign(bytes.data(), bytes.data() + bytes.size());
  return session;
}

Session WithRecord(FourCC fourcc, const RecordPayload& payload) {
  return RecordSession(CompressionMethod::Zlib, [&](CRecordingWriter& writer, Time at) {
    writer.WriteRecord(fourcc, at, payload);
  });
}

Bytes Patched(Bytes bytes, std::size_t offset, std::uint32_t value) {
  StoreU32LE(bytes.data() + offset, value);
  return bytes;
}

Bytes WithTime(const Session& session, std::size_t record, Time time) {
  Bytes bytes = session.bytes;
  StoreU64LE(bytes.data() + session.records[record].fileOffset + 4,
             static_cast<std::uint64_t>(time));
  return bytes;
}

Bytes ToBytes(const ByteBlock& block) {
  return Bytes(block.data(), block.data() + block.size());
}

Bytes Cut(Bytes bytes, std::size_t size) {
  bytes.resize(size);
  return bytes;
}

Bytes Scrambled(Bytes bytes, std::size_t offset, std::size_t count) {
  for (std::size_t k = 0; k < count; ++k) {
    bytes[offset + k] ^= static_cast<std::uint8_t>(0xA5 + 31 * k);
  }
  return bytes;
}

// Offsets in the file header and in the bitmap header of the format block.
constexpr std::size_t kFormatSize = 8;
constexpr std::size_t kFormatBlock = 12;
constexpr std::size_t kHeaderWidth = kFormatBlock + 4;
constexpr std::size_t kHeaderHeight = kFormatBlock + 8;
constexpr std::size_t kHeaderBitCount = kFormatBlock + 14;  // 16 bits; the planes field before it
constexpr std::size_t kAnnouncedHeader = format_header::kBitmapHeader;

Bytes WithBitCount(std::uint16_t bitCount) {
  Bytes bytes = RecordSession().bytes;
  StoreU16LE(bytes.data() + kHeaderBitCount, bitCount);
  return bytes;
}

Bytes WithSize(std::int32_t width, std::int32_t height) {
  Bytes bytes = RecordSession().bytes;
  StoreU32LE(bytes.data() + kHeaderWidth, static_cast<std::uint32_t>(width));
  StoreU32LE(bytes.data() + kHeaderHeight, static_cast<std::uint32_t>(height));
  return bytes;
}

// The first record's format announcement with one field of its bitmap header changed.
Bytes AnnouncingInFirstRecord(std::size_t field, std::uint32_t value) {
  const Session session = RecordSession();
  return Patched(session.bytes, session.HeadField(kFourCCInit, kAnnouncedHeader + field), value);
}

Bytes MovesAppended(std::vector<MoveOperation> moves) {
  return WithRecord(kFourCCMove, BuildMovePayload(moves, CompressionMethod::Stored)).bytes;
}

Bytes DeltaAppended(const ScreenRect& rect, Bytes opcodes) {
  return WithRecord(kFourCCDlta, BuildDeltaPayload(rect, opcodes, CompressionMethod::Stored)).bytes;
}

// ---- AVI files ----------------------------------------------------------------------------------

// RIFF structures from their layout; chunks are padded to even sizes.
class Riff {
 public:
  Riff& Chunk(const char* id, std::span<const std::uint8_t> data) {
    return ChunkOfSize(id, static_cast<std::uint32_t>(data.size()), data);
  }
  // A chunk whose size field says declared whatever data holds.
  Riff& ChunkOfSize(const char* id, std::uint32_t declared, std::span<const std::uint8_t> data) {
    Append(FourCCFromText(id));
    Append(declared);
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    if (data.size() % 2 != 0) {
      bytes_.push_back(0);
    }
    return *this;
  }
  Riff& List(const char* type, const char* form, const Riff& content) {
    Append(FourCCFromText(type));
    Append(static_cast<std::uint32_t>(content.bytes_.size() + 4));
    Append(FourCCFromText(form));
    bytes_.insert(bytes_.end(), content.bytes_.begin(), content.bytes_.end());
    return *this;
  }
  const Bytes& bytes() const { return bytes_; }

 private:
  void Append(std::uint32_t value) {
    bytes_.resize(bytes_.size() + 4);
    StoreU32LE(bytes_.data() + bytes_.size() - 4, value);
  }
  Bytes bytes_;
};

// Detection looks for the first stream's handler at byte 112: the 'strh' data starts at 32.
Riff HeaderList() {
  Bytes strh(96, 0);
  std::memcpy(strh.data() + 80, "VQSC", 4);
  return Riff().List("LIST", "hdrl", Riff().Chunk("strh", strh));
}

Bytes Avi(const Riff& movi) {
  const Riff body = Riff(HeaderList()).List("LIST", "movi", movi);
  return Riff().List("RIFF", "AVI ", body).bytes();
}

Bytes KeyBundle(std::int32_t width = kWidth, std::int32_t height = kHeight) {
  BitmapInfoHeader header;
  header.width = width;
  header.height = height;
  header.bitCount = 32;
  const BitmapFormat format(header);
  const Bytes image(DibImageSize(kWidth, kHeight, 32), 0x5A);
  return ToBytes(CBundleBuilder(kFourCCKbnd)
                     .Add(kFourCCFint, BuildFormatPayload(&format))
                     .Add(kFourCCKfrm, BuildKeyFramePayload(nullptr, image, image))
                     .Bytes());
}

Bytes DeltaBundle() {
  const Bytes opcodes = {13, 2, 1, 2, 3, 4, 5, 6, 7, 8};
  return ToBytes(
      CBundleBuilder()
          .Add(kFourCCDlta, BuildDeltaPayload({0, 0, 2, 1}, opcodes, CompressionMethod::Stored))
          .Bytes());
}

// A key bundle, then bundles enough for two output frames at 30 chunks per second.
Riff Chunks(int bundles = 7) {
  Riff movi;
  movi.Chunk("00dc", KeyBundle());
  for (int k = 0; k < bundles; ++k) {
    movi.Chunk("00dc", DeltaBundle());
  }
  return movi;
}

// The file as far as its last chunk, which ends the 'movi' list: the list now runs past the end.
Bytes WithoutLastChunk(const Bytes& avi) {
  const std::size_t lastChunk = 8 + DeltaBundle().size() + DeltaBundle().size() % 2;
  return Cut(avi, avi.size() - lastChunk);
}

// ---- The table ----------------------------------------------------------------------------------

enum class Existing { Kept, Replaced };

struct BadInput {
  const char* name;
  std::function<Bytes()> input;
  std::string message;  // everything after the input path (or everything, when not started)
  int exitStatus;
  Existing output;
  bool started = true;  // the input was recognised and the console printed its path
};

void PrintTo(const BadInput& row, std::ostream* out) {
  *out << row.name;
}

const std::string kPrecious = "an earlier conversion the user kept";

class BadInputThroughBinary : public ::testing::TestWithParam<BadInput> {};

// The default format, then H.264: damaged input meets every output alike.
struct OutputKind {
  const char* fourcc;
  std::size_t magicAt;  // where the file's signature lies
  const char* magic;
};
constexpr OutputKind kOutputKinds[] = {{nullptr, 0, "RIFF"}, {"H264", 4, "ftyp"}};

TEST_P(BadInputThroughBinary, PrintsItsMessageAndKeepsWhatItMust) {
  const BadInput& row = GetParam();
  for (const OutputKind& kind : kOutputKinds) {
    SCOPED_TRACE(kind.fourcc == nullptr ? "default format" : kind.fourcc);
    TempDir dir;
    const std::string input = dir.Write("input.bin", row.input());
    const std::string output = dir.Write("out.avi", kPrecious);
    std::vector<std::string> arguments = {REELKIT_BINARY, "-in", input, "-out", output};
    if (kind.fourcc != nullptr) {
      arguments.insert(arguments.end(), {"-fourcc", kind.fourcc});
    }
    const auto run = RunProcess(arguments);
    EXPECT_EQ(run.output, (row.started ? input + "\n" : std::string()) + row.message);
    EXPECT_EQ(run.exitStatus, row.exitStatus);
    const std::string after = ReadFileBytes(output);
    if (row.output == Existing::Kept) {
      EXPECT_EQ(after, kPrecious);
    } else {
      EXPECT_EQ(after.substr(kind.magicAt, 4), kind.magic);
      if (row.exitStatus != 0) {
        ExpectPlaysCleanly(output);
      }
    }
  }
}

// The thumbnailer reads a file as the conversion does, so it makes a PNG of exactly the inputs
// the conversion completes, and of none of those it fails on: those end with a non-zero exit and
// leave no file, not even a temporary one.
TEST_P(BadInputThroughBinary, ThumbnailerMakesAPngExactlyWhenTheConversionCompletes) {
  const BadInput& row = GetParam();
  TempDir dir;
  const std::string input = dir.Write("input.bin", row.input());
  const std::string png = dir.File("thumbnail.png");
  const auto run = RunProcess({THUMBNAILER_BINARY, "-s", "64", input, png});
  if (row.exitStatus == 0) {
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(ReadFileBytes(png).substr(1, 3), "PNG");
  } else {
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
  }
}

const Session& Plain() {
  static const Session session = RecordSession();
  return session;
}

const std::string kSessionDone = Done(kSessionFrames, kSessionPackets);
const std::string kOneMoreDone = Done(kSessionFrames, kSessionPackets + 1);

INSTANTIATE_TEST_SUITE_P(
    RecordingHeader, BadInputThroughBinary,
    ::testing::Values(
        BadInput{"ShorterThanWhatDetectionReads", [] { return Cut(Plain().bytes, 100); },
                 kInvalidFormat, 1, Existing::Kept, false},
        BadInput{"UnknownVersion", [] { return Patched(Plain().bytes, 4, 2); }, kInvalidFormat, 1,
                 Existing::Kept, false},
        BadInput{"CutInsideItsPalette",
                 [] {
                   CRecordingWriter writer(
                       MakeStreamFormat(kWidth, kHeight, PixelLayout::Indexed8));
                   return Cut(ToBytes(writer.Bytes()), kFormatBlock + 40 + 512);
                 },
                 kEndOfFile, 1, Existing::Kept},
        BadInput{"FormatBlockOfZeroBytes", [] { return Patched(Plain().bytes, kFormatSize, 0); },
                 kInvalidData, 1, Existing::Kept},
        BadInput{"FormatBlockOf39Bytes", [] { return Patched(Plain().bytes, kFormatSize, 39); },
                 kInvalidData, 1, Existing::Kept},
        BadInput{"FormatBlockAtItsBoundPastTheEnd",
                 [] { return Patched(Plain().bytes, kFormatSize, 1u << 20); }, kEndOfFile, 1,
                 Existing::Kept},
        BadInput{
            "FormatBlockJustPastItsBound",
            [] { return Patched(Plain().bytes, kFormatSize, (1u << 20) + 1); },
            Refused("The recording's format block of 1048577 bytes exceeds the limit of 1 MiB."), 1,
            Existing::Kept},
        BadInput{
            "FormatBlockOfFourGibibytes",
            [] { return Patched(Plain().bytes, kFormatSize, 0xFFFFFFFF); },
            Refused("The recording's format block of 4294967295 bytes exceeds the limit of 1 MiB."),
            1, Existing::Kept},
        BadInput{"HeaderSizeZeroMeansForty", [] { return Patched(Plain().bytes, kFormatBlock, 0); },
                 kSessionDone, 0, Existing::Replaced},
        BadInput{"HeaderSizePastTheBlock", [] { return Patched(Plain().bytes, kFormatBlock, 44); },
                 kInvalidData, 1, Existing::Kept},
        BadInput{"HeaderSizeHuge", [] { return Patched(Plain().bytes, kFormatBlock, 0x80000000); },
                 kInvalidData, 1, Existing::Kept},
        BadInput{"WidthZero", [] { return WithSize(0, kHeight); }, kInvalidData, 1, Existing::Kept},
        BadInput{"WidthNegative", [] { return WithSize(-kWidth, kHeight); }, kInvalidData, 1,
                 Existing::Kept},
        BadInput{"WidthPast65535", [] { return WithSize(65536, 1); }, kSideOver65535, 1,
                 Existing::Kept},
        BadInput{"HeightZero", [] { return WithSize(kWidth, 0); }, kInvalidData, 1, Existing::Kept},
        BadInput{"HeightNegativeIsTopDown", [] { return WithSize(kWidth, -kHeight); }, kInvalidData,
                 1, Existing::Kept},
        BadInput{"HeightPast65535", [] { return WithSize(1, 65536); }, kSideOver65535, 1,
                 Existing::Kept},
        BadInput{"PictureOverOneGibibyte", [] { return WithSize(65535, 65535); }, kOverOneGibibyte,
                 1, Existing::Kept},
        BadInput{
            "PictureTooLargeToDecode", [] { return WithSize(16384, 8192); },
            Refused(
                "A picture of 134217728 pixels exceeds the decoder's limit of 67108864 pixels."),
            1, Existing::Kept},
        BadInput{"DepthZero", [] { return WithBitCount(0); }, kInvalidData, 1, Existing::Kept},
        BadInput{"DepthOneBitOnlyPassesThrough", [] { return WithBitCount(1); },
                 Refused("A picture of 1 bit per pixel can only be passed through; convert this "
                         "recording to VQSC."),
                 1, Existing::Kept},
        BadInput{"DepthNoBitmapHas", [] { return WithBitCount(7); }, kInvalidData, 1,
                 Existing::Kept},
        BadInput{"DepthPast32", [] { return WithBitCount(33); }, kInvalidData, 1, Existing::Kept},
        BadInput{"DepthHuge", [] { return WithBitCount(0xFFFF); }, kInvalidData, 1, Existing::Kept},
        BadInput{"PaletteLongerThanTheBlock",
                 [] {
                   Bytes bytes = WithBitCount(8);
                   return Patched(bytes, kFormatBlock + 32, 300);
                 },
                 kInvalidData, 1, Existing::Kept}),
    [](const auto& row) { return std::string(row.param.name); });

INSTANTIATE_TEST_SUITE_P(
    RecordingRecords, BadInputThroughBinary,
    ::testing::Values(
        BadInput{"FirstRecordCutInItsFormatAnnouncement",
                 [] {
                   const WrittenRecord& first = Plain().records[0];
                   return Cut(Plain().bytes, first.fileOffset + first.size - 2);
                 },
                 kEndOfFile, 1, Existing::Kept},
        BadInput{"LastRecordCutInItsSecondBlock",
                 [] { return Cut(Plain().bytes, Plain().bytes.size() - 3); }, kEndOfFile, 1,
                 Existing::Replaced},
        BadInput{"BlockLengthAtItsBoundPastTheEnd",
                 [] {
                   const Session& s = Plain();
                   return Patched(s.bytes, s.Nth(kFourCCDlta, 1).fileOffset + 12, 256u << 20);
                 },
                 kEndOfFile, 1, Existing::Replaced},
        BadInput{"BlockLengthJustPastItsBound",
                 [] {
                   const Session& s = Plain();
                   return Patched(s.bytes, s.Nth(kFourCCDlta, 1).fileOffset + 12, (256u << 20) + 1);
                 },
                 Refused("A record block of 268435457 bytes exceeds the limit of 256 MiB."), 1,
                 Existing::Replaced},
        BadInput{"SecondBlockLengthOfFourGibibytes",
                 [] {
                   const Session& s = Plain();
                   return Patched(s.bytes, s.HeadField(kFourCCDlta, 0, 1) - 4, 0xFFFFFFFF);
                 },
                 Refused("A record block of 4294967295 bytes exceeds the limit of 256 MiB."), 1,
                 Existing::Replaced},
        BadInput{"TimeLeapingCenturiesAhead",
                 [] { return WithTime(Plain(), kSessionPackets - 1, kStart + (Time{1} << 54)); },
                 Refused("The recording asks for more than 24 hours of video."), 1,
                 Existing::Replaced},
        BadInput{"TimeAtTheEndOfTime", [] { return WithTime(Plain(), 0, INT64_MAX); },
                 Refused("A record's timestamp lies more than 7311 years from the recording "
                         "clock's origin."),
                 1, Existing::Kept},
        BadInput{"RecordWithBothBlocksEmpty",
                 [] { return WithRecord(kFourCCDlta, RecordPayload{}).bytes; }, kOneMoreDone, 0,
                 Existing::Replaced},
        BadInput{"UnknownRecordKind",
                 [] {
                   const Session& s = Plain();
                   return Patched(s.bytes, s.Nth(kFourCCMpos, 1).fileOffset,
                                  MakeFourCC('X', 'P', 'O', 'S'));
                 },
                 kSessionDone, 0, Existing::Replaced},
        BadInput{"KindsOnlyBundlesCarry",
                 [] {
                   return RecordSession(
                              CompressionMethod::Zlib,
                              [](CRecordingWriter& writer, Time at) {
                                writer.WriteRecord(kFourCCBndl, at, {}, {});
                                writer.WriteRecord(MakeFourCC('E', 'M', 'P', 'T'), at, {}, {});
                                writer.WriteRecord(MakeFourCC('S', 'A', 'M', 'P'), at, {}, {});
                              })
                       .bytes;
                 },
                 Done(kSessionFrames, kSessionPackets + 3), 0, Existing::Replaced}),
    [](const auto& row) { return std::string(row.param.name); });

INSTANTIATE_TEST_SUITE_P(
    ScreenData, BadInputThroughBinary,
    ::testing::Values(
        BadInput{
            "FirstAnnouncementTopDown",
            [] { return AnnouncingInFirstRecord(bih::kHeight, static_cast<std::uint32_t>(-4)); },
            kDamagedData, 1, Existing::Kept},
        BadInput{"FirstAnnouncementWidthZero",
                 [] { return AnnouncingInFirstRecord(bih::kWidth, 0); }, kDamagedData, 1,
                 Existing::Kept},
        BadInput{"FirstAnnouncementWidth65536",
                 [] { return AnnouncingInFirstRecord(bih::kWidth, 65536); }, kDamagedData, 1,
                 Existing::Kept},
        BadInput{"FirstAnnouncementDepth33",
                 [] { return AnnouncingInFirstRecord(bih::kBitCount, 33); }, kDamagedData, 1,
                 Existing::Kept},
        BadInput{"AnnouncementMarkerWithoutRoomForTheHeader",
                 [] {
                   RecordPayload payload;
                   payload.head.AppendU32LE(format_header::kMarker);
                   return WithRecord(kFourCCFint, payload).bytes;
                 },
                 kDamagedData, 1, Existing::Replaced},
        BadInput{"AnnouncedPaletteLongerThanThePayload",
                 [] {
                   BitmapInfoHeader header;
                   header.width = kWidth;
                   header.height = kHeight;
                   header.bitCount = 8;
                   header.clrUsed = 0xFFFFFFFF;
                   RecordPayload payload;
                   payload.head = BuildFormatHeader(BitmapFormat(header));
                   payload.head.Resize(kAnnouncedHeader + 40 + 16);
                   return WithRecord(kFourCCFint, payload).bytes;
                 },
                 Done(kSessionFrames + 1, kSessionPackets + 1), 0, Existing::Replaced},
        BadInput{"CorruptZlibKeyImage",
                 [] { return Scrambled(Plain().bytes, Plain().Body(kFourCCKfrm) + 6, 12); },
                 kSessionDone, 0, Existing::Replaced},
        BadInput{"CorruptZlibDelta",
                 [] { return Scrambled(Plain().bytes, Plain().Body(kFourCCDlta) + 2, 8); },
                 kSessionDone, 0, Existing::Replaced},
        BadInput{"CorruptLzfDelta",
                 [] {
                   const Session s = RecordSession(CompressionMethod::Lzf);
                   return Scrambled(s.bytes, s.Body(kFourCCDlta), 10);
                 },
                 kSessionDone, 0, Existing::Replaced},
        BadInput{"DeltaStreamLengthPastItsData",
                 [] {
                   const Session& s = Plain();
                   return Patched(s.bytes, s.HeadField(kFourCCDlta, delta_header::kOpcodeLength),
                                  0xFFFFFFFF);
                 },
                 kSessionDone, 0, Existing::Replaced},
        BadInput{"DeltaCompressionUnknown",
                 [] {
                   const Session& s = Plain();
                   return Patched(s.bytes, s.HeadField(kFourCCDlta, delta_header::kMethod), 7);
                 },
                 kSessionDone, 0, Existing::Replaced},
        BadInput{"DeltaRectangleFarOutsideThePicture",
                 [] {
                   return DeltaAppended({-100000, 50000, 8, 2}, {3, 8, 1, 2, 3, 4, 5, 6, 7, 8});
                 },
                 kOneMoreDone, 0, Existing::Replaced},
        BadInput{"DeltaRectangleWiderThanThePicture",
                 [] {
                   return DeltaAppended({20, 3, INT_MAX, 3}, {4, 255, 0x11, 4, 255, 0x22});
                 },
                 kOneMoreDone, 0, Existing::Replaced},
        BadInput{"DeltaRectangleTallerThanThePicture",
                 [] {
                   return DeltaAppended({0, -5, 2, 1000}, {7, 2, 1, 2, 3, 4, 7, 2, 1, 2, 3, 4});
                 },
                 kOneMoreDone, 0, Existing::Replaced},
        BadInput{"DeltaUnknownOpcodes",
                 [] {
                   return DeltaAppended({0, 0, 8, 2}, {0x55, 3, 0x99, 200, 0, 0, 11, 4, 5, 1});
                 },
                 kOneMoreDone, 0, Existing::Replaced},
        BadInput{"DeltaLiteralRunPastItsData",
                 [] {
                   return DeltaAppended({0, 0, 8, 2}, {3, 200, 1, 2, 13, 60, 9});
                 },
                 kOneMoreDone, 0, Existing::Replaced},
        BadInput{"MovesOutsideThePicture",
                 [] {
                   return MovesAppended({{MoveKind::Copy, {-50, -40, 30, 20}, 100, 200, 0},
                                         {MoveKind::Copy, {10, 5, 30, 30}, -20, -9, 0},
                                         {MoveKind::Fill, {20, 10, 100, 100}, 0, 0, 0xFFFFFF},
                                         {MoveKind::Save, {-5, -5, 500, 3}, 0, 0, 0}});
                 },
                 kOneMoreDone, 0, Existing::Replaced},
        BadInput{"MoveWithRightLeftOfLeft",
                 [] {
                   return MovesAppended({{MoveKind::Copy, {10, 10, -15, -8}, 2, 2, 0}});
                 },
                 kOneMoreDone, 0, Existing::Replaced},
        BadInput{"MoveEdgeAt30000",
                 [] {
                   return MovesAppended({{MoveKind::Fill, {29990, 0, 10, 1}, 0, 0, 0}});
                 },
                 kOneMoreDone, 0, Existing::Replaced},
        BadInput{"MoveEdgeJustPast30000",
                 [] {
                   return MovesAppended({{MoveKind::Fill, {29990, 0, 11, 1}, 0, 0, 0}});
                 },
                 kOutsideThePicture, 1, Existing::Replaced},
        BadInput{"MoveOfUnknownKind",
                 [] {
                   return MovesAppended({{static_cast<MoveKind>(3), {0, 0, 4, 4}, 0, 0, 0}});
                 },
                 kDamagedData, 1, Existing::Replaced},
        BadInput{"MoveCountPastItsRecords",
                 [] {
                   const Session& s = Plain();
                   return Patched(s.bytes, s.HeadField(kFourCCMove, move_header::kRecordCount),
                                  0xFFFFFFFF);
                 },
                 kSessionDone, 0, Existing::Replaced},
        BadInput{"CursorImageShorterThanItsSize",
                 [] {
                   const Session& s = Plain();
                   return Patched(s.bytes,
                                  s.HeadField(kFourCCMous, cursor_shape_header::kRawLength), 3);
                 },
                 kSessionDone, 0, Existing::Replaced},
        BadInput{"CursorOfHugeSize",
                 [] {
                   const Session& s = Plain();
                   Bytes bytes = Patched(
                       s.bytes, s.HeadField(kFourCCMous, cursor_shape_header::kWidth), INT_MAX);
                   return Patched(bytes, s.HeadField(kFourCCMous, cursor_shape_header::kRawLength),
                                  0xFFFFFFFF);
                 },
                 kSessionDone, 0, Existing::Replaced},
        BadInput{"CursorOfNegativeHeight",
                 [] {
                   const Session& s = Plain();
                   return Patched(s.bytes, s.HeadField(kFourCCMous, cursor_shape_header::kHeight),
                                  static_cast<std::uint32_t>(-8));
                 },
                 kSessionDone, 0, Existing::Replaced},
        BadInput{"CursorCompressedLengthPastThePayload",
                 [] {
                   const Session& s = Plain();
                   return Patched(s.bytes,
                                  s.HeadField(kFourCCMous, cursor_shape_header::kCompressedLength),
                                  0xFFFFFFFF);
                 },
                 kSessionDone, 0, Existing::Replaced},
        BadInput{"CursorPositionsAtTheExtremes",
                 [] {
                   const Session& s = Plain();
                   Bytes bytes = Patched(s.bytes, s.HeadField(kFourCCMpos, 8, 1),
                                         static_cast<std::uint32_t>(INT_MIN));
                   return Patched(bytes, s.HeadField(kFourCCMpos, 12, 1), INT_MAX);
                 },
                 kSessionDone, 0, Existing::Replaced}),
    [](const auto& row) { return std::string(row.param.name); });

INSTANTIATE_TEST_SUITE_P(
    AviInput, BadInputThroughBinary,
    ::testing::Values(
        BadInput{"WellFormed", [] { return Avi(Chunks()); }, Done(2, 8), 0, Existing::Replaced},
        BadInput{"NoMoviList", [] { return Riff().List("RIFF", "AVI ", HeaderList()).bytes(); },
                 kInvalidFormat, 1, Existing::Kept},
        BadInput{"EmptyMoviList", [] { return Avi(Riff()); }, kInvalidFormat, 1, Existing::Kept},
        BadInput{
            "MoviNestedInAnotherList",
            [] {
              const Riff body =
                  Riff(HeaderList()).List("LIST", "INFO", Riff().List("LIST", "movi", Chunks()));
              return Riff().List("RIFF", "AVI ", body).bytes();
            },
            kInvalidFormat, 1, Existing::Kept},
        BadInput{
            "JunkBeforeMovi",
            [] {
              const Riff body =
                  Riff(HeaderList()).Chunk("JUNK", Bytes(1016, 0)).List("LIST", "movi", Chunks());
              return Riff().List("RIFF", "AVI ", body).bytes();
            },
            Done(2, 8), 0, Existing::Replaced},
        BadInput{"NestedListsInsideMoviAreSkipped",
                 [] {
                   Riff movi = Chunks();
                   movi.List("LIST", "rec ",
                             Riff()
                                 .Chunk("00dc", Bytes{0, 1})
                                 .List("LIST", "rec ", Riff().Chunk("00dc", Bytes{2})));
                   return Avi(movi);
                 },
                 Done(2, 8), 0, Existing::Replaced},
        BadInput{"ZeroSizedFirstChunk",
                 [] { return Avi(Riff().Chunk("00dc", Bytes{}).Chunk("00dc", KeyBundle())); },
                 kInvalidFormat, 1, Existing::Kept},
        BadInput{"ZeroSizedIndexChunk", [] { return Avi(Riff(Chunks(2)).Chunk("ix00", Bytes{})); },
                 kInvalidFormat, 1, Existing::Kept},
        BadInput{"FirstChunkIsNotAKeyBundle",
                 [] { return Avi(Riff().Chunk("00dc", DeltaBundle()).Chunk("00dc", KeyBundle())); },
                 kInvalidFormat, 1, Existing::Kept},
        BadInput{"FirstKeyBundleWithoutAFormat",
                 [] {
                   Bytes key = KeyBundle();
                   StoreU32LE(key.data() + 4, kFourCCKfrm);
                   return Avi(Riff().Chunk("00dc", key));
                 },
                 kInvalidFormat, 1, Existing::Kept},
        BadInput{"FirstChunkOf82Bytes",
                 [] { return Avi(Riff().Chunk("00dc", Cut(KeyBundle(), 82))); }, kInvalidFormat, 1,
                 Existing::Kept},
        BadInput{"FirstChunkWidthZero", [] { return Avi(Riff().Chunk("00dc", KeyBundle(0))); },
                 kDamagedData, 1, Existing::Kept},
        BadInput{"FirstChunkTopDown",
                 [] { return Avi(Riff().Chunk("00dc", KeyBundle(kWidth, -kHeight))); },
                 kDamagedData, 1, Existing::Kept},
        BadInput{"FirstChunkPictureOverOneGibibyte",
                 [] { return Avi(Riff().Chunk("00dc", KeyBundle(65535, 65535))); },
                 kOverOneGibibyte, 1, Existing::Kept},
        BadInput{"ChunkPastTheEndOfTheFile",
                 [] { return Avi(Riff(Chunks(1)).ChunkOfSize("00dc", 100000, DeltaBundle())); },
                 kEndOfFile, 1, Existing::Kept},
        BadInput{"ChunkAtItsBoundPastTheEnd",
                 [] { return Avi(Riff(Chunks(1)).ChunkOfSize("00dc", 256u << 20, DeltaBundle())); },
                 kEndOfFile, 1, Existing::Kept},
        BadInput{"ChunkJustPastItsBound",
                 [] {
                   return Avi(Riff(Chunks(1)).ChunkOfSize("00dc", (256u << 20) + 1, DeltaBundle()));
                 },
                 Refused("A chunk of 268435457 bytes exceeds the limit of 256 MiB."), 1,
                 Existing::Kept},
        BadInput{"MoviListRunsPastTheEndBetweenChunks",
                 [] { return WithoutLastChunk(Avi(Chunks())); }, kEndOfFile, 1, Existing::Replaced},
        BadInput{"SkippedChunkPastTheEnd",
                 [] { return Avi(Riff(Chunks(1)).ChunkOfSize("01wb", 100000, Bytes(6))); },
                 kEndOfFile, 1, Existing::Kept}),
    [](const auto& row) { return std::string(row.param.name); });

// What the console prints for a recording that stops after size bytes with an error: files
// shorter than the 128 bytes detection reads are not recognised at all.
std::string Refusal(const std::string& input, std::size_t size, const std::string& message) {
  return size < 128 ? kInvalidFormat : input + "\n" + message;
}

// A recording cut exactly after any record is a shorter recording; cut anywhere inside one, it
// ends with the end-of-file message. Before the first record completes nothing is written; after
// it, the output is a complete video of the frames written before the cut (decoded for every
// place of a cut in the last record).
TEST(TruncatedRecordings, EndCleanlyBetweenRecordsAndWithEndOfFileInsideThem) {
  const Session& session = Plain();
  TempDir dir;
  const std::string output = dir.File("out.avi");
  for (std::size_t k = 0; k < session.records.size(); ++k) {
    const WrittenRecord& record = session.records[k];
    const std::size_t firstLength = LoadU32LE(session.bytes.data() + record.fileOffset + 12);
    // Inside the FourCC, the timestamp, the first length, the first block, the second length and
    // the second block.
    const std::vector<std::size_t> inside = {
        1, 6, 14, 16 + firstLength / 2, 18 + firstLength, record.size - 1};
    for (const std::size_t at : inside) {
      dir.Write("out.avi", kPrecious);
      const std::size_t size = record.fileOffset + at;
      const std::string input = dir.Write("in.rcrec", Cut(session.bytes, size));
      const auto run = RunProcess({REELKIT_BINARY, "-in", input, "-out", output});
      EXPECT_EQ(run.output, Refusal(input, size, kEndOfFile)) << "record " << k << " cut at " << at;
      EXPECT_EQ(run.exitStatus, 1);
      EXPECT_EQ(ReadFileBytes(output) == kPrecious, k == 0) << "record " << k << " cut at " << at;
      if (k + 1 == session.records.size()) {
        ExpectPlaysCleanly(output);
      }
    }
  }
  // The frames of whole bundles: the INIT's, then MOUS and MPOS when the KFRM arrives, then the
  // last bundle at the end.
  const std::vector<int> frames = {0, 1, 2, 2, 3, 3, 3, 3, 3};
  ASSERT_EQ(session.records.size(), std::size_t{kSessionPackets});
  for (std::size_t k = 1; k <= session.records.size(); ++k) {
    const std::size_t end =
        k < session.records.size() ? session.records[k].fileOffset : session.bytes.size();
    const std::string input = dir.Write("in.rcrec", Cut(session.bytes, end));
    const auto run = RunProcess({REELKIT_BINARY, "-in", input, "-out", output});
    EXPECT_EQ(run.output, input + "\n" + Done(frames[k], static_cast<int>(k))) << k << " records";
    EXPECT_EQ(run.exitStatus, 0);
  }
}

}  // namespace
}  // namespace reelkit
