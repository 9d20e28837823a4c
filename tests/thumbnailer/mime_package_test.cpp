// The desktop's side of recordings: the shared-mime-info package that gives them a type by their
// content, and the thumbnailer entry that names the program for that type. Checked with Debian's
// own tools against a MIME database of their own in a temporary XDG_DATA_HOME.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/engine/still_picture_sessions.h"
#include "tests/testing/process.h"
#include "tests/testing/temp_dir.h"
#include "tests/thumbnailer/png_reading.h"

namespace reelkit {
namespace {

using testing::RunProcess;
using testing::TempDir;

const std::string kMimeXml = std::string(REELKIT_SOURCE_DIR) + "/data/reelkit-mime.xml";
const std::string kThumbnailerEntry = std::string(REELKIT_SOURCE_DIR) + "/data/reelkit.thumbnailer";
const std::string kSystemMimeXml = "/usr/share/mime/packages/freedesktop.org.xml";
const std::string kRecordingType = "video/x-reelkit-recording";
const std::string kScreenAviType = "video/x-reelkit-screen-avi";

std::string ReadText(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Where a program lies on the PATH, or nothing.
std::string FindProgram(const std::string& name) {
  std::string path = RunProcess({"/bin/sh", "-c", "command -v " + name}).output;
  while (!path.empty() && path.back() == '\n') {
    path.pop_back();
  }
  return path;
}

// The package's types and their comments' languages, as the tools would read them.
std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

// Debian's shared-mime-info has no schema file of its own: its database carries the document
// type inline, and that is what every package is held to.
TEST(MimePackage, IsValidAgainstTheSharedMimeInfoDocumentType) {
  const std::string xmllint = FindProgram("xmllint");
  if (xmllint.empty() || !std::filesystem::exists(kSystemMimeXml)) {
    GTEST_SKIP() << "xmllint or shared-mime-info is not installed";
  }
  const std::string system = ReadText(kSystemMimeXml);
  const std::size_t open = system.find("<!DOCTYPE mime-info [");
  const std::size_t close = system.find("]>", open);
  ASSERT_NE(open, std::string::npos);
  ASSERT_NE(close, std::string::npos);
  TempDir dir;
  const std::string dtd =
      dir.Write("shared-mime-info.dtd", system.substr(open + 21, close - open - 21));
  const auto run = RunProcess({xmllint, "--noout", "--dtdvalid", dtd, kMimeXml});
  EXPECT_EQ(run.exitStatus, 0);
}

// The catalog's languages are named by its files (zh is Simplified Chinese); shared-mime-info
// names regions with an underscore.
TEST(MimePackage, NamesBothTypesInEveryLanguageOfTheCatalog) {
  const std::string xml = ReadText(kMimeXml);
  EXPECT_EQ(Count(xml, "<mime-type type=\"" + kRecordingType + "\">"), 1u);
  EXPECT_EQ(Count(xml, "<mime-type type=\"" + kScreenAviType + "\">"), 1u);
  EXPECT_EQ(Count(xml, "<comment>"), 2u);
  int languages = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(REELKIT_SOURCE_DIR) +
                                                               "/resources/catalog")) {
    std::string language = entry.path().stem().string();
    if (language == "default") {
      continue;
    }
    ++languages;
    if (language == "zh") {
      language = "zh-cn";
    }
    if (const std::size_t dash = language.find('-'); dash != std::string::npos) {
      language[dash] = '_';
      for (std::size_t k = dash + 1; k < language.size(); ++k) {
        language[k] = static_cast<char>(std::toupper(static_cast<unsigned char>(language[k])));
      }
    }
    EXPECT_EQ(Count(xml, "<comment xml:lang=\"" + language + "\">"), 2u) << language;
  }
  EXPECT_EQ(languages, 12);
}

class MimeDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string update = FindProgram("update-mime-database");
    gio_ = FindProgram("gio");
    if (update.empty() || gio_.empty()) {
      GTEST_SKIP() << "shared-mime-info or libglib2.0-bin is not installed";
    }
    const std::filesystem::path packages = home_.path() / "mime" / "packages";
    std::filesystem::create_directories(packages);
    std::filesystem::copy_file(kMimeXml, packages / "reelkit-mime.xml");
    ASSERT_EQ(RunProcess({update, (home_.path() / "mime").string()}).exitStatus, 0);
  }

  std::string TypeOf(const std::string& path) const {
    const auto run = RunProcess({"/usr/bin/env", "XDG_DATA_HOME=" + home_.path().string(),
                                 "XDG_DATA_DIRS=/usr/share", gio_, "info", "-a",
                                 "standard::content-type", path});
    std::smatch match;
    static const std::regex kContentType("standard::content-type: (\\S+)");
    return std::regex_search(run.output, match, kContentType)
               ? match[1].str()
               : "exit " + std::to_string(run.exitStatus) + ": " + run.output;
  }

  std::string gio_;
  TempDir home_;
  TempDir files_;
};

