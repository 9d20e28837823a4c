// The wizard's file loop with the real conversion engine: whatever the user chose, every
// recording ends either kept or with a complete video of its own, and no file the user did not
// choose to replace changes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "engine/convert.h"
#include "tests/testing/process.h"
#include "tests/testing/silent_client.h"
#include "tests/testing/temp_dir.h"
#include "tools/recording_writer/recording_writer.h"
#include "wizard/conversion_runner.h"

namespace reelkit {
namespace {

namespace fs = std::filesystem;
using recording::CRecordingWriter;
using recording::PixelLayout;
using ::testing::Contains;
using ::testing::IsEmpty;
using ::testing::Not;
using testing::ReadFileBytes;

constexpr Time kStart = 7'000'000'000;
constexpr Time kFrame = 1'000'000;

// A short session whose pictures depend on the seed, so that two recordings of one name differ.
void WriteSession(const std::string& path, int seed, int width = 48, int height = 32) {
  CRecordingWriter writer(path, recording::MakeStreamFormat(width, height, PixelLayout::Rgb32));
  writer.WriteInit(kStart, &writer.Model().NativeFormat());
  std::vector<std::uint32_t> pixels(std::size_t(width) * height);
  for (int step = 0; step < 4; ++step) {
    for (std::size_t i = 0; i < pixels.size(); ++i) {
      pixels[i] = recording::DefaultPaletteColor(unsigned(i * 7 + step * 13 + seed * 31) % 216);
    }
    const auto packed = recording::PackPicture(pixels, width, height, PixelLayout::Rgb32);
    if (step == 0) {
      writer.WriteKeyFrame(kStart + 1, packed);
    } else {
      writer.WriteDelta(kStart + (step + 1) * kFrame, packed);
    }
  }
  writer.Finish();
}

// At 8 bits, whose colour table makes the header alone long enough to be recognised.
void WriteHeaderOnly(const std::string& path) {
  CRecordingWriter writer(path, recording::MakeStreamFormat(16, 16, PixelLayout::Indexed8));
  writer.Finish();
}

// Answers every question with No and counts them; a hook runs at each move of the file bar.
class ScriptedView final : public IConversionView {
 public:
  void ShowCurrentFile(const std::string& path) override { currentFile = path; }
  void ShowFileProgress(int position) override { onFileProgress(currentFile, position); }
  void ShowOverallProgress(int) override {}
  bool ConfirmOverwrite(const std::u16string& question) override {
    questions.push_back(question);
    return false;
  }
  bool ConfirmCancel(const std::u16string& question) override {
    questions.push_back(question);
    return false;
  }

