#include "crash_report/diag_file_name.h"

#include <gtest/gtest.h>

#include <string>

namespace reelkit {
namespace {

constexpr CivilTime kCrashTime{2016, 1, 13, 9, 5, 3};

struct NameCase {
  const char* name;
  std::string executable;
  const char* extension;
  const char* expected;  // empty when no name can be made
};

class DiagFileNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(DiagFileNameTest, PlacesTheFileInDiagBesideTheExecutable) {
  DiagPath directory;
  DiagPath path;
  const bool made = MakeDiagDirectoryName(GetParam().executable, directory) &&
                    MakeDiagFileName(directory.View(), GetParam().executable, kCrashTime,
                                     GetParam().extension, path);
  EXPECT_EQ(made, *GetParam().expected != '\0');
  if (made) {
    EXPECT_EQ(path.View(), GetParam().expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DiagFileNameTest,
    ::testing::Values(
        NameCase{"NoExtension", "/opt/reelkit/bin/reelkit", ".dmp",
                 "/opt/reelkit/bin/diag/reelkit-0053-20160113-090503.dmp"},
        NameCase{"ExtensionReplaced", "/opt/bin/reelkit.bin", ".txt",
                 "/opt/bin/diag/reelkit-0053-20160113-090503.txt"},
        NameCase{"LastDotOfTheName", "/opt/bin/reel.kit.exe", ".txt",
                 "/opt/bin/diag/reel.kit-0053-20160113-090503.txt"},
        NameCase{"DotInADirectoryIsNoExtension", "/home/tech/.local/bin/reelkit", ".dmp",
                 "/home/tech/.local/bin/diag/reelkit-0053-20160113-090503.dmp"},
        NameCase{"HiddenName", "/opt/.reelkit", ".txt",
                 "/opt/diag/.reelkit-0053-20160113-090503.txt"},
        NameCase{"AtTheRoot", "/reelkit", ".txt", "/diag/reelkit-0053-20160113-090503.txt"},
        NameCase{"NoDirectory", "reelkit", ".txt", ""},
        NameCase{"TooLong", "/" + std::string(4080, 'd') + "/reelkit", ".dmp", ""}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(DiagDirectoryName, IsBesideTheExecutable) {
  DiagPath directory;
  ASSERT_TRUE(MakeDiagDirectoryName("/opt/reelkit/bin/reelkit", directory));
  EXPECT_EQ(directory.View(), "/opt/reelkit/bin/diag");
}

struct StateCase {
  const char* name;
  std::string stateHome;
  std::string home;
  const char* expected;  // empty when there is none
};

class StateDiagDirectoryTest : public ::testing::TestWithParam<StateCase> {};

TEST_P(StateDiagDirectoryTest, IsUnderTheUsersStateHome) {
  DiagPath directory;
  const bool made = MakeStateDiagDirectoryName(GetParam().stateHome, GetParam().home, directory);
  EXPECT_EQ(made, *GetParam().expected != '\0');
  if (made) {
    EXPECT_EQ(directory.View(), GetParam().expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Variables, StateDiagDirectoryTest,
    ::testing::Values(
        StateCase{"StateHome", "/var/tech/state", "/home/tech", "/var/tech/state/reelkit/diag"},
        StateCase{"TrailingSlashes", "/var/tech/state//", "/home/tech",
                  "/var/tech/state/reelkit/diag"},
        StateCase{"DefaultUnderHome", "", "/home/tech", "/home/tech/.local/state/reelkit/diag"},
        StateCase{"RelativeStateHomeIsIgnored", "state", "/home/tech/",
                  "/home/tech/.local/state/reelkit/diag"},
        StateCase{"RelativeHomeGivesNone", "", "home/tech", ""},
        StateCase{"NeitherGivesNone", "", "", ""},
        StateCase{"TooLong", "/" + std::string(4090, 's'), "/home/tech", ""}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace reelkit
