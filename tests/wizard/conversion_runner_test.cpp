#include "wizard/conversion_runner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>

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
  std::vector<OutputFormat> formats;
  std::function<void(std::size_t file, int quarter)> atReport = [](std::size_t, int) {};
  std::optional<ConversionFailure> failure;  // reported by every file after its start

  bool operator()(const std::string& in, const std::string& out, OutputFormat format,
                  IReelkitClient& client) {
    inputs.push_back(in);
    outputs.push_back(out);
    formats.push_back(format);
    if (in.ends_with("broken.rcrec")) {
      client.OnError({ConvertErrorKind::InvalidInputFormat, {}, {}});
      return false;
    }
    client.OnStart(in);
    if (failure) {
      client.OnError(*failure);
      return false;
    }
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
    state.outputFormat = OutputFormat::MicrosoftRle;
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
              ElementsAre(U(broken), u"Invalid input file format.", U(undeletable), ::testing::_,
                          u"Deleting source file " + U(undeletable) + u"...",
                          u"*** " + U(undeletable), u"The source file could not be deleted:",
                          u"Directory not empty 0x27", u"All files have been processed."));
  EXPECT_TRUE(state.hadErrors);
}

// Each cause as the log words it after the source path: the kind's line and the cause's, in
// English, and the cause in one translation with the same numbers.
struct FailureRow {
  const char* name;
  ConversionFailure failure;
  std::vector<std::u16string> english;
  std::string_view language;
  std::u16string translatedCause;
};

constexpr std::uint64_t kUnitsPerDay = 24ull * 3600 * 10'000'000;