TEST_F(MimeDatabase, KnowsRecordingsByTheirContentWhateverTheirName) {
  const ByteBlock session = testing::RecordStillSession({});
  const std::string recording = files_.Write("call.rcrec", session.span());
  const std::string renamed = files_.Write("call.bin", session.span());
  EXPECT_EQ(TypeOf(recording), kRecordingType);
  EXPECT_EQ(TypeOf(renamed), kRecordingType);

  // A pass-through AVI is known by its content; under its own name the name is looked at first
  // and makes it an AVI, of which it is a sub-class.
  const std::string avi = files_.File("call.avi");
  ASSERT_EQ(
      RunProcess({REELKIT_BINARY, "-in", recording, "-out", avi, "-fourcc", "VQSC"}).exitStatus, 0);
  std::filesystem::copy_file(avi, files_.File("avi.bin"));
  EXPECT_EQ(TypeOf(files_.File("avi.bin")), kScreenAviType);
  EXPECT_EQ(TypeOf(avi), "video/x-msvideo");

  // An ordinary AVI stays one, under any name.
  const std::string plain = files_.File("plain.bin");
  ASSERT_EQ(
      RunProcess({REELKIT_BINARY, "-in", recording, "-out", plain, "-fourcc", "MRLE"}).exitStatus,
      0);
  EXPECT_EQ(TypeOf(plain), "video/x-msvideo");
}

// The entry's command line, as a file manager fills it in, makes the thumbnail; the entry serves
// exactly the package's two types.
TEST(ThumbnailerEntry, CommandLineMakesThePngForBothTypes) {
  const std::string entry = ReadText(kThumbnailerEntry);
  EXPECT_EQ(entry.rfind("[Thumbnailer Entry]\n", 0), 0u);
  EXPECT_NE(entry.find("\nTryExec=reelkit-thumbnailer\n"), std::string::npos);
  EXPECT_NE(entry.find("\nMimeType=" + kRecordingType + ";" + kScreenAviType + ";\n"),
            std::string::npos);
  std::smatch exec;
  ASSERT_TRUE(std::regex_search(entry, exec, std::regex("\nExec=(.*)\n")));
  std::istringstream words(exec[1].str());
  TempDir dir;
  const std::string input = dir.Write("call.rcrec", testing::RecordStillSession({}).span());
  const std::string output = dir.File("call.png");
  std::vector<std::string> command;
  for (std::string word; words >> word;) {
    if (word == "reelkit-thumbnailer") {
      word = THUMBNAILER_BINARY;
    }
    command.push_back(word == "%s" ? "256" : word == "%i" ? input : word == "%o" ? output : word);
  }
  ASSERT_EQ(command.size(), 5u);
  EXPECT_EQ(RunProcess(command).exitStatus, 0);
  const testing::DecodedPng png = testing::ReadPng(output);
  EXPECT_EQ(png.width, 256u);
  EXPECT_EQ(png.height, 160u);
}

}  // namespace
}  // namespace reelkit
