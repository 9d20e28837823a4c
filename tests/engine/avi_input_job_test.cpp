#include "engine/avi_input_job.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/conversion_failure.h"
#include "tests/engine/engine_doubles.h"
#include "tests/testing/temp_dir.h"

namespace reelkit {
namespace {

using testing::ClientLog;
using testing::FactoryFor;
using testing::FormatAnnouncement;
using testing::RecorderScript;
using testing::TempDir;

// Builds RIFF structures from their layout: chunks and lists, padded to even sizes.
class Riff {
 public:
  Riff& Chunk(const char* id, std::span<const std::uint8_t> data) {
    bytes_.AppendU32LE(FourCCFromText(id));
    bytes_.AppendU32LE(static_cast<std::uint32_t>(data.size()));
    bytes_.Append(data);
    if (data.size() % 2 != 0) {
      bytes_.AppendU32LE(0);
      bytes_.Resize(bytes_.size() - 3);
    }
    return *this;
  }
  Riff& List(const char* type, const char* form, const Riff& content) {
    bytes_.AppendU32LE(FourCCFromText(type));
    bytes_.AppendU32LE(static_cast<std::uint32_t>(content.bytes_.size() + 4));
    bytes_.AppendU32LE(FourCCFromText(form));
    bytes_.Append(content.bytes_.span());
    return *this;
  }
  const ByteBlock& bytes() const { return bytes_; }

