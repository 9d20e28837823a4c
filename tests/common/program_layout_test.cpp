#include "common/program_layout.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/testing/temp_dir.h"

namespace reelkit {
namespace {

namespace fs = std::filesystem;

TEST(ProgramLayout, InstalledProgramUsesThePrivateFolderBesideItsBinFolder) {
  testing::TempDir dir;
  const fs::path prefix = dir.path() / "opt" / "reelkit";
  const fs::path privateDirectory =
      (prefix / "bin" / REELKIT_PRIVATE_DIRECTORY_FROM_BIN).lexically_normal();
  fs::create_directories(privateDirectory);

  const ProgramLayout layout = ProgramLayoutOf((prefix / "bin" / "reelkit").string());
  EXPECT_TRUE(layout.installed);
  EXPECT_EQ(layout.executableDirectory, (prefix / "bin").string());
  EXPECT_EQ(layout.privateDirectory, privateDirectory.string());
  EXPECT_EQ(fs::path(layout.privateDirectory).filename(), "reelkit");
}

TEST(ProgramLayout, BuildTreeKeepsEverythingBesideTheExecutable) {
  testing::TempDir dir;
  const ProgramLayout layout = ProgramLayoutOf(dir.File("reelkit"));
  EXPECT_FALSE(layout.installed);
  EXPECT_EQ(layout.executableDirectory, dir.path().string());
  EXPECT_EQ(layout.privateDirectory, dir.path().string());
}

TEST(ProgramLayout, UnknownOrRelativePathGivesNoFolders) {
  for (const char* path : {"", "reelkit", "bin/reelkit"}) {
    const ProgramLayout layout = ProgramLayoutOf(path);
    EXPECT_FALSE(layout.installed) << path;
    EXPECT_TRUE(layout.executableDirectory.empty()) << path;
    EXPECT_TRUE(layout.privateDirectory.empty()) << path;
  }
}

TEST(ProgramLayout, RunningProgramIsThisTest) {
  const ProgramLayout layout = CurrentProgramLayout();
  EXPECT_EQ(layout.executableDirectory, fs::canonical("/proc/self/exe").parent_path().string());
}

}  // namespace
}  // namespace reelkit
