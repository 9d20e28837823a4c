// The output formats are described once, in kOutputFormats: no other source file spells a
// format's name, extension or FourCC, and the documents a user reads and the batch tool name every
// row.
#include "common/output_format.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>

#include "tests/testing/temp_dir.h"

namespace reelkit {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTable = "common/output_format.h";

// Other facts that happen to be spelled like a format name: the codec module registers the
// handler it implements, input detection reads the handler of an input file, and the wizard's
// input filter is stored under the same four letters.
const std::set<std::pair<std::string, std::string>> kOtherFacts = {
    {"recorders/vqcodec_module.cpp", "VQSC"},
    {"engine/input_detection.cpp", "VQSC"},
    {"wizard/wizard_settings.cpp", "VQSC"},
};

// Every folder of the product's sources: the top-level folders that CMake builds, but for the
// tests and benchmarks, which spell formats on purpose.
std::vector<std::string> SourceFiles() {
  std::vector<std::string> files;
  const fs::path root = REELKIT_SOURCE_DIR;
  for (const auto& folder : fs::directory_iterator(root)) {
    const std::string name = folder.path().filename().string();
    if (!fs::exists(folder.path() / "CMakeLists.txt") || name == "tests" || name == "bench") {
      continue;
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder.path())) {
      const std::string extension = entry.path().extension().string();
      if (entry.is_regular_file() && (extension == ".cpp" || extension == ".h")) {
        files.push_back(fs::relative(entry.path(), root).string());
      }
    }
  }
  return files;
}

// A FourCC as MakeFourCC spells it: 'm', 'r', 'l', 'e'.
std::string SpelledFourCC(FourCC fourcc) {
  std::string spelled;
  for (const char letter : FourCCToText(fourcc)) {
    spelled += (spelled.empty() ? "'" : ", '") + std::string(1, letter) + "'";
  }
  return spelled;
}

std::string SourceText(const std::string& relative) {
  return testing::ReadFileBytes((fs::path(REELKIT_SOURCE_DIR) / relative).string());
}

TEST(OutputFormatTable, NoOtherSourceSpellsAFormatsNameOrExtension) {
  const std::vector<std::string> files = SourceFiles();
  ASSERT_GT(files.size(), 50u);
  for (const OutputFormatDescriptor& row : kOutputFormats) {
    for (const std::string_view word : {row.name, row.extension}) {
      const std::string literal = "\"" + std::string(word) + "\"";
      for (const std::string& file : files) {
        if (file == kTable || kOtherFacts.contains({file, std::string(word)})) {
          continue;
        }
        EXPECT_EQ(SourceText(file).find(literal), std::string::npos)
            << file << " spells " << literal << "; take it from " << kTable;
      }
    }
    const std::string fourcc = SpelledFourCC(row.fourcc);
    for (const std::string& file : files) {
      if (file != "common/fourcc.h") {
        EXPECT_EQ(SourceText(file).find(fourcc), std::string::npos)
            << file << " spells " << fourcc << "; take it from common/fourcc.h";
      }
    }
  }
}

TEST(OutputFormatTable, RowsAreDistinctAndTheDocumentsNameEachOne) {
  std::set<std::string_view> names;
  std::set<OutputFormat> formats;
  const std::string readme = SourceText("README.md");
  const std::string manual = SourceText("data/reelkit.1.in");
  // The batch tool is a shell script that names its outputs as the wizard does.
  const std::string batch = SourceText("app/reelkit-batch");
  for (const OutputFormatDescriptor& row : kOutputFormats) {
    EXPECT_TRUE(names.insert(row.name).second) << row.name;
    EXPECT_TRUE(formats.insert(row.format).second) << row.name;
    EXPECT_EQ(FindOutputFormatNamed(row.name), &row);
    EXPECT_EQ(FourCCOf(row.format), row.fourcc);
    EXPECT_THAT(readme, ::testing::HasSubstr("`" + std::string(row.name) + "`"));
    // The option's row in the README gives each format's rate after its name.
    const std::string rate = std::to_string(row.framesPerSecond);
    EXPECT_TRUE(std::regex_search(readme, std::regex("`" + std::string(row.name) + "`[^`]* " +
                                                     rate + "(-per-second| frames per second)")))
        << row.name << " at " << rate;
    EXPECT_THAT(manual, ::testing::HasSubstr(std::string(row.name)));
    EXPECT_THAT(batch, ::testing::HasSubstr(std::string(row.name)));
    if (row.extension != ".avi") {
      EXPECT_THAT(batch, ::testing::HasSubstr("= " + std::string(row.name) + " ] && extension=" +
                                              std::string(row.extension.substr(1))));
    }
  }
  EXPECT_EQ(FindOutputFormatNamed("mrle"), nullptr);  // names are case-sensitive
  EXPECT_FALSE(IsSupportedOutputFormat(static_cast<OutputFormat>(1)));
}

}  // namespace
}  // namespace reelkit
