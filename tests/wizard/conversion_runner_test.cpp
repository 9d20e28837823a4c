#include "wizard/conversion_runner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>

#include "tests/testing/temp_dir.h"
#include "wizard/wizard_paths.h"

namespace reelkit {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::uint64_t kMiB = 1 << 20;

// Records what reaches the user-interface side and answers the questions from a script.
class FakeView final : public IConversionView {
 public:
  void ShowCurrentFile(const std::string& path) override { shownFiles.push_back(path); }
  void ShowFileProgress(int position) override { fileBar.push_back(position); }
  void ShowOverallProgress(int position) override { overallBar.push_back(position); }
  bool ConfirmOverwrite(const std::u16string& question) override { return Answer(question); }
  bool ConfirmCancel(const std::u16string& question) override { return Answer(question); }

  std::deque<bool> answers;
  std::vector<std::u16string> questions;
  std::vector<std::string> shownFiles;
  std::vector<int> fileBar;
  std::vector<int> overallBar;

 private:
  bool Answer(const std::u16string& question) {
    questions.push_back(question);
    EXPECT_FALSE(answers.empty()) << "unexpected question";
    const bool answer = !answers.empty() && answers.front();
    if (!answers.empty()) {
      answers.pop_front();
    }
    return answer;
  }
};

// Stands in for the conversion entry: reports in quarters, writes the output, and lets a test
// act (press Cancel) at a given report of a given file.
struct FakeConversion {
  std::vector<std::string> inputs;
  std::vector<std::string> outputs;
  std::function<void(std::size_t file, int quarter)> atReport = [](std::size_t, int) {};

  bool operator()(const std::string& in, const std::string& out, OutputFormat,
                  IReelkitClient& client) {
    inputs.push_back(in);
    outputs.push_back(out);
    if (in.ends_with("broken.rcrec")) {
      client.OnError({ConvertErrorKind::InvalidInputFormat, 0, {}});
      return false;
    }
    client.OnStart(in);
    for (int quarter = 0; quarter <= 4; ++quarter) {
      client.OnProgress(quarter * 25.0);
      atReport(inputs.size() - 1, quarter);
      if (client.IsCancelRequested()) {
        // The engine looks again on its way out; a confirmed cancel must still hold.
        EXPECT_TRUE(client.IsCancelRequested());
        return false;
      }
    }
    std::ofstream(out) << "video";
    client.OnFinish(
        {.packets = 850, .frames = 1200, .keyFrames = 12, .spacers = 12, .seconds = 120});
    return true;
  }
};

class ConversionRunnerTest : public ::testing::Test {
 protected:
  ConversionRunnerTest() {
    catalog.Load();
    state.destinationDir = dir.path().string();
    state.fourcc = "MRLE";
  }

  std::string AddSource(const std::string& name, std::uint64_t size) {
    const std::string path = dir.Write(name, std::string("recording"));
    state.files[path] = size;
    state.totalBytes += size;
    return path;
  }

  void Run() {
    CConversionRunner runner(state, catalog, std::ref(conversion), view);
    runnerForTest = &runner;
    runner.Run();
    runnerForTest = nullptr;
  }

  std::u16string U(const std::string& path) { return std::u16string(path.begin(), path.end()); }

