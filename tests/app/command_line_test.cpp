#include "app/command_line.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "tests/testing/process.h"
#include "tests/testing/temp_dir.h"

namespace reelkit {
namespace {

using testing::RunProcess;

const std::string kUsage =
    "To convert a raw .rcrec file to .avi:\n\treelkit -in <inputfilename> -out "
    "<outputfilename>\n\nTo convert it to H.264 in an .mp4 file that browsers and phones play:\n"
    "\treelkit -in <inputfilename> -out <outputfilename> -fourcc H264\n\n"
    "To tell which files are recordings, one line per file (raw recording,\n"
    "screen-stream AVI or not a recording); exit status 0 when all of them are:\n"
    "\treelkit -probe <filename>...\n\n";

struct ParseCase {
  const char* name;
  std::vector<std::string> tokens;
  bool accepted;
  std::string input;
  std::string output;
  OutputFormat format;
  std::string printed;
};

// Names the row instead of dumping its bytes in test listings.
void PrintTo(const ParseCase& row, std::ostream* out) {
  *out << row.name;
}

class ParseCommandLineCases : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseCommandLineCases, ParsesAndPrints) {
  const ParseCase& c = GetParam();
  CommandLine result;
  OutputFormat format = OutputFormat::MicrosoftVideo1;
  ::testing::internal::CaptureStdout();
  const bool accepted = ParseCommandLine(c.tokens, "reelkit", result, format);
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(accepted, c.accepted);
  EXPECT_EQ(result.inputPath, c.input);
  EXPECT_EQ(result.outputPath, c.output);
  EXPECT_EQ(format, c.format);
  EXPECT_EQ(printed, c.printed);
}

constexpr auto kMsvc = OutputFormat::MicrosoftVideo1;
constexpr auto kMrle = OutputFormat::MicrosoftRle;

INSTANTIATE_TEST_SUITE_P(
    Rules, ParseCommandLineCases,
    ::testing::Values(
        ParseCase{
            "PlainPair", {"-in", "a.rcrec", "-out", "b.avi"}, true, "a.rcrec", "b.avi", kMsvc, ""},
        ParseCase{"FourccMrle",
                  {"-in", "a.rcrec", "-out", "b.avi", "-fourcc", "MRLE"},
                  true,
                  "a.rcrec",
                  "b.avi",
                  kMrle,
                  ""},
        ParseCase{"PairsInAnyOrder",
                  {"-fourcc", "MRLE", "-out", "b.avi", "-in", "a.rcrec"},
                  true,
                  "a.rcrec",
                  "b.avi",
                  kMrle,
                  ""},
        ParseCase{"FourccMsvcAfterMrle",
                  {"-fourcc", "MRLE", "-in", "a", "-out", "b", "-fourcc", "MSVC"},
                  true,
                  "a",
                  "b",
                  kMsvc,
                  ""},
        ParseCase{"FourccVqscSelectsPassThrough",
                  {"-in", "a", "-out", "b", "-fourcc", "VQSC"},
                  true,
                  "a",
                  "b",
                  OutputFormat::ScreenCodec,
                  ""},
        ParseCase{"FourccH264SelectsMp4",
                  {"-in", "a", "-out", "b.mp4", "-fourcc", "H264"},
                  true,
                  "a",
                  "b.mp4",
                  OutputFormat::H264Mp4,
                  ""},
        ParseCase{"LowerCaseH264Ignored",
                  {"-fourcc", "MRLE", "-fourcc", "h264", "-in", "a", "-out", "b"},
                  true,
                  "a",
                  "b",
                  kMrle,
                  ""},
        ParseCase{"LowerCaseFourccIgnored",
                  {"-fourcc", "MRLE", "-fourcc", "mrle", "-in", "a", "-out", "b"},
                  true,
                  "a",
                  "b",
                  kMrle,
                  ""},
        ParseCase{"LaterOptionOverrides",
                  {"-in", "a", "-in", "c", "-out", "b"},
                  true,
                  "c",
                  "b",
                  kMsvc,
                  ""},
        ParseCase{"ExtraIsAnInvalidArgument",
                  {"-in", "a.rcrec", "-out", "b.avi", "extra"},
                  false,
                  "",
                  "",
                  kMsvc,
                  "Invalid argument: extra\n" + kUsage},
        ParseCase{
            "DanglingOptionIgnored", {"-out", "b.avi", "-in"}, false, "", "b.avi", kMsvc, kUsage},
        ParseCase{"OptionTakenAsValue",
                  {"-in", "-out", "b.avi"},
                  false,
                  "",
                  "",
                  kMsvc,
                  "Invalid argument: b.avi\n" + kUsage},
        ParseCase{"OptionsAreCaseSensitive",
                  {"-IN", "a", "-out", "b"},
                  false,
                  "",
                  "",
                  kMsvc,
                  "Invalid argument: -IN\n" + kUsage},
        ParseCase{"NoTokens", {}, false, "", "", kMsvc, kUsage}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(TokenizeArguments, BlankOnlyArgumentsGiveNoToken) {
  const char* argv[] = {"reelkit", "  ", "\t", "-in", "a b", ""};
  EXPECT_EQ(TokenizeArguments(6, argv), (std::vector<std::string>{"-in", "a b"}));
}

TEST(ApplicationName, IsTheExecutableStem) {
  EXPECT_EQ(ApplicationNameOf("/opt/reelkit/bin/reelkit"), "reelkit");
  EXPECT_EQ(ApplicationNameOf("tools/conv.exe"), "conv");
}

TEST(ProgramStartUp, BlankOnlyCommandLinePrintsUsage) {
  const auto result = RunProcess({REELKIT_BINARY, "   "});
  EXPECT_EQ(result.output, kUsage);
  EXPECT_EQ(result.exitStatus, 2);
}

TEST(ProgramStartUp, InvalidArgumentPrintsItThenUsage) {
  const auto result = RunProcess({REELKIT_BINARY, "-in", "a.rcrec", "-out", "b.avi", "extra"});
  EXPECT_EQ(result.output, "Invalid argument: extra\n" + kUsage);
  EXPECT_EQ(result.exitStatus, 2);
}

TEST(ProgramStartUp, DanglingInputPrintsOnlyUsage) {
  const auto result = RunProcess({REELKIT_BINARY, "-out", "b.avi", "-in"});
  EXPECT_EQ(result.output, kUsage);
  EXPECT_EQ(result.exitStatus, 2);
}

TEST(ProgramStartUp, OptionAsInputPathMakesTheOutputAnInvalidArgument) {
  const auto result = RunProcess({REELKIT_BINARY, "-in", "-out", "b.avi"});
  EXPECT_EQ(result.output, "Invalid argument: b.avi\n" + kUsage);
  EXPECT_EQ(result.exitStatus, 2);
}

TEST(ProgramStartUp, UsageNamesTheExecutableAsInvoked) {
  testing::TempDir dir;
  const std::string link = dir.File("convert-tool.bin");
  std::filesystem::create_symlink(REELKIT_BINARY, link);
  const auto result = RunProcess({link, "-in"});
  EXPECT_EQ(result.output,
            "To convert a raw .rcrec file to .avi:\n\tconvert-tool -in <inputfilename> -out "
            "<outputfilename>\n\nTo convert it to H.264 in an .mp4 file that browsers and phones "
            "play:\n\tconvert-tool -in <inputfilename> -out <outputfilename> -fourcc H264\n\n"
            "To tell which files are recordings, one line per file (raw recording,\n"
            "screen-stream AVI or not a recording); exit status 0 when all of them are:\n"
            "\tconvert-tool -probe <filename>...\n\n");
}

constexpr const char* kNoDisplay = "The conversion wizard needs a graphical desktop";

// A copy of the program alone in a folder, without the wizard beside it.
std::string CopyTo(const std::string& program, const std::filesystem::path& directory) {
  const std::filesystem::path copy = directory / std::filesystem::path(program).filename();
  std::filesystem::copy_file(program, copy);
  std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
  return copy.string();
}

class NoArguments : public ::testing::Test {
 protected:
  // Without any display the wizard explains itself; with one (even offscreen) it would wait for
  // a user.
  void SetUp() override {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
      ::unsetenv(name);
    }
  }
  testing::TempDir dir_;
};

TEST_F(NoArguments, RunTheWizardBesideTheProgram) {
  const auto result = RunProcess({REELKIT_BINARY});
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_EQ(result.output.rfind(kNoDisplay, 0), 0u) << result.output;
}

TEST_F(NoArguments, FindTheWizardFromTheExecutableNotFromPathOrTheCurrentFolder) {
  // A program of the wizard's name on PATH and in the current folder that would say so if run.
  const std::string impostor = dir_.Write("reelkit-wizard", "#!/bin/sh\necho impostor\n");
  std::filesystem::permissions(impostor, std::filesystem::perms::owner_all);
  const std::filesystem::path alone = dir_.path() / "alone";
  std::filesystem::create_directory(alone);
  const std::string program = CopyTo(REELKIT_BINARY, alone);
  const auto result = RunProcess(
      {"/bin/sh", "-c", "cd \"$1\" && PATH=\"$1\" exec \"$2\"", "sh", dir_.path(), program});
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_EQ(
      result.output,
      "The conversion wizard is not installed; it comes in the package reelkit-wizard.\n" + kUsage);
}

TEST_F(NoArguments, ALinkToTheProgramFindsTheWizardBesideItsTarget) {
  const std::string link = dir_.File("reelkit");
  std::filesystem::create_symlink(REELKIT_BINARY, link);
  const auto result = RunProcess({link});
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_EQ(result.output.rfind(kNoDisplay, 0), 0u) << result.output;
}

TEST_F(NoArguments, AWizardThatCannotRunIsNamedWithTheReason) {
  const std::string program = CopyTo(REELKIT_BINARY, dir_.path());
  const std::string wizard = dir_.Write("reelkit-wizard", "not a program");
  const auto result = RunProcess({program});
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_EQ(result.output, "The conversion wizard " + wizard +
                               " could not be started: Permission denied.\n" + kUsage);
}

TEST(WizardProgram, ArgumentsAreRefusedWithTheCommandLineToUse) {
  const auto result = RunProcess({REELKIT_WIZARD_BINARY, "-in", "a.rcrec"});
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_NE(result.output.find("reelkit -in <inputfilename> -out <outputfilename>"),
            std::string::npos);
}

}  // namespace
}  // namespace reelkit
