#include "engine/convert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/endian.h"
#include "tests/testing/process.h"
#include "tests/testing/temp_dir.h"

namespace reelkit {
namespace {

using testing::RunProcess;
using testing::TempDir;

std::vector<std::uint8_t> RawRecordingPrefix(std::uint32_t version, std::size_t size = 128) {
  std::vector<std::uint8_t> bytes(size, 0);
  StoreU32LE(bytes.data(), 0xDE33BA22);
  StoreU32LE(bytes.data() + 4, version);
  return bytes;
}

std::vector<std::uint8_t> AviPrefix(const char* form, const char* handler) {
  std::vector<std::uint8_t> bytes(128, 0);
  std::memcpy(bytes.data(), "RIFF", 4);
  std::memcpy(bytes.data() + 8, form, 4);
  std::memcpy(bytes.data() + 112, handler, 4);
  return bytes;
}

struct DetectionCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
  bool recognised;
  InputKind kind;
};

// Names the row instead of dumping its bytes in test listings.
void PrintTo(const DetectionCase& row, std::ostream* out) {
  *out << row.name;
}

class DetectInputKindCases : public ::testing::TestWithParam<DetectionCase> {};

TEST_P(DetectInputKindCases, ClassifiesByContent) {
  const DetectionCase& c = GetParam();
  TempDir dir;
  const std::string path = dir.Write("input.avi", c.bytes);
  InputKind kind = static_cast<InputKind>(-1);
  EXPECT_EQ(DetectInputKind(path, kind), c.recognised);
  if (c.recognised) {
    EXPECT_EQ(kind, c.kind);
  }
}

std::vector<DetectionCase> DetectionCases() {
  return {
      DetectionCase{"RawVersion0", RawRecordingPrefix(0), true, InputKind::RawRecording},
      DetectionCase{"RawVersion1", RawRecordingPrefix(1), true, InputKind::RawRecording},
      DetectionCase{"RawVersion2", RawRecordingPrefix(2), false, {}},
      DetectionCase{"Raw127Bytes", RawRecordingPrefix(0, 127), false, {}},
      DetectionCase{"Empty", {}, false, {}},
      DetectionCase{"AviScreenCodec", AviPrefix("AVI ", "VQSC"), true,
                    InputKind::AviWithScreenCodec},
      DetectionCase{"AvixScreenCodec", AviPrefix("AVIX", "VQSC"), true,
                    InputKind::AviWithScreenCodec},
      DetectionCase{"AviOtherHandler", AviPrefix("AVI ", "mrle"), false, {}},
      DetectionCase{"WaveForm", AviPrefix("WAVE", "VQSC"), false, {}}};
}

INSTANTIATE_TEST_SUITE_P(Prefixes, DetectInputKindCases, ::testing::ValuesIn(DetectionCases()),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(DetectInputKind, MissingFileIsNotRecognised) {
  InputKind kind{};
  EXPECT_FALSE(DetectInputKind("/nonexistent/input.rcrec", kind));
}

// The binary reports unrecognised inputs with the console's fixed text and fails.
class UnrecognisedInputThroughBinary : public ::testing::TestWithParam<DetectionCase> {};

TEST_P(UnrecognisedInputThroughBinary, PrintsInvalidInputFileFormat) {
  TempDir dir;
  const std::string path = dir.Write("input.rcrec", GetParam().bytes);
  const auto result = RunProcess({REELKIT_BINARY, "-in", path, "-out", dir.File("out.avi")});
  EXPECT_EQ(result.output, "Invalid input file format.\n");
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.avi")));
}

INSTANTIATE_TEST_SUITE_P(
    Prefixes, UnrecognisedInputThroughBinary,
    ::testing::Values(DetectionCase{"Raw127Bytes", RawRecordingPrefix(0, 127), false, {}},
                      DetectionCase{"Empty", {}, false, {}},
                      DetectionCase{"RawVersion2", RawRecordingPrefix(2), false, {}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(UnrecognisedInputThroughBinary, QuotedPathKeepsItsQuotes) {
  TempDir dir;
  dir.Write("in.rcrec", RawRecordingPrefix(0));
  const auto result = RunProcess(
      {REELKIT_BINARY, "-in", "\"" + dir.File("in.rcrec") + "\"", "-out", dir.File("o.avi")});
  EXPECT_EQ(result.output, "Invalid input file format.\n");
}

// "-probe" must pick exactly the files a conversion accepts: every row of the table at once, under
// names that say nothing, a blank-only name and a missing file among them, one line each in order.
TEST(ProbeThroughBinary, ClassifiesEachFileAsTheConverterDoes) {
  TempDir dir;
  std::vector<std::string> argv = {REELKIT_BINARY, "-probe"};
  std::string expected;
  for (const DetectionCase& c : DetectionCases()) {
    argv.push_back(dir.Write(std::string(c.name) + ".txt", c.bytes));
    if (!c.recognised) {
      expected += "not a recording\n";
    } else if (c.kind == InputKind::RawRecording) {
      expected += "raw recording\n";
    } else {
      expected += "screen-stream AVI\n";
    }
  }
  argv.push_back(dir.Write("   ", RawRecordingPrefix(1)));
  argv.push_back(dir.File("missing.rcrec"));
  expected += "raw recording\nnot a recording\n";
  const auto result = RunProcess(argv);
  EXPECT_EQ(result.output, expected);
  EXPECT_EQ(result.exitStatus, 1);
}

TEST(ProbeThroughBinary, SucceedsOnlyWhenEveryFileIsARecording) {
  TempDir dir;
  const std::string raw = dir.Write("call7", RawRecordingPrefix(0));
  const std::string avi = dir.Write("call7.avi", AviPrefix("AVI ", "VQSC"));
  const auto both = RunProcess({REELKIT_BINARY, "-probe", raw, avi});
  EXPECT_EQ(both.output, "raw recording\nscreen-stream AVI\n");
  EXPECT_EQ(both.exitStatus, 0);
  const auto none = RunProcess({REELKIT_BINARY, "-probe"});
  EXPECT_NE(none.output.find("-probe <filename>..."), std::string::npos) << none.output;
  EXPECT_EQ(none.exitStatus, 2);
}

}  // namespace
}  // namespace reelkit
