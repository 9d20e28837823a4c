// The whole program on inputs it must recognise or refuse, checked byte for byte.
#include <gtest/gtest.h>
#include <cerrno>

#include <cstring>
#include <filesystem>

#include "common/byte_block.h"
#include "common/endian.h"
#include "tests/testing/process.h"
#include "tests/testing/temp_dir.h"

namespace reelkit {
namespace {

using testing::ReadFileBytes;
using testing::RunProcess;
using testing::TempDir;

// A raw recording header for a small 32-bit screen, with no records yet.
ByteBlock RecordingHeader() {
  ByteBlock bytes;
  bytes.AppendU32LE(0xDE33BA22);
  bytes.AppendU32LE(0);
  bytes.AppendU32LE(40);
  const std::size_t header = bytes.size();
  bytes.Resize(header + 40);
  StoreU32LE(bytes.data() + header, 40);
  StoreU32LE(bytes.data() + header + 4, 16);
  StoreU32LE(bytes.data() + header + 8, 16);
  StoreU16LE(bytes.data() + header + 12, 1);
  StoreU16LE(bytes.data() + header + 14, 32);
  // Detection reads 128 bytes: one empty record takes the file past that.
  for (int i = 0; i < 4; ++i) {
    bytes.AppendU32LE(0x534F504D);  // "MPOS"
    bytes.AppendU32LE(0);
    bytes.AppendU32LE(0);
    bytes.AppendU32LE(0);
    bytes.AppendU32LE(0);
  }
  return bytes;
}

TEST(ConvertFileThroughBinary, RawRecordingNamedAviIsRecognisedByContent) {
  TempDir dir;
  const std::string input = dir.Write("recording.avi", RecordingHeader().span());
  const auto result = RunProcess({REELKIT_BINARY, "-in", input, "-out", dir.File("out.avi")});
  EXPECT_EQ(result.output, input +
                               "\nDone.\nRecorded 1 video frames from 4 input packets, total video "
                               "length is 0 seconds\n");
  EXPECT_EQ(result.exitStatus, 0);
}

TEST(ConvertFileThroughBinary, ContinuationFormWithScreenCodecIsDetectedButHasNoMovi) {
  std::vector<std::uint8_t> bytes(256, 0);
  std::memcpy(bytes.data(), "RIFF", 4);
  StoreU32LE(bytes.data() + 4, 248);
  std::memcpy(bytes.data() + 8, "AVIX", 4);
  std::memcpy(bytes.data() + 112, "VQSC", 4);
  TempDir dir;
  const std::string input = dir.Write("in.avi", bytes);
  const auto result = RunProcess({REELKIT_BINARY, "-in", input, "-out", dir.File("out.avi")});
  // The path shows detection accepted it; the job then finds no 'movi' list.
  EXPECT_EQ(result.output, input + "\nInvalid input file format.\n");
  EXPECT_EQ(result.exitStatus, 1);
}

TEST(ConvertFileThroughBinary, OutputNamingTheInputIsRefusedBeforeAnythingIsWritten) {
  TempDir dir;
  const ByteBlock recording = RecordingHeader();
  const std::string input = dir.Write("in.rcrec", recording.span());
  std::filesystem::create_symlink(input, dir.File("alias.avi"));
  for (const std::string& output :
       {input, dir.File("alias.avi"), dir.path().string() + "/./in.rcrec"}) {
    const auto result = RunProcess({REELKIT_BINARY, "-in", input, "-out", output});
    EXPECT_EQ(result.output,
              "The output file is the input file itself; choose another output file name.\n");
    EXPECT_EQ(result.exitStatus, 1);
  }
  EXPECT_EQ(ReadFileBytes(input).size(), recording.size());
}

TEST(ConvertFileThroughBinary, TruncatedRecordEndsWithEndOfFileMessage) {
  TempDir dir;
  ByteBlock recording = RecordingHeader();
  recording.Resize(recording.size() - 3);
  const std::string input = dir.Write("in.rcrec", recording.span());
  const auto result = RunProcess({REELKIT_BINARY, "-in", input, "-out", dir.File("out.avi")});
  EXPECT_EQ(result.output,
            input + "\nInvalid input file. End of file has been reached unexpectedly.\n");
  EXPECT_EQ(result.exitStatus, 1);
}

TEST(ConvertFileThroughBinary, BadFormatBlockIsInvalidData) {
  TempDir dir;
  ByteBlock recording = RecordingHeader();
  StoreU32LE(recording.data() + 8, 39);
  const std::string input = dir.Write("in.rcrec", recording.span());
  const auto result = RunProcess({REELKIT_BINARY, "-in", input, "-out", dir.File("out.avi")});
  EXPECT_EQ(result.output, input + "\nError 0x0000000d while reading input file.\n");
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.avi")));
}

TEST(ConvertFileThroughBinary, MissingInputIsAnInvalidInput) {
  TempDir dir;
  const auto result =
      RunProcess({REELKIT_BINARY, "-in", dir.File("none.rcrec"), "-out", dir.File("out.avi")});
  EXPECT_EQ(result.output, "Invalid input file format.\n");
  EXPECT_EQ(result.exitStatus, 1);
}

}  // namespace
}  // namespace reelkit