const FailureRow kFailureRows[] = {
    {"picture side",
     {ConvertErrorKind::ReadInputFailed, FailureCode::Fixed(13),
      LimitRefusal{InputLimit::PictureSide, 70000, 65535}},
     {u"Error 0x0000000d while reading input file.",
      u"A picture side of 70000 pixels exceeds the limit of 65535 pixels."},
     "de",
     u"Eine Bildseite von 70000 Pixeln überschreitet die Grenze von 65535 Pixeln."},
    {"record block",
     {ConvertErrorKind::ReadInputFailed, FailureCode::Fixed(13),
      LimitRefusal{InputLimit::RecordBlockSize, 300000000, 256 * kMiB}},
     {u"Error 0x0000000d while reading input file.",
      u"A record block of 300000000 bytes exceeds the limit of 256 MiB."},
     "fr",
     u"Un bloc de données de 300000000 octets dépasse la limite de 256 Mio."},
    {"picture bytes",
     {ConvertErrorKind::ReadInputFailed, FailureCode::Fixed(13),
      LimitRefusal{InputLimit::PictureBytes, 2048 * kMiB, 1024 * kMiB}},
     {u"Error 0x0000000d while reading input file.",
      u"A picture of 2 GiB at 32 bits per pixel exceeds the limit of 1 GiB."},
     "ja",
     u"1 ピクセルあたり 32 ビットでの画像サイズ 2 GiB が上限の 1 GiB を超えています。"},
    {"video length",
     {ConvertErrorKind::ReadInputFailed, FailureCode::Fixed(13),
      LimitRefusal{InputLimit::VideoLength, kUnitsPerDay + 1'000'000, kUnitsPerDay}},
     {u"Error 0x0000000d while reading input file.",
      u"The recording would make more than 24 hours of video, the most one conversion makes."},
     "ru",
     u"Из записи получилось бы видео длительностью более 24 ч — больше, чем создаёт одно "
     u"преобразование."},
    {"timestamp",
     {ConvertErrorKind::ReadInputFailed, FailureCode::Fixed(13),
      LimitRefusal{InputLimit::Timestamp, 1ull << 62, 1ull << 61}},
     {u"Error 0x0000000d while reading input file.",
      u"A record's timestamp lies more than 7311 years from the recording clock's origin."},
     "hu",
     u"Egy rekord időbélyege több mint 7311 évre van a felvételi óra kezdőpontjától."},
    {"1-bit picture",
     {ConvertErrorKind::ReadInputFailed, FailureCode::Fixed(13),
      LimitRefusal{InputLimit::DecodedDepth, 1, 0}},
     {u"Error 0x0000000d while reading input file.",
      u"A picture of 1 bit per pixel can only be passed through; choose Kestrix Video Encoder "
      u"(VQSC) for this recording."},
     "nl",
     u"Een beeld van 1 bit per pixel kan alleen ongewijzigd worden overgenomen; kies Kestrix "
     u"Video Encoder (VQSC) voor deze opname."},
    {"too large for MSVC",
     {ConvertErrorKind::WriteOutputFailed, FailureCode::Pipeline(0xa0040001), RecorderFailure{}},
     {u"Error 0xa0040001 while saving output file.",
      u"Microsoft Video 1 (MSVC) holds pictures of at most 65532 pixels each way; choose "
      u"Microsoft RLE (MRLE) or Kestrix Video Encoder (VQSC) for this recording."},
     "es",
     u"Microsoft Video 1 (MSVC) admite imágenes de como máximo 65532 píxeles en cada dirección; "
     u"elija Microsoft RLE (MRLE) o Kestrix Video Encoder (VQSC) para esta grabación."},
    {"output is a directory",
     {ConvertErrorKind::OutputRefused, FailureCode::System(EISDIR),
      OutputRefusal{OutputRefusal::Reason::NotAFile, OutputFileType::Directory}},
     {u"Error 0x00000015 while saving output file.",
      u"The output path is a directory; only a regular file is replaced, and nothing was "
      u"written."},
     "de",
     u"Der Ausgabepfad ist ein Verzeichnis; nur eine normale Datei wird ersetzt, und es wurde "
     u"nichts geschrieben."},
    {"output is a named pipe",
     {ConvertErrorKind::OutputRefused,
      {},
      OutputRefusal{OutputRefusal::Reason::NotAFile, OutputFileType::NamedPipe}},
     {u"Error 0x00000000 while saving output file.",
      u"The output path is a named pipe; only a regular file is replaced, and nothing was "
      u"written."},
     "it",
     u"Il percorso di output è una named pipe; viene sostituito solo un file normale e non è "
     u"stato scritto nulla."},
    {"output links to nothing",
     {ConvertErrorKind::OutputRefused, FailureCode::System(ENOENT),
      OutputRefusal{OutputRefusal::Reason::LinkToNothing, OutputFileType::Other}},
     {u"Error 0x00000002 while saving output file.",
      u"The output path is a symbolic link to a file that does not exist; nothing was written."},
     "pt-br",
     u"O caminho de saída é um link simbólico para um arquivo que não existe; nada foi gravado."},
    {"output being written",
     {ConvertErrorKind::OutputRefused, FailureCode::System(EWOULDBLOCK),
      OutputRefusal{OutputRefusal::Reason::BeingWritten, OutputFileType::Other}},
     {u"Error 0x0000000b while saving output file.",
      u"The output file is being written by another conversion; try again when it has "
      u"finished."},
     "zh",
     u"另一个转换正在写入输出文件；请在其完成后重试。"},
    {"output cannot be created",
     {ConvertErrorKind::OutputRefused, FailureCode::System(EACCES),
      OutputRefusal{OutputRefusal::Reason::CannotCreate, OutputFileType::Other}},
     {u"Error 0x0000000d while saving output file.",
      u"The output file cannot be created in the destination directory.",
      u"The system reports: Permission denied 0xd"},
     "ko",
     u"대상 디렉터리에 출력 파일을 만들 수 없습니다."},
    {"out of memory",
     {ConvertErrorKind::ReadInputFailed, FailureCode::System(ENOMEM), OutOfMemory{}},
     {u"Error 0x0000000c while reading input file.",
      u"There is not enough memory to convert this recording."},
     "fr",
     u"La mémoire est insuffisante pour convertir cet enregistrement."},
    {"unexpected",
     {ConvertErrorKind::Unexpected, {}, UnexpectedFailure{"bad_variant_access"}},
     {u"The conversion stopped on an unexpected failure."},
     "en-gb",
     u"The conversion stopped on an unexpected failure."},
    // The same number 5 twice: a read's is the system's EIO, the pipeline's its own.
    {"read refused by the system",
     {ConvertErrorKind::ReadInputFailed, FailureCode::System(EIO), {}},
     {u"Error 0x00000005 while reading input file.", u"The input file could not be read.",
      u"The system reports: Input/output error 0x5"},
     "de",
     u"Die Eingabedatei konnte nicht gelesen werden."},
    {"pipeline stopped answering",
     {ConvertErrorKind::WriteOutputFailed, FailureCode::Pipeline(5), RecorderFailure{}},
     {u"Error 0x00000005 while saving output file.", u"The output file could not be written."},
     "nl",
     u"Het uitvoerbestand kan niet worden geschreven."},
    {"unsupported format",
     {ConvertErrorKind::UnsupportedOutputFormat, FailureCode::Pipeline(0x80070057), {}},
     {u"Error 0x80070057 while saving output file.", u"The chosen output format is not supported."},
     "ja",
     u"選択した出力形式はサポートされていません。"},
};

