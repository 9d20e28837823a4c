#include "common/byte_block.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace reelkit
