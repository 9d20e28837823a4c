#include "crash_report/dwarf_symbolizer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <regex>
#include <string>

namespace reelkit {
namespace {

using ::testing::HasSubstr;

[[gnu::noinline]] int FunctionToFind(int value) {
  return value * 3 + 1;
}

std::string Symbolize(std::uint64_t address, bool exact) {
  const CDwarfSymbolizer symbolizer(::getpid());
  EXPECT_TRUE(symbolizer.Ready());
  ReportText text;
  symbolizer.AppendFrame(address, exact, text);
  return std::string(text.View());
}

TEST(DwarfSymbolizer, NamesAFunctionItsFileAndLine) {
  const auto address = reinterpret_cast<std::uintptr_t>(&FunctionToFind);
  const std::string line = Symbolize(address, /*exact=*/true);
  EXPECT_THAT(line, HasSubstr("\tsupport_tests (0x"));
  EXPECT_THAT(line, HasSubstr("FunctionToFind(int)"));
  EXPECT_TRUE(std::regex_search(line, std::regex(R"(dwarf_symbolizer_test\.cpp, \d+\)\r\n$)")))
      << line;
}

TEST(DwarfSymbolizer, LooksUpAReturnAddressInsideTheCall) {
  // A return address just past a function's end belongs to the call made from within it.
  const auto address = reinterpret_cast<std::uintptr_t>(&FunctionToFind);
  EXPECT_THAT(Symbolize(address + 1, /*exact=*/false), HasSubstr("FunctionToFind(int)"));
}

TEST(DwarfSymbolizer, UnmappedAddressIsUnknown) {
  EXPECT_EQ(Symbolize(0x10, /*exact=*/true), "\t<unkown module> (0x10) : <unknown function>\r\n");
}

TEST(DwarfSymbolizer, NonexistentProcessIsNotReady) {
  const CDwarfSymbolizer symbolizer(0x3fffffff);
  EXPECT_FALSE(symbolizer.Ready());
}

}  // namespace
}  // namespace reelkit
