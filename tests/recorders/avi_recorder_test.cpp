#include "recorders/avi_recorder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/endian.h"
#include "common/error_codes.h"
#include "recorders/compressor_table.h"
#include "recorders/frame_batch.h"
#include "tests/testing/temp_dir.h"
#include "tests/testing/waiting.h"

namespace reelkit {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes BytesOf(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

// What the probe compressors saw, shared by every probe the table creates.
class CProbeLog {
 public:
  void Connected(const VideoMediaType& type) {
    std::lock_guard guard(lock_);
    types_.push_back(type);
  }
  // Holds the streaming thread while holdAt samples have been seen, until Release.
  std::uint32_t Sample(std::span<const std::uint8_t> data) {
    std::unique_lock guard(lock_);
    samples_.emplace_back(data.begin(), data.end());
    const std::size_t index = samples_.size() - 1;
    changed_.notify_all();
    // A test that fails before it releases the thread must not leave it held for ever.
    changed_.wait_for(guard, testing::kHangDeadline, [&] { return index != holdAt_ || released_; });
    return index == failAt_ ? kResultFail : 0;
  }
  void Reset(std::size_t holdAt = SIZE_MAX, std::size_t failAt = SIZE_MAX) {
    std::lock_guard guard(lock_);
    types_.clear();
    samples_.clear();
    holdAt_ = holdAt;
    failAt_ = failAt;
    released_ = false;
  }
  void WaitForSamples(std::size_t count) {
    std::unique_lock guard(lock_);
    if (!changed_.wait_for(guard, testing::kHangDeadline,
                           [&] { return samples_.size() >= count; })) {
      ADD_FAILURE() << "the streaming thread never took sample " << count;
    }
  }
  void Release() {
    {
      std::lock_guard guard(lock_);
      released_ = true;
    }
    changed_.notify_all();
  }
  std::vector<VideoMediaType> Types() {
    std::lock_guard guard(lock_);
    return types_;
  }
  std::vector<Bytes> Samples() {
    std::lock_guard guard(lock_);
    return samples_;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<VideoMediaType> types_;
  std::vector<Bytes> samples_;
  std::size_t holdAt_ = SIZE_MAX;
  std::size_t failAt_ = SIZE_MAX;
  bool released_ = false;
};

CProbeLog& ProbeLog() {
  static CProbeLog log;
  return log;
}

// Writes each sample unchanged under its own tag, and tells the log what it saw.
class CProbeCompressor : public ICompressor {
 public:
  explicit CProbeCompressor(FourCC tag) : tag_(tag) {}
  std::uint32_t Connect(const VideoMediaType& input, CompressedStreamInfo& output) override {
    ProbeLog().Connected(input);
    output.codecTag = tag_;
    output.width = input.format.Header().width;
    output.height = std::abs(input.format.Header().height);
    output.bitsPerCodedSample = input.format.Header().bitCount;
    return 0;
  }
  std::uint32_t Compress(std::span<const std::uint8_t> sample, CompressedPacket& out) override {
    out.data.assign(sample.begin(), sample.end());
    out.key = true;
    return ProbeLog().Sample(sample);
  }

 private:
  FourCC tag_;
};

const FourCC kProbeFourCC = FourCCFromText("TST1");

void RegisterProbe(const char* fccHandler) {
  CompressorEntry entry;
  entry.registrationKey = std::string("probe:") + fccHandler;
  entry.fccHandler = fccHandler;
  const FourCC tag = FourCCFromText(fccHandler);
  entry.create = [tag](std::unique_ptr<ICompressor>& out) {
    out = std::make_unique<CProbeCompressor>(tag);
    return std::uint32_t{0};
  };
  ProcessCompressorTable().Register(std::move(entry));
}

BitmapFormat FormatOf(int width, int height, std::uint16_t bitCount) {
  BitmapInfoHeader header;
  header.width = width;
  header.height = height;
  header.bitCount = bitCount;
  BitmapFormat format(header);
  format.SetPictureFormat(bitCount, kCompressionRgb);
  return format;
}

class AviRecorderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterProbe("TST1");
    RegisterProbe("VQSC");
  }
  void SetUp() override { ProbeLog().Reset(); }

  std::string Path() const { return dir_.File("out.avi"); }

  testing::TempDir dir_;
  const Time frame_ = 1'000'000;
};

TEST_F(AviRecorderTest, FirstFrameBuildsAndStartsAtTimeZeroAsKeyBundle) {
  {
    CAviRecorder recorder(30.0, kFourCCScreenCodec);
    recorder.Open(Path());
    const BitmapFormat format = FormatOf(8, 8, 32);
    const Bytes bundle = BytesOf("INITxx");
    const Time base = 123'456'789;
    EXPECT_EQ(recorder.Write(SampleKind::Bundle, format, bundle, base), 0u);
    EXPECT_EQ(recorder.Write(SampleKind::Bundle, format, bundle, base + 333'333), 0u);
    EXPECT_EQ(recorder.Write(SampleKind::Spacer, format, {}, base + 2 * 333'333), 0u);
    EXPECT_EQ(recorder.FrameDuration(), 333'333);
    EXPECT_EQ(recorder.Close(), 0u);
  }
  const auto samples = ProbeLog().Samples();
  ASSERT_EQ(samples.size(), 3u);
  EXPECT_EQ(samples[0], BytesOf("KBNDINITxx"));
  EXPECT_EQ(samples[1], BytesOf("BNDLINITxx"));
  EXPECT_EQ(samples[2], BytesOf("EMPT"));
  EXPECT_TRUE(std::filesystem::exists(Path()));
}

// The file is opened only once the whole pipeline stands: a build that fails before then leaves
// what was there, since no frame will ever replace it.
TEST_F(AviRecorderTest, UnknownEncoderLeavesTheFileAsItWasAndLatchesTheFailure) {
  testing::TempDir dir;
  const std::string path = dir.Write("out.avi", std::string("previous"));
  CAviRecorder recorder(10.0, FourCCFromText("NONE"));
  recorder.Open(path);
  const BitmapFormat format = FormatOf(4, 4, 32);
  const Bytes picture(64, 1);
  EXPECT_EQ(recorder.Write(SampleKind::Picture, format, picture, 0), kResultFail);
  EXPECT_EQ(testing::ReadFileBytes(path), "previous");
  EXPECT_EQ(recorder.Write(SampleKind::Picture, format, picture, frame_), kResultFail);
  EXPECT_EQ(recorder.Close(), 0u);
  EXPECT_EQ(testing::ReadFileBytes(path), "previous");
}

TEST_F(AviRecorderTest, UnwritableOutputFailsTheBuildWithTheSystemError) {
  const std::string path = dir_.File("no-such-directory/out.avi");
  CAviRecorder recorder(10.0, kProbeFourCC);
  recorder.Open(path);
  constexpr std::uint32_t kNoSuchDirectory = 0x80070000u | ENOENT;
  EXPECT_EQ(recorder.Write(SampleKind::Picture, FormatOf(4, 4, 32), Bytes(64), 0),
            kNoSuchDirectory);
  EXPECT_EQ(recorder.Write(SampleKind::Picture, FormatOf(4, 4, 32), Bytes(64), frame_),
            kNoSuchDirectory);
  EXPECT_EQ(recorder.Close(), 0u);
}

struct RefusedHeaderRow {
  std::string name;
  int width;
  int height;
  std::uint16_t bitCount;
};

class RefusedHeaderTest : public AviRecorderTest,
                          public ::testing::WithParamInterface<RefusedHeaderRow> {};

TEST_P(RefusedHeaderTest, BuildsNothing) {
  const RefusedHeaderRow& row = GetParam();
  CAviRecorder recorder(10.0, kProbeFourCC);
  recorder.Open(Path());
  BitmapFormat format = FormatOf(row.width, row.height, row.bitCount);
  EXPECT_EQ(recorder.Write(SampleKind::Picture, format, {}, 0), kResultFail);
  EXPECT_FALSE(std::filesystem::exists(Path()));
  EXPECT_TRUE(ProbeLog().Types().empty());
}

INSTANTIATE_TEST_SUITE_P(Headers, RefusedHeaderTest,
                         ::testing::Values(RefusedHeaderRow{"ZeroWidth", 0, 4, 32},
                                           RefusedHeaderRow{"NegativeWidth", -4, 4, 32},
                                           RefusedHeaderRow{"ZeroHeight", 4, 0, 32},
                                           RefusedHeaderRow{"HugeHeight", 4, 1 << 30, 32},
                                           RefusedHeaderRow{"WiderThanAnyRecording", 65536, 1, 8},
                                           RefusedHeaderRow{"OddDepth", 4, 4, 12}),
                         [](const auto& rowInfo) { return std::string(rowInfo.param.name); });

TEST_F(AviRecorderTest, TakesPicturesAsLargeAsARecordingCanBe) {
  for (const FourCC fourcc : {kProbeFourCC, kFourCCScreenCodec}) {
    for (const auto& [width, height] : {std::pair{65535, 1}, std::pair{1, 65535}}) {
      CAviRecorder recorder(10.0, fourcc);
      recorder.Open(Path());
      const BitmapFormat format = FormatOf(width, height, 8);
      EXPECT_EQ(recorder.Write(SampleKind::Picture, format, Bytes(65536 * 4), 0), 0u)
          << FourCCToText(fourcc) << " " << width << "x" << height;
      EXPECT_EQ(recorder.Close(), 0u);
    }
  }
}

// Relative output names land in the test's own directory.
class CWorkingDirectory {
 public:
  explicit CWorkingDirectory(const std::filesystem::path& path)
      : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~CWorkingDirectory() { std::filesystem::current_path(previous_); }
  CWorkingDirectory(const CWorkingDirectory&) = delete;
  CWorkingDirectory& operator=(const CWorkingDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

TEST_F(AviRecorderTest, OutputNameIsAlwaysTheFileOfThatName) {
  // Names that a URL reading would send to another file, a pipe or a socket, or refuse.
  const std::vector<std::string> names = {"file:input.rcrec",
                                          "pipe:1",
                                          "session:1.avi",
                                          "2026-12-09T10:30.avi",
                                          "tcp://127.0.0.1:9/x",
                                          "./plain.avi",
                                          dir_.File("absolute:1.avi")};
  const CWorkingDirectory inside(dir_.path());
  const std::string input = dir_.Write("input.rcrec", std::string("the recording"));
  std::filesystem::create_directories("tcp:/127.0.0.1:9");
  for (const std::string& name : names) {
    CAviRecorder recorder(10.0, kProbeFourCC);
    recorder.Open(name);
    EXPECT_EQ(recorder.Write(SampleKind::Picture, FormatOf(1, 1, 32), BytesOf("pict"), 0), 0u)
        << name;
    EXPECT_EQ(recorder.Close(), 0u) << name;
    EXPECT_EQ(testing::ReadFileBytes(name).substr(0, 4), "RIFF") << name;
  }
  EXPECT_EQ(testing::ReadFileBytes(input), "the recording");
}

TEST_F(AviRecorderTest, HeaderOfSizeZeroIsRefusedWithoutBuilding) {
  CAviRecorder recorder(10.0, kProbeFourCC);
  recorder.Open(Path());
  BitmapFormat format = FormatOf(4, 4, 32);
  BitmapInfoHeader header = format.Header();
  header.size = 0;
  format.SetHeader(header);
  EXPECT_EQ(recorder.Write(SampleKind::Picture, format, {}, 0), 1u);
  EXPECT_FALSE(std::filesystem::exists(Path()));
  // Nothing latched: a good header builds.
  EXPECT_EQ(recorder.Write(SampleKind::Picture, FormatOf(4, 4, 32), Bytes(64), 0), 0u);
}

struct FileFormatRow {
  std::string name;
  BitmapFormat first;
  std::uint32_t compression;
  std::uint32_t clrUsed;
  std::uint32_t clrImportant;
  std::uint32_t sizeImage;  // a little more than one picture
  std::array<std::uint32_t, 3> masks;
};

BitmapFormat WithTable(BitmapFormat format, std::uint32_t clrUsed) {
  BitmapInfoHeader header = format.Header();
  header.clrUsed = clrUsed;
  format.SetHeader(header);
  return format;
}

BitmapFormat With565(BitmapFormat format) {
  format.SetPictureFormat(16, kCompressionBitFields);
  format.SetMasks(kMasks565);
  return format;
}

class AviFileFormatTest : public ::testing::TestWithParam<FileFormatRow> {};

TEST_P(AviFileFormatTest, DeclaresWhatEveryReaderTakes) {
  const FileFormatRow& row = GetParam();
  const std::optional<AviFileFormat> file = AviFileFormatFor(row.first);
  ASSERT_TRUE(file);
  const BitmapInfoHeader header = file->format.Header();
  EXPECT_EQ(header.size, kBitmapInfoHeaderSize);
  EXPECT_EQ(header.compression, row.compression);
  EXPECT_EQ(header.clrUsed, row.clrUsed);
  EXPECT_EQ(header.clrImportant, row.clrImportant);
  EXPECT_EQ(header.sizeImage, row.sizeImage);
  EXPECT_EQ(file->format.Length(), kBitmapInfoHeaderSize + 4 * row.clrUsed);
  EXPECT_EQ(file->masks, row.masks);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, AviFileFormatTest,
    ::testing::Values(
        FileFormatRow{"TwentyFourBits", FormatOf(10, 2, 24), kCompressionRgb, 0, 0, 72, kMasks555},
        FileFormatRow{"BitFieldsBecomePlainWithTheirMasks", With565(FormatOf(2, 2, 16)),
                      kCompressionRgb, 0, 0xFFFFFF, 9, kMasks565},
        FileFormatRow{"TableWithoutACountIsFull", FormatOf(4, 1, 8), kCompressionRgb, 256, 0, 4,
                      kMasks555},
        FileFormatRow{"TableLongerThanTheDepthIsCut", WithTable(FormatOf(8, 1, 4), 300),
                      kCompressionRgb, 16, 0, 4, kMasks555},
        FileFormatRow{"DeepPictureHasNoTable", WithTable(FormatOf(1, 1, 32), 5), kCompressionRgb, 0,
                      0, 4, kMasks555}),
    [](const auto& rowInfo) { return std::string(rowInfo.param.name); });

TEST_F(AviRecorderTest, DepthChangeIsConvertedAndTheFileGoesOn) {
  CAviRecorder recorder(10.0, kProbeFourCC);
  recorder.Open(Path());
  Bytes first(2 * 1 * 4);
  StoreU32LE(first.data(), 0x00112233);
  ASSERT_EQ(recorder.Write(SampleKind::Picture, FormatOf(2, 1, 32), first, 0), 0u);
  BitmapFormat deeper = FormatOf(2, 1, 16);
  deeper.SetPictureFormat(16, kCompressionBitFields);
  deeper.SetMasks(kMasks565);
  const Bytes second = {0x00, 0xF8, 0x1F, 0x00};  // red, blue
  ASSERT_EQ(recorder.Write(SampleKind::Picture, deeper, second, frame_), 0u);
  // A spacer repeats the converted picture; its own bytes are neither read nor converted.
  const Bytes unread = {0xFF, 0xFF, 0xFF, 0xFF};
  ASSERT_EQ(recorder.Write(SampleKind::RepeatedPicture, deeper, unread, 2 * frame_), 0u);
  // The same depth under other masks reads by those masks, not by the ones before.
  BitmapFormat other = deeper;
  other.SetMasks(kMasks555);
  const Bytes third = {0x00, 0x7C, 0x1F, 0x00};  // red, blue
  ASSERT_EQ(recorder.Write(SampleKind::Picture, other, third, 3 * frame_), 0u);
  ASSERT_EQ(recorder.Close(), 0u);
  const auto samples = ProbeLog().Samples();
  ASSERT_EQ(samples.size(), 4u);
  EXPECT_EQ(ProbeLog().Types().size(), 1u);  // never rebuilt
  EXPECT_EQ(samples[1], (Bytes{0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0x00}));
  EXPECT_EQ(samples[2], samples[1]);
  EXPECT_EQ(samples[3], samples[1]);
}

TEST_F(AviRecorderTest, SizeChangeKeepsTheTopLeftOfThePicture) {
  CAviRecorder recorder(10.0, kProbeFourCC);
  recorder.Open(Path());
  ASSERT_EQ(recorder.Write(SampleKind::Picture, FormatOf(2, 2, 32), Bytes(16), 0), 0u);
  // 3x1, top row only: its first two pixels land in the top row (the last in memory).
  const Bytes wider = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0};
  ASSERT_EQ(recorder.Write(SampleKind::Picture, FormatOf(3, 1, 32), wider, frame_), 0u);
  // A smaller picture after it: nothing of the one before shows in the margin.
  const Bytes smaller = {9, 'a', 'b', 'c'};
  ASSERT_EQ(recorder.Write(SampleKind::Picture, FormatOf(1, 1, 32), smaller, 2 * frame_), 0u);
  ASSERT_EQ(recorder.Close(), 0u);
  const auto samples = ProbeLog().Samples();
  ASSERT_EQ(samples.size(), 3u);
  EXPECT_EQ(samples[1], (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0}));
  EXPECT_EQ(samples[2], (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 9, 'a', 'b', 0, 0, 0, 0, 0}));
}

// The streaming thread holds one picture while a second waits; a third waits inside Write until
// the thread takes the second, so no picture is dropped and none is overwritten.
TEST_F(AviRecorderTest, CopyModeWaitsForTheStreamingThreadToTakeThePictureBefore) {
  ProbeLog().Reset(/*holdAt=*/0);
  CAviRecorder recorder(10.0, kProbeFourCC);
  recorder.Open(Path());
  const BitmapFormat format = FormatOf(1, 1, 32);
  ASSERT_EQ(recorder.Write(SampleKind::Picture, format, BytesOf("pic1"), 0), 0u);
  ProbeLog().WaitForSamples(1);
  EXPECT_EQ(recorder.Write(SampleKind::Picture, format, BytesOf("pic2"), frame_), 0u);
  auto third = testing::StartBlockingCall(
      [&] { return recorder.Write(SampleKind::Picture, format, BytesOf("pic3"), 2 * frame_); });
  // Asleep while the probe still holds the first picture: the third waits, it has not returned.
  EXPECT_TRUE(third.asleep);
  EXPECT_TRUE(third.StillWaiting());
  ProbeLog().Release();
  EXPECT_EQ(third.result.get(), 0u);
  ASSERT_EQ(recorder.Close(), 0u);
  EXPECT_EQ(ProbeLog().Samples(),
            (std::vector<Bytes>{BytesOf("pic1"), BytesOf("pic2"), BytesOf("pic3")}));
}

TEST_F(AviRecorderTest, CloseDeliversTheLastPictureFirst) {
  ProbeLog().Reset(/*holdAt=*/0);
  CAviRecorder recorder(10.0, kProbeFourCC);
  recorder.Open(Path());
  const BitmapFormat format = FormatOf(1, 1, 32);
  ASSERT_EQ(recorder.Write(SampleKind::Picture, format, BytesOf("pic1"), 0), 0u);
  ProbeLog().WaitForSamples(1);
  ASSERT_EQ(recorder.Write(SampleKind::Picture, format, BytesOf("last"), frame_), 0u);
  auto closed = std::async(std::launch::async, [&] { return recorder.Close(); });
  ProbeLog().Release();
  EXPECT_EQ(closed.get(), 0u);
  const auto samples = ProbeLog().Samples();
  ASSERT_EQ(samples.size(), 2u);
  EXPECT_EQ(samples[1], BytesOf("last"));
  EXPECT_EQ(recorder.Close(), 0u);  // twice is harmless
  EXPECT_EQ(recorder.Write(SampleKind::Picture, format, BytesOf("late"), 2 * frame_), 1u);
}

TEST_F(AviRecorderTest, PassThroughWaitsOutAWriteThatStallsForSeconds) {
  // A slow disk holds the streaming thread in one write for longer than any fixed hand-over
  // limit; the bundle behind it, too large to be copied into a batch and so borrowed, must still
  // go into the file.
  ProbeLog().Reset(/*holdAt=*/0);
  CAviRecorder recorder(30.0, kFourCCScreenCodec);
  recorder.Open(Path());
  const BitmapFormat format = FormatOf(4, 4, 32);
  const Bytes second(CFrameBatch::kLargestFrame + 1, 't');
  ASSERT_EQ(recorder.Write(SampleKind::KeyBundle, format, BytesOf("one"), 0), 0u);
  auto handedOver = testing::StartBlockingCall(
      [&] { return recorder.Write(SampleKind::Bundle, format, second, 333'333); });
  ProbeLog().WaitForSamples(1);
  EXPECT_TRUE(handedOver.asleep);
  // No event tells when a hand-over limit would have run out, so the test outlasts the two
  // seconds one used to be, counted from when the writer waits: load only lengthens the wait, and
  // a writer still waiting at its end is what passes.
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  EXPECT_TRUE(handedOver.StillWaiting());
  ProbeLog().Release();
  EXPECT_EQ(handedOver.result.get(), 0u);
  ASSERT_EQ(recorder.Close(), 0u);
  Bytes tagged = BytesOf("BNDL");
  tagged.insert(tagged.end(), second.begin(), second.end());
  EXPECT_EQ(ProbeLog().Samples(), (std::vector<Bytes>{BytesOf("KBNDone"), tagged}));
}

// Pass-through frames go downstream in batches, so a failure reaches the caller some frames
// later; from then on every Write reports it, Close too, and no frame is lost on the way.
TEST_F(AviRecorderTest, DownstreamFailureIsReportedFromThenOn) {
  constexpr std::size_t kFrames = 4 * CFrameBatch::kFrames;
  ProbeLog().Reset(SIZE_MAX, /*failAt=*/0);
  CAviRecorder recorder(30.0, kFourCCScreenCodec);
  recorder.Open(Path());
  const BitmapFormat format = FormatOf(4, 4, 32);
  std::size_t firstReport = kFrames;
  for (std::size_t i = 0; i < kFrames; ++i) {
    const SampleKind kind = i % 2 == 0 ? SampleKind::Bundle : SampleKind::Spacer;
    const std::uint32_t result =
        recorder.Write(kind, format, BytesOf("b"), static_cast<Time>(i) * 333'333);
    if (firstReport == kFrames && result != 0) {
      firstReport = i;
    }
    if (firstReport <= i) {
      ASSERT_EQ(result, kResultFail) << i;
    }
  }
  EXPECT_LT(firstReport, kFrames);
  EXPECT_EQ(recorder.Close(), kResultFail);
  EXPECT_EQ(ProbeLog().Samples().size(), kFrames);
}

TEST_F(AviRecorderTest, RecorderWithoutFramesWritesNothing) {
  {
    CAviRecorder recorder(10.0, kProbeFourCC);
    recorder.Open(Path());
  }
  EXPECT_FALSE(std::filesystem::exists(Path()));
  EXPECT_TRUE(ProbeLog().Types().empty());
}

}  // namespace
}  // namespace reelkit