  testing::TempDir dir;
  CMessageCatalog catalog;
  CReelkitWizardState state;
  FakeConversion conversion;
  FakeView view;
  CConversionRunner* runnerForTest = nullptr;
};

TEST_F(ConversionRunnerTest, TwoFilesFillTheOverallBarBySizeAndDeleteTheirSources) {
  state.deleteSources = true;
  const std::string first = AddSource("a.rcrec", 10 * kMiB);
  const std::string second = AddSource("b.rec.avi", 30 * kMiB);
  Run();

  EXPECT_THAT(conversion.outputs, ElementsAre(dir.File("a_MRLE.avi"), dir.File("b.rec_MRLE.avi")));
  EXPECT_THAT(view.overallBar, ElementsAre(0, 625, 1250, 1875, 2500, 4375, 6250, 8125, 10000));
  EXPECT_EQ(view.fileBar.back(), kProgressMaximum);
  EXPECT_THAT(view.questions, IsEmpty());
  EXPECT_FALSE(std::filesystem::exists(first));
  EXPECT_FALSE(std::filesystem::exists(second));
  const std::u16string finished =
      u"Processed 1200 frames (850 subframes, 12 spacers), total length is 120 seconds.";
  EXPECT_THAT(
      state.log,
      ElementsAre(U(first), finished, u"Deleting source file " + U(first) + u"...",
                  u"Source file " + U(first) + u" deleted.", U(second), finished,
                  u"Deleting source file " + U(second) + u"...",
                  u"Source file " + U(second) + u" deleted.", u"All files have been processed."));
  EXPECT_FALSE(state.hadErrors);
}

TEST_F(ConversionRunnerTest, DeclinedOverwriteSkipsTheFileAndCountsAsAnError) {
  state.askOverwrite = true;
  const std::string source = AddSource("call7.rcrec", 10 * kMiB);
  std::ofstream(dir.File("call7_MRLE.avi")) << "older video";
  view.answers = {false};
  Run();

  EXPECT_THAT(view.questions,
              ElementsAre(U(dir.File("call7_MRLE.avi")) +
                          u" file already exists.\n\nDo you want to overwrite it?"));
  EXPECT_THAT(conversion.inputs, IsEmpty());
  EXPECT_THAT(state.log,
              ElementsAre(U(source), u"Cancelled.", u"", u"All files have been processed."));
  EXPECT_TRUE(state.hadErrors);
  EXPECT_NE(view.overallBar.back(), kProgressMaximum);
  EXPECT_EQ(testing::ReadFileBytes(dir.File("call7_MRLE.avi")), "older video");
}

TEST_F(ConversionRunnerTest, CancelAnsweredNoThenYesStopsInTheSecondOfThreeFiles) {
  const std::string first = AddSource("1.rcrec", kMiB);
  const std::string second = AddSource("2.rcrec", kMiB);
  AddSource("3.rcrec", kMiB);
  conversion.atReport = [&](std::size_t file, int quarter) {
    if (file == 1 && (quarter == 1 || quarter == 3)) {
      runnerForTest->RequestCancel();
    }
  };
  view.answers = {false, true};
  Run();

  EXPECT_THAT(view.questions, ElementsAre(u"Are you sure you want to cancel this operation?",
                                          u"Are you sure you want to cancel this operation?"));
  EXPECT_THAT(conversion.inputs, ElementsAre(first, second));
  EXPECT_EQ(state.log.size(), 5u);
  EXPECT_THAT(std::vector(state.log.end() - 3, state.log.end()),
              ElementsAre(U(second), U(second), u"Cancelled."));
  EXPECT_TRUE(state.cancelled);
  EXPECT_TRUE(state.hadErrors);
}

TEST_F(ConversionRunnerTest, FailedConversionKeepsItsSourceAndAFailedDeletionIsLogged) {
  state.deleteSources = true;
  const std::string broken = AddSource("broken.rcrec", kMiB);
  // A directory with something in it cannot be removed as a file.
  const std::string undeletable = dir.File("busy.rcrec");
  std::filesystem::create_directory(undeletable);
  std::ofstream(undeletable + "/inside") << "x";
  state.files[undeletable] = kMiB;
  Run();

  EXPECT_TRUE(std::filesystem::exists(broken));
  EXPECT_TRUE(std::filesystem::exists(undeletable));
  EXPECT_THAT(state.log,
              ElementsAre(u"Invalid input file format.", U(undeletable), ::testing::_,
                          u"Deleting source file " + U(undeletable) + u"...",
                          u"*** " + U(undeletable), u"The source file could not be deleted:",
                          u"Directory not empty 0x27", u"All files have been processed."));
  EXPECT_TRUE(state.hadErrors);
}

TEST(WizardPaths, OutputNamesAndSizeTexts) {
  EXPECT_EQ(OutputPathFor("/rec/call7.rcrec", "/video", "MRLE"), "/video/call7_MRLE.avi");
  EXPECT_EQ(OutputPathFor("/rec/call7", "/v.1", "MSVC"), "/v.1/call7_MSVC.avi");
  EXPECT_EQ(OutputPathFor("/rec.d/a.b.avi", "/v", "VQSC"), "/v/a.b_VQSC.avi");
  EXPECT_EQ(WithoutTrailingSeparators("/video///"), "/video");
  EXPECT_EQ(WithoutTrailingSeparators("///"), "");
  // Past 2 TiB the KByte count no longer fits 31 bits.
  EXPECT_EQ(FormatSizeText(3ull << 40), u"3,221,225,472 KBytes");
  EXPECT_EQ(FormatSizeText(999), u"999 Bytes");
}

}  // namespace
}  // namespace reelkit
