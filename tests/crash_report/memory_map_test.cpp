#include "crash_report/memory_map.h"

#include <gtest/gtest.h>

#include <string>

namespace reelkit {
namespace {

TEST(ParseMapsLine, ReadsEveryField) {
  MemoryMapping mapping;
  ASSERT_TRUE(
      ParseMapsLine("7f3a1c028000-7f3a1c1bd000 r-xp 00028000 08:01 1316423                    "
                    "/usr/lib/x86_64-linux-gnu/libc.so.6",
                    mapping));
  EXPECT_EQ(mapping.start, 0x7f3a1c028000u);
  EXPECT_EQ(mapping.end, 0x7f3a1c1bd000u);
  EXPECT_EQ(mapping.fileOffset, 0x28000u);
  EXPECT_TRUE(mapping.readable);
  EXPECT_FALSE(mapping.writable);
  EXPECT_TRUE(mapping.executable);
  EXPECT_FALSE(mapping.shared);
  EXPECT_EQ(mapping.path, "/usr/lib/x86_64-linux-gnu/libc.so.6");
}

TEST(ParseMapsLine, KeepsSpacesInsideThePath) {
  MemoryMapping mapping;
  ASSERT_TRUE(
      ParseMapsLine("7f00-8f00 rw-s 00000000 00:01 42  /memfd:frame buffer (deleted)", mapping));
  EXPECT_TRUE(mapping.shared);
  EXPECT_EQ(mapping.path, "/memfd:frame buffer (deleted)");
}

TEST(ParseMapsLine, AnonymousLineMayEndAfterTheInode) {
  MemoryMapping mapping;
  ASSERT_TRUE(ParseMapsLine("7ffd1000-7ffd2000 rw-p 00000000 00:00 0", mapping));
  EXPECT_TRUE(mapping.path.empty());
}

struct BrokenLine {
  const char* name;
  const char* line;
};

class BrokenMapsLineTest : public ::testing::TestWithParam<BrokenLine> {};

TEST_P(BrokenMapsLineTest, IsRefused) {
  MemoryMapping mapping;
  EXPECT_FALSE(ParseMapsLine(GetParam().line, mapping));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BrokenMapsLineTest,
    ::testing::Values(BrokenLine{"Empty", ""}, BrokenLine{"NoRange", "rw-p 00000000 00:00 0"},
                      BrokenLine{"EndBeforeStart", "2000-1000 rw-p 00000000 00:00 0"},
                      BrokenLine{"NotHex", "10g0-2000 rw-p 00000000 00:00 0"},
                      BrokenLine{"ShortPermissions", "1000-2000 rw 00000000 00:00 0"},
                      BrokenLine{"CutAfterPermissions", "1000-2000 rw-p "},
                      BrokenLine{"AddressTooLong", "11112222333344445-2000 rw-p 0 00:00 0"}),
    [](const auto& row) { return std::string(row.param.name); });

struct PolicyCase {
  const char* name;
  const char* line;
  DumpPolicy expected;
};

class DumpPolicyTest : public ::testing::TestWithParam<PolicyCase> {};

TEST_P(DumpPolicyTest, ChoosesWhatTheDumpCarries) {
  MemoryMapping mapping;
  ASSERT_TRUE(ParseMapsLine(GetParam().line, mapping));
  EXPECT_EQ(ChooseDumpPolicy(mapping), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Mappings, DumpPolicyTest,
    ::testing::Values(
        PolicyCase{"Heap", "5600-7600 rw-p 00000000 00:00 0 [heap]", DumpPolicy::ResidentPages},
        PolicyCase{"Anonymous", "7f00-8f00 rw-p 00000000 00:00 0", DumpPolicy::ResidentPages},
        PolicyCase{"MainStack", "7ffd0000-7ffe0000 rw-p 00000000 00:00 0 [stack]",
                   DumpPolicy::ResidentPages},
        PolicyCase{"Guard", "7f00-8000 ---p 00000000 00:00 0", DumpPolicy::Skip},
        PolicyCase{"Vvar", "7fff0000-7fff4000 r--p 00000000 00:00 0 [vvar]", DumpPolicy::Skip},
        PolicyCase{"Vdso", "7fff4000-7fff6000 r-xp 00000000 00:00 0 [vdso]",
                   DumpPolicy::WholeMapping},
        PolicyCase{"LibraryCode", "7f10-7f20 r-xp 00028000 08:01 1 /usr/lib/libc.so.6",
                   DumpPolicy::PrivateFile},
        PolicyCase{"LibraryData", "7f20-7f30 rw-p 001f0000 08:01 1 /usr/lib/libc.so.6",
                   DumpPolicy::PrivateFile},
        PolicyCase{"SharedFile", "7f30-9f30 rw-s 00000000 08:01 9 /tmp/video.avi",
                   DumpPolicy::Skip},
        PolicyCase{"Device", "7f40-7f50 rw-s 00000000 00:05 3 /dev/dri/card0", DumpPolicy::Skip},
        PolicyCase{"LargestAnonymous", "100000000-1100000000 rw-p 00000000 00:00 0",
                   DumpPolicy::ResidentPages},
        PolicyCase{"HugeReservation", "7fff8000-10007fff9000 rw-p 00000000 00:00 0",
                   DumpPolicy::Skip},
        PolicyCase{"SharedAnonymous", "7f50-7f60 rw-s 00000000 00:01 4 /dev/zero (deleted)",
                   DumpPolicy::Skip}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace reelkit