 private:
  ByteBlock bytes_;
};

std::vector<std::uint8_t> KeyBundle(std::int32_t width = 4) {
  const auto fint = FormatAnnouncement(width, 4);
  ByteBlock block;
  block.AppendU32LE(FourCCFromText("KBND"));
  block.AppendU32LE(FourCCFromText("FINT"));
  block.AppendU32LE(static_cast<std::uint32_t>(fint.size()));
  block.Append(fint);
  return {block.span().begin(), block.span().end()};
}

std::vector<std::uint8_t> Bundle(std::size_t size = 4, const char* tag = "BNDL") {
  std::vector<std::uint8_t> bytes(size, 0);
  std::memcpy(bytes.data(), tag, 4);
  return bytes;
}

Riff HeaderList() {
  const std::vector<std::uint8_t> avih(56, 0);
  return Riff().List("LIST", "hdrl", Riff().Chunk("avih", avih));
}

ByteBlock Avi(const Riff& movi, bool junkBeforeMovi = true) {
  Riff body = HeaderList();
  if (junkBeforeMovi) {
    body.Chunk("JUNK", std::vector<std::uint8_t>(1016, 0));
  }
  body.List("LIST", "movi", movi);
  body.Chunk("idx1", std::vector<std::uint8_t>(16, 0));
  return Riff().List("RIFF", "AVI ", body).bytes();
}

struct JobRun {
  bool result = false;
  ClientLog client;
  RecorderScript recorder;
};

JobRun Convert(const ByteBlock& avi, OutputFormat format = OutputFormat::ScreenCodec) {
  JobRun run;
  TempDir dir;
  const std::string input = dir.Write("in.avi", avi.span());
  CAviInputJob job(FactoryFor(run.recorder));
  // Logged as ConvertFile would report it.
  try {
    run.result = job.Execute(input, dir.File("out.avi"), format, run.client);
  } catch (const CReelkitException& failure) {
    run.client.OnError(failure.Failure());
  }
  return run;
}

Riff KeyThenBundles(std::size_t bundles) {
  Riff movi;
  movi.Chunk("00dc", KeyBundle());
  for (std::size_t i = 0; i < bundles; ++i) {
    movi.Chunk("00dc", Bundle());
  }
  return movi;
}

TEST(AviInputJob, FindsMoviBehindJunkAndTakesEveryDataChunk) {
  Riff movi = KeyThenBundles(0);
  movi.Chunk("00db", Bundle()).Chunk("01dc", Bundle()).Chunk("01wb", Bundle(7));
  const JobRun run = Convert(Avi(movi));
  ASSERT_TRUE(run.result);
  EXPECT_EQ(run.client.calls.back(), "finish 3 3 1 0 0");
  EXPECT_EQ(run.client.progress.back(), 100.0);
}

TEST(AviInputJob, FindsMoviWithoutJunkToo) {
  const JobRun run = Convert(Avi(KeyThenBundles(2), false));
  EXPECT_TRUE(run.result);
  EXPECT_EQ(run.client.calls.back(), "finish 3 3 1 0 0");
}

TEST(AviInputJob, RecListsAreSkippedWhole) {
  Riff movi = KeyThenBundles(0);
  movi.List("LIST", "rec ", Riff().Chunk("00dc", Bundle()).Chunk("00dc", Bundle()));
  const JobRun run = Convert(Avi(movi));
  EXPECT_EQ(run.client.calls.back(), "finish 1 1 1 0 0");
}

TEST(AviInputJob, PassesEveryChunkThroughUnderItsTagAtItsOwnTime) {
  Riff movi = KeyThenBundles(1);
  movi.Chunk("00dc", Bundle(101)).Chunk("00dc", Bundle(6, "EMPT")).Chunk("00dc", Bundle(8, "SAMP"));
  const JobRun run = Convert(Avi(movi));
  const auto& frames = run.recorder.frames;
  ASSERT_EQ(frames.size(), 5u);
  const auto key = KeyBundle();
  // The odd chunk goes out without its pad byte; what no decoder reads goes out as a spacer.
  const std::vector<std::pair<SampleKind, std::size_t>> expected = {
      {SampleKind::KeyBundle, key.size() - 4},
      {SampleKind::Bundle, 0},
      {SampleKind::Bundle, 97},
      {SampleKind::Spacer, 0},
      {SampleKind::Spacer, 0}};
  for (std::size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].time, static_cast<Time>(i) * 333'333) << i;
    EXPECT_EQ(frames[i].kind, expected[i].first) << i;
    EXPECT_EQ(frames[i].packet.size(), expected[i].second) << i;
  }
  EXPECT_EQ(frames[0].packet, std::vector<std::uint8_t>(key.begin() + 4, key.end()));
  EXPECT_EQ(run.client.calls.back(), "finish 5 5 1 0 0");
}

TEST(AviInputJob, PicturesAreTakenEveryThirdChunkAndTheLastIsKept) {
  // At 10 per second the first four chunks make no picture, then every third does (the fifth,
  // eighth, eleventh); chunks after the last of those make one more picture at the end.
  for (const std::size_t chunks : {11u, 12u}) {
    const JobRun run = Convert(Avi(KeyThenBundles(chunks - 1)), OutputFormat::MicrosoftRle);
    ASSERT_EQ(run.recorder.frames.size(), chunks - 8) << chunks;
    EXPECT_EQ(run.recorder.frames.back().time, static_cast<Time>(chunks - 9) * 1'000'000);
  }
}

TEST(AviInputJob, PassThroughRefusesAStreamFormatOfNoPicture) {
  EXPECT_EQ(Convert(Avi(Riff().Chunk("00dc", KeyBundle(0)))).client.calls.back(), "error 3 13");
}

TEST(AviInputJob, OddChunkIsDecodedWithItsPadByte) {
  Riff movi = KeyThenBundles(0);
  movi.Chunk("00dc", Bundle(101)).Chunk("00dc", Bundle()).Chunk("00dc", Bundle());
  const JobRun run = Convert(Avi(movi), OutputFormat::MicrosoftRle);
  ASSERT_TRUE(run.result);
  EXPECT_EQ(run.client.calls.back(), "finish 4 1 1 0 0");
}

struct FirstChunkCase {
  const char* name;
  std::vector<std::uint8_t> chunk;
};

void PrintTo(const FirstChunkCase& row, std::ostream* out) {
  *out << row.name;
}

std::vector<std::uint8_t> KeyBundleOpeningWith(const char* fourcc) {
  auto chunk = KeyBundle();
  std::memcpy(chunk.data() + 4, fourcc, 4);
  return chunk;
}

std::vector<std::uint8_t> ShortKeyBundle() {
  auto chunk = KeyBundle();
  chunk.resize(82);  // an 83-byte chunk is read with its pad byte as 84
  return chunk;
}

class AviInputFirstChunk : public ::testing::TestWithParam<FirstChunkCase> {};

TEST_P(AviInputFirstChunk, IsRefusedAsInvalidInput) {
  const JobRun run = Convert(Avi(Riff().Chunk("00dc", GetParam().chunk)));
  EXPECT_FALSE(run.result);
  EXPECT_EQ(run.client.calls.back(), "error 0 0");
}

INSTANTIATE_TEST_SUITE_P(BadStarts, AviInputFirstChunk,
                         ::testing::Values(FirstChunkCase{"PlainBundle", Bundle(100)},
                                           FirstChunkCase{"KeyBundleWithoutFormat",
                                                          KeyBundleOpeningWith("KFRM")},
                                           FirstChunkCase{"ShortKeyBundle", ShortKeyBundle()}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(AviInputJob, ZeroSizedChunkIsInvalidInput) {
  Riff movi = KeyThenBundles(1);
  movi.Chunk("00dc", {});
  const JobRun run = Convert(Avi(movi));
  EXPECT_FALSE(run.result);
  EXPECT_EQ(run.client.calls.back(), "error 0 0");
}

TEST(AviInputJob, MissingMoviIsReportedAsInvalidInput) {
  const ByteBlock avi = Riff().List("RIFF", "AVI ", HeaderList()).bytes();
  const JobRun run = Convert(avi);
  EXPECT_FALSE(run.result);
  EXPECT_EQ(run.client.calls.back(), "error 0 0");
  EXPECT_TRUE(run.recorder.frames.empty());
}

TEST(AviInputJob, ContinuationRiffListsAreReadAsPartOfTheStream) {
  ByteBlock avi = Avi(KeyThenBundles(2));
  const ByteBlock more =
      Riff()
          .List("RIFF", "AVIX",
                Riff().List("LIST", "movi", KeyThenBundles(0).Chunk("00dc", Bundle())))
          .bytes();
  avi.Append(more.span());
  const JobRun run = Convert(avi);
  ASSERT_TRUE(run.result);
  EXPECT_EQ(run.client.calls.back(), "finish 5 5 2 0 0");
}

TEST(AviInputJob, OversizedChunkIsInvalidData) {
  Riff movi = KeyThenBundles(0);
  ByteBlock avi = Avi(movi);
  movi.Chunk("00dc", Bundle());
  avi = Avi(movi);
  // Patch the last data chunk's size past the bound; its bytes are never read.
  const std::size_t idxAndChunkTail = 8 + 16 + 4;
  StoreU32LE(avi.data() + avi.size() - idxAndChunkTail - 4, (256u << 20) + 2);
  EXPECT_EQ(Convert(avi).client.calls.back(), "error 3 13");
}

}  // namespace
}  // namespace reelkit