  std::string currentFile;
  std::vector<std::u16string> questions;
  std::function<void(const std::string&, int)> onFileProgress = [](const std::string&, int) {};
};

// A pass-through AVI of a session of its own, as the program makes it (the codec module that
// writes it is the program's, not this test's).
void WriteScreenStreamAvi(const std::string& path, const std::string& session, int seed) {
  WriteSession(session, seed);
  ASSERT_EQ(testing::RunProcess({REELKIT_BINARY, "-in", session, "-out", path, "-fourcc", "VQSC"})
                .exitStatus,
            0);
}

std::u16string U(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

class FileLoop : public ::testing::Test {
 protected:
  FileLoop() {
    catalog.Load();
    fs::create_directories(sources / "monday");
    fs::create_directories(sources / "tuesday");
    fs::create_directories(destination);
    state.destinationDir = destination.string();
    Choose(OutputFormat::MicrosoftRle);
    state.deleteSources = true;
  }

  void Choose(OutputFormat format) { state.outputFormat = format; }

  std::string Source(const std::string& name) const { return (sources / name).string(); }
  std::string Output(const std::string& name) const { return (destination / name).string(); }

  // The source as one conversion alone makes it, and a note to expect the source deleted.
  std::string ConvertedAlone(const std::string& source) {
    const std::string out = (scratch.path() / ("alone" + std::to_string(alone++))).string();
    testing::SilentClient client;
    EXPECT_TRUE(ConvertFile(source, out, state.outputFormat, client)) << source;
    return ReadFileBytes(out);
  }

  void Add(const std::string& path) {
    state.files[path] = fs::file_size(path);
    state.totalBytes += state.files[path];
  }

  void Run() {
    CConversionRunner runner(state, catalog, ConvertFile, view);
    runner.Run();
  }

  bool Logged(const std::u16string& line) const {
    return std::find(state.log.begin(), state.log.end(), line) != state.log.end();
  }
  std::u16string Line(std::u16string_view key, const std::string& path) const {
    return catalog.LookupWithArgument(key, U(path));
  }

  testing::TempDir dir;
  testing::TempDir scratch;
  fs::path sources = dir.path() / "recordings";
  fs::path destination = dir.path() / "videos";
  int alone = 0;
  CMessageCatalog catalog;
  CReelkitWizardState state;
  ScriptedView view;
};

TEST_F(FileLoop, RecordingsSharingAnOutputNameEachKeepTheirOwnVideo) {
  const std::string monday = Source("monday/call7.rcrec");
  const std::string tuesday = Source("tuesday/call7.rcrec");
  const std::string raw = Source("monday/a.rcrec");
  const std::string avi = Source("monday/a.avi");
  WriteSession(monday, 1);
  WriteSession(tuesday, 2);
  WriteSession(raw, 3);
  ASSERT_NO_FATAL_FAILURE(WriteScreenStreamAvi(avi, Source("b.rcrec"), 4));
  const std::map<std::string, std::string> expected = {
      {Output("a_MRLE.avi"), ConvertedAlone(avi)},
      {Output("a_MRLE-2.avi"), ConvertedAlone(raw)},
      {Output("call7_MRLE.avi"), ConvertedAlone(monday)},
      {Output("call7_MRLE-2.avi"), ConvertedAlone(tuesday)}};
  for (const std::string& path : {monday, tuesday, raw, avi}) {
    Add(path);
  }
  // Asked about files that existed before the run, never about this run's own videos.
  state.askOverwrite = true;
  Run();

  EXPECT_THAT(view.questions, IsEmpty());
  EXPECT_FALSE(state.hadErrors);
  for (const auto& [output, bytes] : expected) {
    EXPECT_EQ(ReadFileBytes(output), bytes) << output;
  }
  for (const std::string& path : {monday, tuesday, raw, avi}) {
    EXPECT_FALSE(fs::exists(path)) << path;
  }
  EXPECT_TRUE(Logged(Line(catalog_keys::kLogRenamed, Output("call7_MRLE-2.avi"))));
  EXPECT_TRUE(Logged(Line(catalog_keys::kLogRenamed, Output("a_MRLE-2.avi"))));
}

TEST_F(FileLoop, AnOutputThatIsAnotherChosenFileIsRefusedForThatFile) {
  // An earlier pass-through of another session, kept under the name a.rcrec's video would take.
  const std::string raw = Source("a.rcrec");
  const std::string earlier = Source("a_MRLE.avi");
  ASSERT_NO_FATAL_FAILURE(WriteScreenStreamAvi(earlier, Source("other.rcrec"), 5));
  WriteSession(raw, 6);
  const std::string earlierVideo = ConvertedAlone(earlier);
  const std::string recorded = ReadFileBytes(raw);
  Add(raw);
  Add(earlier);
  state.destinationDir = sources.string();  // a.rcrec's video would land on a_MRLE.avi
  Run();

  EXPECT_TRUE(state.hadErrors);
  EXPECT_EQ(ReadFileBytes(raw), recorded);
  EXPECT_EQ(ReadFileBytes(Source("a_MRLE_MRLE.avi")), earlierVideo);
  EXPECT_FALSE(fs::exists(earlier));  // converted, and so deleted as asked
  EXPECT_TRUE(Logged(Line(catalog_keys::kLogOutputTaken, earlier)));
}

TEST_F(FileLoop, ALinkInTheDestinationToAChosenRecordingNeverReplacesIt) {
  const std::string linked = Source("monday/linked.rcrec");
  const std::string target = Source("tuesday/target.rcrec");
  WriteSession(linked, 7);
  WriteSession(target, 8);
  fs::create_symlink(target, Output("linked_MRLE.avi"));
  const std::string before = ReadFileBytes(target);
  const std::string targetVideo = ConvertedAlone(target);
  Add(linked);
  Add(target);
  state.deleteSources = false;
  Run();

  EXPECT_TRUE(state.hadErrors);
  EXPECT_EQ(ReadFileBytes(target), before);
  EXPECT_TRUE(fs::is_symlink(Output("linked_MRLE.avi")));
  EXPECT_EQ(ReadFileBytes(Output("target_MRLE.avi")), targetVideo);
  EXPECT_TRUE(Logged(Line(catalog_keys::kLogOutputTaken, Output("linked_MRLE.avi"))));
}

TEST_F(FileLoop, RecordingsWithoutAPictureAreFailuresAndKept) {
  const std::string empty = Source("empty.rcrec");
  WriteHeaderOnly(empty);
  // A pass-through AVI whose screen-stream chunks were all turned into padding.
  const std::string junk = Source("junk.avi");
  ASSERT_NO_FATAL_FAILURE(WriteScreenStreamAvi(junk, Source("c.rcrec"), 9));
  std::string bytes = ReadFileBytes(junk);
  for (std::size_t at = bytes.find("00dc"); at != std::string::npos; at = bytes.find("00dc", at)) {
    bytes.replace(at, 4, "JUNK");
  }
  std::ofstream(junk, std::ios::binary | std::ios::trunc) << bytes;
  Add(empty);
  Add(junk);
  Run();

  EXPECT_TRUE(state.hadErrors);
  EXPECT_TRUE(fs::exists(empty));
  EXPECT_EQ(ReadFileBytes(junk), bytes);
  EXPECT_TRUE(fs::is_empty(destination));
  EXPECT_EQ(
      std::count(state.log.begin(), state.log.end(), catalog.Lookup(catalog_keys::kCauseNoPicture)),
      2);
  EXPECT_THAT(state.log, Not(Contains(Line(catalog_keys::kLogDeleting, empty))));
}

TEST_F(FileLoop, ARecordingThatGrowsWhileItIsConvertedIsKept) {
  const std::string growing = Source("growing.rcrec");
  WriteSession(growing, 10);
  const std::string video = ConvertedAlone(growing);
  Add(growing);
  bool appended = false;
  view.onFileProgress = [&](const std::string& file, int position) {
    if (file == growing && position > 0 && !appended) {
      std::ofstream(growing, std::ios::binary | std::ios::app) << std::string(64, '\0');
      appended = true;
    }
  };
  Run();

  ASSERT_TRUE(appended);
  EXPECT_FALSE(state.hadErrors);
  EXPECT_TRUE(fs::exists(growing));
  EXPECT_EQ(ReadFileBytes(Output("growing_MRLE.avi")), video);
  EXPECT_TRUE(Logged(catalog.Lookup(catalog_keys::kLogKeptChanged)));
}

TEST_F(FileLoop, AFailureBeforeTheFirstFrameLeavesTheOutputPathAsItWas) {
  const std::string wide = Source("wide.rcrec");
  WriteSession(wide, 11, 65535, 8);
  const std::string linkedWide = Source("wide2.rcrec");
  fs::copy_file(wide, linkedWide);
  std::ofstream(Output("wide_MSVC.avi")) << "PRECIOUS";
  const std::string elsewhere = dir.Write("elsewhere.avi", std::string("PRECIOUS"));
  fs::create_symlink(elsewhere, Output("wide2_MSVC.avi"));
  Add(wide);
  Add(linkedWide);
  Choose(OutputFormat::MicrosoftVideo1);
  Run();

  EXPECT_TRUE(state.hadErrors);
  EXPECT_EQ(ReadFileBytes(Output("wide_MSVC.avi")), "PRECIOUS");
  EXPECT_EQ(ReadFileBytes(elsewhere), "PRECIOUS");
  EXPECT_TRUE(fs::is_symlink(Output("wide2_MSVC.avi")));
  EXPECT_TRUE(fs::exists(wide));
  EXPECT_TRUE(fs::exists(linkedWide));
  EXPECT_THAT(state.log,
              Not(Contains(Line(catalog_keys::kLogIncomplete, Output("wide_MSVC.avi")))));
}

TEST_F(FileLoop, AFailureAfterFramesNamesTheIncompleteVideoAndItsCause) {
  const std::string cut = Source("cut.rcrec");
  WriteSession(cut, 12);
  // The last record loses its end, as a copy that stopped half-way would.
  fs::resize_file(cut, fs::file_size(cut) - 10);
  Add(cut);
  Run();

  EXPECT_TRUE(state.hadErrors);
  EXPECT_TRUE(fs::exists(cut));
  EXPECT_GT(fs::file_size(Output("cut_MRLE.avi")), 0u);
  EXPECT_TRUE(Logged(catalog.Lookup(catalog_keys::kCauseEndOfFile)));
  EXPECT_TRUE(Logged(Line(catalog_keys::kLogIncomplete, Output("cut_MRLE.avi"))));
}

TEST_F(FileLoop, AFullDiskIsWordedInTheSystemsWords) {
  if (::mount("tmpfs", destination.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "a small file system cannot be mounted here: " << std::strerror(errno);
  }
  const std::string big = Source("big.rcrec");
  WriteSession(big, 13, 640, 480);
  Add(big);
  Run();
  ::umount(destination.c_str());

  EXPECT_TRUE(state.hadErrors);
  EXPECT_TRUE(fs::exists(big));
  EXPECT_TRUE(Logged(catalog.Lookup(catalog_keys::kCauseWriteFailed)));
  EXPECT_TRUE(
      Logged(catalog.LookupWithArgument(catalog_keys::kCauseSystem, SystemErrorText(ENOSPC))));
}

}  // namespace
}  // namespace reelkit
