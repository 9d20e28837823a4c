#include "common/byte_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace reelkit {
namespace {

TEST(ByteBlock, RegrowingAfterShrinkFillsZeroNotOldBytes) {
  ByteBlock block(8);
  for (std::size_t i = 0; i < block.size(); ++i) {
    block[i] = 0xAB;
  }
  block.Resize(2);
  block.Resize(6);
  EXPECT_EQ(block[0], 0xAB);
  EXPECT_EQ(block[1], 0xAB);
  for (std::size_t i = 2; i < 6; ++i) {
    EXPECT_EQ(block[i], 0) << i;
  }
}

TEST(ByteBlock, ShrinkingKeepsStorageForReuse) {
  ByteBlock block(1 << 20);
  const std::uint8_t* storage = block.data();
  block.Clear();
  block.Resize(1 << 19);
  EXPECT_EQ(block.data(), storage);
}

TEST(ByteBlock, AppendsLittleEndianWords) {
  ByteBlock block;
  block.AppendU32LE(0x11223344);
  ASSERT_EQ(block.size(), 4u);
  EXPECT_EQ(block[0], 0x44);
  EXPECT_EQ(block[3], 0x11);
}

// A bundle appends its own bytes in places: the source may lie in the storage that growing frees.
TEST(ByteBlock, AppendingItsOwnBytesSurvivesGrowth) {
  ByteBlock block;
  block.Assign(std::vector<std::uint8_t>{1, 2, 3});
  for (int round = 0; round < 6; ++round) {
    block.Append(block.span());
  }
  ASSERT_EQ(block.size(), 3u << 6);
  for (std::size_t i = 0; i < block.size(); ++i) {
    ASSERT_EQ(block[i], i % 3 + 1) << i;
  }
  block.Assign(block.span().subspan(3, 3));
  EXPECT_EQ(block, ByteBlock(block));
  EXPECT_EQ(std::vector<std::uint8_t>(block.span().begin(), block.span().end()),
            (std::vector<std::uint8_t>{1, 2, 3}));
}

// Picture-sized blocks live in pages of their own; growing across that size must keep every
// byte, and zeroed ones must read zero however they were made.
TEST(ByteBlock, KeepsItsBytesAcrossHeapAndPageStorage) {
  ByteBlock block;
  std::vector<std::uint8_t> pattern(4096);
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    pattern[i] = static_cast<std::uint8_t>(i * 7 + 1);
  }
  for (int round = 0; round < 600; ++round) {  // about 2.4 MB, past the page threshold
    block.Append(pattern);
  }
  for (std::size_t i = 0; i < block.size(); i += 997) {
    ASSERT_EQ(block[i], pattern[i % pattern.size()]) << i;
  }
  const std::size_t filled = block.size();
  block.Resize(filled + (3u << 20));
  EXPECT_EQ(block[filled - 1], pattern[(filled - 1) % pattern.size()]);
  for (std::size_t i = filled; i < block.size(); i += 4093) {
    ASSERT_EQ(block[i], 0) << i;
  }

  ByteBlock zeroed;
  zeroed.ResizeZeroed(5u << 20);
  zeroed[12345] = 9;
  zeroed.ResizeZeroed(5u << 20);  // the same storage, cleared
  EXPECT_EQ(zeroed[12345], 0);
  zeroed.ResizeZeroed(9u << 20);  // new pages
  EXPECT_EQ(std::count(zeroed.span().begin(), zeroed.span().end(), 0),
            static_cast<std::ptrdiff_t>(zeroed.size()));
}

TEST(ByteBlock, CopiesAreIndependentAndMovesEmptyTheSource) {
  ByteBlock original;
  original.Assign(std::vector<std::uint8_t>{7, 8, 9});
  ByteBlock copy = original;
  copy[0] = 1;
  EXPECT_EQ(original[0], 7);
  EXPECT_FALSE(copy == original);

  ByteBlock moved = std::move(original);
  EXPECT_EQ(moved.size(), 3u);
  EXPECT_TRUE(original.empty());  // NOLINT(bugprone-use-after-move): a moved-from block is empty
  original.Append(moved.span());
  EXPECT_EQ(original, moved);

  // Equal contents compare equal whatever storage lies behind them.
  ByteBlock roomy(1 << 16);
  roomy.Assign(moved.span());
  EXPECT_EQ(roomy, moved);
}

}  // namespace
}  // namespace reelkit