TEST_F(ConversionRunnerTest, EveryFailureCauseIsWordedWithItsNumbersInTheUsersLanguage) {
  state.outputFormat = OutputFormat::H264Mp4;
  const std::string source = AddSource("call.rcrec", kMiB);
  for (const FailureRow& row : kFailureRows) {
    SCOPED_TRACE(row.name);
    conversion.failure = row.failure;
    state.log.clear();
    catalog.SetLanguage("");
    Run();
    std::vector<std::u16string> expected = {U(source)};
    expected.insert(expected.end(), row.english.begin(), row.english.end());
    expected.push_back(u"All files have been processed.");
    EXPECT_EQ(state.log, expected);

    state.log.clear();
    catalog.SetLanguage(row.language);
    Run();
    ASSERT_EQ(state.log.size(), expected.size());
    // The system's words are its own, whatever the language; the cause precedes them.
    const std::size_t cause =
        row.english.size() - (row.english.back().starts_with(u"The system") ? 1 : 0);
    EXPECT_EQ(state.log[cause], row.translatedCause);
  }
  EXPECT_EQ(conversion.outputs.front(), dir.File("call_H264.mp4"));
  EXPECT_EQ(conversion.formats.front(), OutputFormat::H264Mp4);
  EXPECT_TRUE(state.hadErrors);
}

TEST(WizardPaths, OutputNamesAndSizeTexts) {
  EXPECT_EQ(OutputPathFor("/rec/call7.rcrec", "/video", OutputFormat::MicrosoftRle),
            "/video/call7_MRLE.avi");
  EXPECT_EQ(OutputPathFor("/rec/call7", "/v.1", OutputFormat::MicrosoftVideo1),
            "/v.1/call7_MSVC.avi");
  EXPECT_EQ(OutputPathFor("/rec.d/a.b.avi", "/v", OutputFormat::ScreenCodec), "/v/a.b_VQSC.avi");
  EXPECT_EQ(OutputPathFor("/rec/call7.rcrec", "/video", OutputFormat::H264Mp4),
            "/video/call7_H264.mp4");
  EXPECT_EQ(WithoutTrailingSeparators("/video///"), "/video");
  EXPECT_EQ(WithoutTrailingSeparators("///"), "");
  // Past 2 TiB the KByte count no longer fits 31 bits.
  EXPECT_EQ(FormatSizeText(3ull << 40), u"3,221,225,472 KBytes");
  EXPECT_EQ(FormatSizeText(999), u"999 Bytes");
}

}  // namespace
}  // namespace reelkit
