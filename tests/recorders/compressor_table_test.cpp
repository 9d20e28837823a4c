#include "recorders/compressor_table.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace reelkit {
namespace {

// A compressor that only says which table entry made it.
class CNamedCompressor : public ICompressor {
 public:
  explicit CNamedCompressor(std::string entryName) : name(std::move(entryName)) {}
  std::uint32_t Connect(const VideoMediaType&, CompressedStreamInfo&) override { return 0; }
  std::uint32_t Compress(std::span<const std::uint8_t>, CompressedPacket&) override { return 0; }
  std::string name;
};

struct EntrySpec {
  std::string name;
  std::optional<std::string> fccHandler;
  std::uint32_t propertyBagResult = 0;
  std::uint32_t createResult = 0;
};

void Fill(CCompressorTable& table, const std::vector<EntrySpec>& specs) {
  for (const EntrySpec& wanted : specs) {
    CompressorEntry entry;
    entry.registrationKey = wanted.name;
    entry.fccHandler = wanted.fccHandler;
    entry.propertyBagResult = wanted.propertyBagResult;
    entry.create = [wanted](std::unique_ptr<ICompressor>& out) {
      if (wanted.createResult == 0) {
        out = std::make_unique<CNamedCompressor>(wanted.name);
      }
      return wanted.createResult;
    };
    table.Register(std::move(entry));
  }
}

struct FindRow {
  std::string name;
  std::vector<EntrySpec> entries;
  FourCC wanted;
  std::uint32_t expectedResult;
  std::string expectedEntry;  // empty: no compressor
};

class FindCompressorTest : public ::testing::TestWithParam<FindRow> {};

TEST_P(FindCompressorTest, FirstExactMatchWins) {
  const FindRow& row = GetParam();
  CCompressorTable table;
  Fill(table, row.entries);
  std::unique_ptr<ICompressor> found = std::make_unique<CNamedCompressor>("stale");
  EXPECT_EQ(FindCompressor(table, row.wanted, &found), row.expectedResult);
  if (row.expectedEntry.empty()) {
    EXPECT_EQ(found, nullptr);
  } else {
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(dynamic_cast<CNamedCompressor&>(*found).name, row.expectedEntry);
  }
}

const FourCC kMsvc = FourCCFromText("msvc");

INSTANTIATE_TEST_SUITE_P(
    Rule, FindCompressorTest,
    ::testing::Values(
        FindRow{"ExactText", {{"a", "mrle"}, {"b", "msvc"}}, kMsvc, 0, "b"},
        FindRow{"NoCaseFolding", {{"a", "MSVC"}}, kMsvc, kResultFail, ""},
        FindRow{"FirstOfTwoWins", {{"first", "msvc"}, {"second", "msvc"}}, kMsvc, 0, "first"},
        FindRow{"LongerThanFourNeverMatches", {{"a", "msvc1"}}, kMsvc, kResultFail, ""},
        // A text of more than four characters reads as code 0, which equals the zero FourCC.
        FindRow{"LongerThanFourIsCodeZero", {{"a", "msvc1"}}, 0, 0, "a"},
        FindRow{"ShorterIsZeroPadded", {{"a", "ms"}}, MakeFourCC('m', 's', 0, 0), 0, "a"},
        FindRow{"MissingPropertySkipsEntry", {{"a", std::nullopt}, {"b", "msvc"}}, kMsvc, 0, "b"},
        FindRow{"UnreadableEntryEndsSearch",
                {{"a", "mrle", 0x80070002}, {"b", "msvc"}},
                kMsvc,
                0x80070002,
                ""},
        FindRow{"CreationFailureIsReturned",
                {{"a", "msvc", 0, 0x8007000E}, {"b", "msvc"}},
                kMsvc,
                0x8007000E,
                ""},
        FindRow{"EmptyTable", {}, kMsvc, kResultFail, ""}),
    [](const auto& rowInfo) { return std::string(rowInfo.param.name); });

TEST(FindCompressorArgumentsTest, MissingOutReferenceIsInvalidArgument) {
  CCompressorTable table;
  Fill(table, {{"a", "msvc"}});
  EXPECT_EQ(FindCompressor(table, kMsvc, nullptr), kResultInvalidArgument);
}

TEST(CompressorTableTest, RegisteringTheSameKeyReplacesInPlace) {
  CCompressorTable table;
  Fill(table, {{"module", "VQSC"}, {"other", "msvc"}});
  CompressorEntry again;
  again.registrationKey = "module";
  again.fccHandler = "VQS2";
  table.Register(again);
  const auto entries = table.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].fccHandler, "VQS2");
}

TEST(CompressorTableTest, ProcessTableOffersTheBuiltInEncoders) {
  std::unique_ptr<ICompressor> found;
  EXPECT_EQ(FindCompressor(kFourCCMicrosoftVideo1, &found), 0u);
  EXPECT_NE(found, nullptr);
  EXPECT_EQ(FindCompressor(FourCCFromText("MSVC"), &found), kResultFail);
}

}  // namespace
}  // namespace reelkit
