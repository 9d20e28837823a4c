// What one conversion may take from the machine, checked by running the program under an
// address-space limit: hostile lengths are refused before anything is allocated for them, and the
// largest picture the decoder accepts converts within a fixed budget.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/endian.h"
#include "tests/testing/process.h"
#include "tests/testing/temp_dir.h"
#include "tools/recording_writer/recording_writer.h"

#if defined(__SANITIZE_ADDRESS__)
#define REELKIT_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define REELKIT_UNDER_ASAN 1
#endif
#endif

namespace reelkit {
namespace {

using namespace recording;
using testing::ProcessResult;
using testing::RunProcess;
using testing::TempDir;
using Bytes = std::vector<std::uint8_t>;

constexpr Time kStart = 10'000'000;
constexpr std::uint64_t kMebibyte = 1 << 20;

// Runs the program with its address space limited to limitBytes.
ProcessResult ConvertWithin(std::uint64_t limitBytes, const std::string& input,
                            const std::string& output, const char* fourcc = "MSVC") {
  const std::string limit = std::to_string(limitBytes / 1024);
  return RunProcess({"/bin/sh", "-c", "ulimit -v " + limit + " && exec \"$0\" \"$@\"",
                     REELKIT_BINARY, "-in", input, "-out", output, "-fourcc", fourcc});
}

class ResourceBounds : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef REELKIT_UNDER_ASAN
    GTEST_SKIP() << "the sanitizer's shadow memory does not fit under an address-space limit";
#endif
  }
};

Bytes SmallRecording() {
  CRecordingWriter writer(MakeStreamFormat(32, 16, PixelLayout::Rgb32));
  writer.WriteInit(kStart, &writer.Model().NativeFormat());
  writer.WriteKeyFrame(kStart, Bytes(32 * 16 * 4, 0x40));
  writer.WriteCursorPosition(kStart + 1'000'000, 3, 4);
  const ByteBlock& bytes = writer.Bytes();
  return Bytes(bytes.data(), bytes.data() + bytes.size());
}

// The whole program with its libraries, threads and a small picture (it needs under 200 MiB):
// the room every conversion needs before the input asks for anything. A block of 256 MiB does
// not fit in beside it.
constexpr std::uint64_t kSmallConversionBudget = 384 * kMebibyte;

TEST_F(ResourceBounds, SmallConversionFitsItsBudget) {
  TempDir dir;
  const std::string input = dir.Write("in.rcrec", SmallRecording());
  const auto run = ConvertWithin(kSmallConversionBudget, input, dir.File("out.avi"));
  EXPECT_EQ(run.output, input +
                            "\nDone.\nRecorded 2 video frames from 3 input packets, total "
                            "video length is 0 seconds\n");
  EXPECT_EQ(run.exitStatus, 0);
}

// A length at its bound (256 MiB) in a small file must be found to pass the end of the file
// before a block of that size is made: the budget leaves no room for one.
TEST_F(ResourceBounds, LengthsPastTheEndAreRefusedBeforeAnythingIsAllocatedForThem) {
  Bytes recording = SmallRecording();
  const std::size_t lastRecord = recording.size() - 20 - 16;  // MPOS: 16 bytes of head
  StoreU32LE(recording.data() + lastRecord + 12, 256u << 20);
  TempDir dir;
  const std::string input = dir.Write("in.rcrec", recording);
  const auto run = ConvertWithin(kSmallConversionBudget, input, dir.File("out.avi"));
  EXPECT_EQ(run.output,
            input + "\nInvalid input file. End of file has been reached unexpectedly.\n");
  EXPECT_EQ(run.exitStatus, 1);
}

// The largest native picture the decoder holds (2^26 pixels) at 32 bits, with every kind of
// screen change, converted to both decoded formats. The decoder keeps four buffers of 4 bytes per
// pixel (1 GiB), the job one 32-bit picture (256 MiB), the recorder its copy and the encoder its
// own pictures: about 2.7 GB at the peak, for Microsoft RLE.
constexpr int kLargestSide = 8192;
constexpr std::uint64_t kLargestConversionBudget = 3 * 1024 * kMebibyte;

Bytes LargestRecording() {
  WriterOptions fast;
  fast.zlibLevel = 1;
  CRecordingWriter writer(MakeStreamFormat(kLargestSide, kLargestSide, PixelLayout::Rgb32), fast);
  const std::size_t frameBytes = std::size_t{kLargestSide} * kLargestSide * 4;
  Bytes image(frameBytes, 0x20);
  writer.WriteInit(kStart, &writer.Model().NativeFormat());
  writer.WriteKeyFrame(kStart, image);
  std::vector<std::uint32_t> arrow(16 * 16, 0xFFFFFFFF);
  writer.WriteCursorShape(kStart, CursorShape::FromArgb(arrow, 16, 16, 0, 0));
  writer.WriteCursorPosition(kStart, 4000, 4000);
  for (std::size_t y = 100; y < 140; ++y) {  // screen rows; stored bottom-up
    const std::size_t row = kLargestSide - 1 - y;
    std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(row * kLargestSide * 4 + 400), 4000,
                std::uint8_t{0xC0});
  }
  writer.WriteDeltaRect(kStart + 1'000'000, {100, 100, 1000, 40}, image);
  const std::vector<MoveOperation> moves{{MoveKind::Copy, {0, 0, 2000, 1000}, 10, 20, 0},
                                         {MoveKind::Fill, {50, 50, 300, 300}, 0, 0, 0x123456},
                                         {MoveKind::Save, {0, 0, 64, 64}, 0, 0, 0}};
  writer.WriteMoves(kStart + 2'000'000, moves);
  writer.WriteCursorPosition(kStart + 2'000'000, 8190, 8190);
  const ByteBlock& bytes = writer.Bytes();
  return Bytes(bytes.data(), bytes.data() + bytes.size());
}

TEST_F(ResourceBounds, LargestDecodablePictureConvertsWithinItsBudget) {
  TempDir dir;
  const std::string input = dir.Write("in.rcrec", LargestRecording());
  for (const char* fourcc : {"MSVC", "MRLE"}) {
    const auto run = ConvertWithin(kLargestConversionBudget, input, dir.File("out.avi"), fourcc);
    EXPECT_NE(run.output.find("\nDone.\nRecorded "), std::string::npos) << fourcc << run.output;
    EXPECT_EQ(run.exitStatus, 0) << fourcc;
  }
}

}  // namespace
}  // namespace reelkit
