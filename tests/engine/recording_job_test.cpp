#include "engine/recording_job.h"

#include <gtest/gtest.h>

#include "common/conversion_failure.h"
#include "tests/engine/engine_doubles.h"
#include "tests/testing/temp_dir.h"

namespace reelkit {
namespace {

using testing::ClientLog;
using testing::FactoryFor;
using testing::FormatAnnouncement;
using testing::RawRecordingBytes;
using testing::RecorderScript;
using testing::TempDir;

constexpr Time T = 5'000'000'000;
constexpr Time D30 = 333'333;
constexpr SampleKind kBndl = SampleKind::Bundle;
constexpr SampleKind kKbnd = SampleKind::KeyBundle;
constexpr SampleKind kEmpt = SampleKind::Spacer;

std::vector<std::uint8_t> Bytes(std::initializer_list<std::uint8_t> list) {
  return list;
}

// The sub-packet a record becomes inside a bundle: FourCC, size, second block, first block.
std::vector<std::uint8_t> SubPacket(const char* fourcc, std::vector<std::uint8_t> first,
                                    std::vector<std::uint8_t> second) {
  ByteBlock block;
  block.AppendU32LE(FourCCFromText(fourcc));
  block.AppendU32LE(static_cast<std::uint32_t>(first.size() + second.size()));
  block.Append(second);
  block.Append(first);
  return {block.span().begin(), block.span().end()};
}

std::vector<std::uint8_t> Concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> all;
  for (const auto& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

struct JobRun {
  bool result = false;
  ClientLog client;
  RecorderScript recorder;
};

void Convert(const RawRecordingBytes& recording, OutputFormat format, JobRun& run) {
  TempDir dir;
  const std::string input = dir.Write("in.rcrec", recording.bytes.span());
  CRecordingJob job(FactoryFor(run.recorder));
  run.result = job.Execute(input, dir.File("out.avi"), format, run.client);
}

TEST(RecordingJob, PassThroughWorkedExample) {
  RawRecordingBytes recording(8, 8, 32);
  recording.Record("INIT", T + 0, Bytes({1}), Bytes({2, 3}))
      .Record("MOUS", T + 10'000, Bytes({4}))
      .Record("KFRM", T + 20'000, Bytes({5}), Bytes({6}))
      .Record("DLTA", T + 200'000)
      .Record("MPOS", T + 300'000, {}, Bytes({7}))
      .Record("DLTA", T + 400'000, Bytes({8}))
      .Record("DLTA", T + 1'500'000, Bytes({9}))
      .Record("INIT", T + 1'600'000, Bytes({10}));
  JobRun run;
  Convert(recording, OutputFormat::ScreenCodec, run);

  ASSERT_TRUE(run.result);
  EXPECT_EQ(run.recorder.framesPerSecond, 30.0);
  EXPECT_EQ(run.recorder.fourcc, kFourCCScreenCodec);
  const auto& frames = run.recorder.frames;
  ASSERT_EQ(frames.size(), 6u);
  const std::vector<std::pair<SampleKind, Time>> expected = {
      {kKbnd, T},           {kBndl, T + D30},     {kKbnd, T + 2 * D30},
      {kEmpt, T + 3 * D30}, {kBndl, T + 4 * D30}, {kBndl, T + 5 * D30}};
  for (std::size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].kind, expected[i].first) << i;
    EXPECT_EQ(frames[i].time, expected[i].second) << i;
  }
  // The first INIT travels as a FINT, one that announces the stream's format, since its own
  // payload announces none; the second stays INIT.
  EXPECT_EQ(frames[0].packet, SubPacket("FINT", FormatAnnouncement(8, 8), {}));
  EXPECT_EQ(frames[1].packet, SubPacket("MOUS", {4}, {}));
  EXPECT_EQ(frames[2].packet, Concat({SubPacket("KFRM", {5}, {6}), SubPacket("DLTA", {}, {}),
                                      SubPacket("MPOS", {}, {7}), SubPacket("DLTA", {8}, {})}));
  EXPECT_TRUE(frames[3].packet.empty());
  EXPECT_EQ(frames[4].packet, SubPacket("DLTA", {9}, {}));
  EXPECT_EQ(frames[5].packet, SubPacket("INIT", {10}, {}));
  EXPECT_EQ(run.client.calls.back(), "finish 8 6 1 1 0");
  EXPECT_TRUE(run.recorder.closed);
}

// Readers take the stream's format from the FINT that opens a pass-through file.
TEST(RecordingJob, FirstSampleOpensWithAFormatAnnouncement) {
  const auto firstSample = [](const char* fourcc, std::vector<std::uint8_t> payload) {
    RawRecordingBytes recording(8, 8, 32);
    recording.Record(fourcc, T, std::move(payload));
    JobRun run;
    Convert(recording, OutputFormat::ScreenCodec, run);
    return run.recorder.frames.at(0);
  };
  const auto cursorFirst = firstSample("MOUS", {6});
  EXPECT_EQ(cursorFirst.kind, kKbnd);
  EXPECT_EQ(cursorFirst.packet,
            Concat({SubPacket("FINT", FormatAnnouncement(8, 8), {}), SubPacket("MOUS", {6}, {})}));
  EXPECT_THROW(firstSample("FINT", FormatAnnouncement(0, 4)), CReelkitException);
}

TEST(RecordingJob, ReportsStartProgressAndFinishInOrder) {
  RawRecordingBytes recording(8, 8, 32);
  recording.Record("MOUS", T).Record("MOUS", T + 1);
  JobRun run;
  Convert(recording, OutputFormat::ScreenCodec, run);
  ASSERT_EQ(run.client.calls.size(), 2u);
  EXPECT_EQ(run.client.calls[0].rfind("start ", 0), 0u);
  ASSERT_EQ(run.client.progress.size(), 3u);
  EXPECT_EQ(run.client.progress.front(), 0.0);
  EXPECT_EQ(run.client.progress.back(), 100.0);
  EXPECT_LT(run.client.progress[1], 100.0);
}

struct SpacerCase {
  const char* name;
  Time offsetTenths;  // the second bundle's start after the next frame time F, in tenths of D
  std::size_t spacers;
};

void PrintTo(const SpacerCase& row, std::ostream* out) {
  *out << row.name;
}

class RecordingJobSpacers : public ::testing::TestWithParam<SpacerCase> {};

// The first bundle is written at T, so the next frame time F is T + D when the second flushes.
TEST_P(RecordingJobSpacers, FillWholeSkippedIntervals) {
  constexpr Time D = 1'000'000;
  const SpacerCase& c = GetParam();
  RawRecordingBytes recording(8, 8, 32);
  recording.Record("MOUS", T).Record("MOUS", T + D + c.offsetTenths * D / 10);
  JobRun run;
  Convert(recording, OutputFormat::MicrosoftRle, run);
  const auto& frames = run.recorder.frames;
  ASSERT_EQ(frames.size(), 2 + c.spacers);
  // Spacers repeat the picture before them and say so (EMPT), so the recorder need not copy it.
  for (std::size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].time, T + static_cast<Time>(i) * D) << i;
    const bool spacer = i > 0 && i + 1 < frames.size();
    EXPECT_EQ(frames[i].kind, spacer ? SampleKind::RepeatedPicture : SampleKind::Picture) << i;
    EXPECT_EQ(frames[i].picture, frames[0].picture) << i;
  }
  EXPECT_EQ(run.client.calls.back(), "finish 2 " + std::to_string(frames.size()) + " 0 " +
                                         std::to_string(c.spacers) + " " +
                                         std::to_string(frames.size() / 10));
}

INSTANTIATE_TEST_SUITE_P(Gaps, RecordingJobSpacers,
                         ::testing::Values(SpacerCase{"AtTheNextFrameTime", 0, 0},
                                           SpacerCase{"ExactlyOneIntervalLater", 10, 0},
                                           SpacerCase{"JustPastOneInterval", 11, 1},
                                           SpacerCase{"TwoAndAHalfIntervals", 25, 2},
                                           SpacerCase{"TenIntervals", 100, 9}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(RecordingJob, PacketsWithinOneIntervalMakeOneFrame) {
  RawRecordingBytes recording(8, 8, 32);
  recording.Record("MOUS", T).Record("MPOS", T + 100).Record("MPOS", T + D30 - 1);
  JobRun run;
  Convert(recording, OutputFormat::ScreenCodec, run);
  ASSERT_EQ(run.recorder.frames.size(), 1u);
  EXPECT_EQ(run.client.calls.back(), "finish 3 1 0 0 0");
}

TEST(RecordingJob, KeyImagesStartBundlesAndAreCountedFormatsAreNot) {
  RawRecordingBytes recording(8, 8, 32);
  recording.Record("FINT", T).Record("MOUS", T + 1).Record("KFRM", T + 2).Record("KFRM", T + 3);
  JobRun run;
  Convert(recording, OutputFormat::ScreenCodec, run);
  const auto& frames = run.recorder.frames;
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0].kind, kKbnd);
  EXPECT_EQ(frames[1].kind, kBndl);
  EXPECT_EQ(frames[2].kind, kKbnd);
  EXPECT_EQ(frames[3].kind, kKbnd);
  EXPECT_EQ(run.client.calls.back(), "finish 4 4 2 0 0");
}

TEST(RecordingJob, ZeroTimestampsLeaveTheFirstTimeUnset) {
  RawRecordingBytes recording(8, 8, 32);
  recording.Record("MOUS", 0).Record("MOUS", 30'000'000);
  JobRun run;
  Convert(recording, OutputFormat::MicrosoftRle, run);
  // Next frame time starts at 0; the first time becomes 30,000,000 with the second packet.
  EXPECT_EQ(run.recorder.frames.size(), 30u);
  EXPECT_EQ(run.recorder.frames.front().time, 0);
  EXPECT_EQ(run.client.calls.back(), "finish 2 30 0 28 0");
}

// A recording without a picture is no success: nothing was written, and a front end that deletes
// converted sources would lose the recording.
TEST(RecordingJob, HeaderOnlyRecordingFailsWithoutFinishing) {
  RawRecordingBytes recording(8, 8, 32);
  JobRun run;
  try {
    Convert(recording, OutputFormat::MicrosoftVideo1, run);
    FAIL() << "no exception";
  } catch (const CReelkitException& e) {
    EXPECT_EQ(e.Failure().kind, ConvertErrorKind::NoPicture);
  }
  EXPECT_TRUE(run.recorder.frames.empty());
  EXPECT_EQ(run.client.calls.back().rfind("start ", 0), 0u);
}

TEST(RecordingJob, CancellationStopsWithoutFlushOrFinish) {
  RawRecordingBytes recording(8, 8, 32);
  recording.Record("MOUS", T).Record("MOUS", T + 2 * D30).Record("MOUS", T + 4 * D30);
  JobRun run;
  run.client.cancelAfter = 2;
  Convert(recording, OutputFormat::ScreenCodec, run);
  EXPECT_FALSE(run.result);
  EXPECT_EQ(run.recorder.frames.size(), 1u);
  EXPECT_EQ(run.client.calls.size(), 1u);  // only OnStart
}

TEST(RecordingJob, UnsupportedFormatFailsAfterStart) {
  RawRecordingBytes recording(8, 8, 32);
  JobRun run;
  try {
    Convert(recording, static_cast<OutputFormat>(1), run);
    FAIL() << "no exception";
  } catch (const CReelkitException& e) {
    EXPECT_EQ(e.Failure().kind, ConvertErrorKind::UnsupportedOutputFormat);
    EXPECT_EQ(e.Failure().code, FailureCode{});
  }
  ASSERT_EQ(run.client.calls.size(), 1u);
  EXPECT_EQ(run.client.calls[0].rfind("start ", 0), 0u);
}

TEST(RecordingJob, RefusedPictureEndsTheConversionAsAWriteFailure) {
  for (OutputFormat format : {OutputFormat::MicrosoftRle, OutputFormat::ScreenCodec}) {
    RawRecordingBytes recording(8, 8, 32);
    recording.Record("MOUS", T);
    JobRun run;
    run.recorder.refusal = 0x80004005;
    try {
      Convert(recording, format, run);
      FAIL() << "no exception";
    } catch (const CReelkitException& e) {
      EXPECT_EQ(e.Failure().kind, ConvertErrorKind::WriteOutputFailed);
      EXPECT_EQ(e.Failure().code, FailureCode::Pipeline(0x80004005));
    }
  }
}

TEST(RecordingJob, MissingInputIsAnOpenFailure) {
  JobRun run;
  CRecordingJob job(FactoryFor(run.recorder));
  try {
    job.Execute("/nonexistent/in.rcrec", "/tmp/o.avi", OutputFormat::MicrosoftRle, run.client);
    FAIL() << "no exception";
  } catch (const CReelkitException& e) {
    EXPECT_EQ(e.Failure().kind, ConvertErrorKind::OpenInputFailed);
    EXPECT_EQ(e.Failure().code, FailureCode::System(ENOENT));
  }
  EXPECT_TRUE(run.client.calls.empty());
}

struct TimeCase {
  const char* name;
  Time second;          // the time of the record that follows one at T
  std::uint32_t error;  // 0: converts
  std::size_t frames;
};

void PrintTo(const TimeCase& row, std::ostream* out) {
  *out << row.name;
}

class RecordingJobTimes : public ::testing::TestWithParam<TimeCase> {};

// A timestamp once leapt 2^54 units ahead, and the job set out to write billions of spacers.
// Gaps still become spacers, up to a video of one day; times no clock gives are invalid data.
TEST_P(RecordingJobTimes, GapsBecomeSpacersWithinADay) {
  RawRecordingBytes recording(4, 4, 32);
  recording.Record("MPOS", T).Record("MPOS", GetParam().second);
  JobRun run;
  run.recorder.keepFrames = false;
  std::uint32_t error = 0;
  try {
    Convert(recording, OutputFormat::ScreenCodec, run);
  } catch (const CReelkitException& failure) {
    EXPECT_EQ(failure.Failure().kind, ConvertErrorKind::ReadInputFailed);
    error = failure.Failure().code.value;
  }
  EXPECT_EQ(error, GetParam().error);
  EXPECT_EQ(run.recorder.written, GetParam().frames);
}

constexpr Time kDay = 24 * 3600 * 10'000'000LL;
constexpr Time kLatest = Time{1} << 61;
constexpr std::size_t kDayOfFrames = kDay / D30;  // at 30 frames per second

INSTANTIATE_TEST_SUITE_P(Times, RecordingJobTimes,
                         ::testing::Values(TimeCase{"NextInterval", T + D30, 0, 2},
                                           TimeCase{"OneMinuteLater", T + 600'000'000, 0, 1801},
                                           TimeCase{"Backwards", T - kDay, 0, 1},
                                           TimeCase{"ADayOfVideo", T + kDay - D30, 0, kDayOfFrames},
                                           TimeCase{"OneIntervalMore", T + kDay, 13, 1},
                                           TimeCase{"LeapFoundByTheFuzzer", T + (Time{1} << 54), 13,
                                                    1},
                                           TimeCase{"LatestTime", kLatest, 13, 1},
                                           TimeCase{"PastTheLatestTime", kLatest + 1, 13, 0},
                                           TimeCase{"BeforeTheEarliestTime", -kLatest - 1, 13, 0},
                                           TimeCase{"EndOfTime", INT64_MAX, 13, 0}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace reelkit
