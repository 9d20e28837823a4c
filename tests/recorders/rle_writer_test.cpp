#include "recorders/encoders/rle_writer.h"

#include <gtest/gtest.h>

#include <vector>

namespace reelkit {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Written(const CRleWriter& writer) {
  return Bytes(writer.bytes().begin(), writer.bytes().end());
}

// The codes spelled out byte by byte, as the format defines them.
TEST(RleWriter, CodesRunsLiteralsAndTheirLimits) {
  struct Row {
    const char* name;
    Bytes indices;
    Bytes codes;
  };
  const Bytes longRun(300, 7);
  Bytes longLiteral;
  Bytes longLiteralCodes = {0, 255};
  for (int i = 0; i < 256; ++i) {
    longLiteral.push_back(static_cast<std::uint8_t>(i));
    if (i < 255) {
      longLiteralCodes.push_back(static_cast<std::uint8_t>(i));
    }
  }
  for (const std::uint8_t code : {0, 1, 255}) {  // the pad, then the 256th pixel as a run
    longLiteralCodes.push_back(code);
  }
  for (const Row& row : {
           Row{"one pixel", {9}, {1, 9}},
           Row{"a pair", {9, 9}, {2, 9}},
           Row{"two singles", {9, 8}, {1, 9, 1, 8}},
           Row{"a run", {5, 5, 5, 5}, {4, 5}},
           Row{"odd literal padded", {1, 2, 3}, {0, 3, 1, 2, 3, 0}},
           Row{"even literal", {1, 2, 3, 4}, {0, 4, 1, 2, 3, 4}},
           Row{"pairs stay in a literal", {1, 1, 2, 2, 3}, {0, 5, 1, 1, 2, 2, 3, 0}},
           Row{"a run of three ends a literal", {1, 2, 3, 3, 3}, {1, 1, 1, 2, 3, 3}},
           Row{"runs split at 255", longRun, {255, 7, 45, 7}},
           Row{"literals split at 255", longLiteral, longLiteralCodes},
       }) {
    SCOPED_TRACE(row.name);
    ByteBlock buffer;
    CRleWriter writer;
    writer.Start(buffer);
    writer.WriteIndices(row.indices.data(), static_cast<int>(row.indices.size()));
    EXPECT_EQ(Written(writer), row.codes);
  }
}

TEST(RleWriter, MovesTheCursorTheCheapestWay) {
  struct Row {
    const char* name;
    int fromX;  // the cursor after writing this many pixels on row 0
    int x;
    int row;
    Bytes codes;
  };
  for (const Row& row : {
           Row{"right on the same row", 2, 10, 0, {0, 2, 8, 0}},
           Row{"right past 255", 0, 600, 0, {0, 2, 255, 0, 0, 2, 255, 0, 0, 2, 90, 0}},
           Row{"up and right at once", 2, 5, 3, {0, 2, 3, 3}},
           Row{"up and left: end of line first", 5, 2, 3, {0, 0, 0, 2, 2, 2}},
           Row{"next row start: end of line only", 5, 0, 1, {0, 0}},
           Row{"up past 255 rows", 0, 0, 300, {0, 2, 0, 255, 0, 2, 0, 45}},
       }) {
    SCOPED_TRACE(row.name);
    ByteBlock buffer;
    CRleWriter writer;
    writer.Start(buffer);
    const Bytes pixels(static_cast<std::size_t>(row.fromX), 1);
    if (row.fromX > 0) {
      writer.WriteIndices(pixels.data(), row.fromX);
    }
    const std::size_t before = writer.bytes().size();
    writer.MoveTo(row.x, row.row);
    const Bytes all = Written(writer);
    EXPECT_EQ(Bytes(all.begin() + static_cast<std::ptrdiff_t>(before), all.end()), row.codes);
  }
}

TEST(RleWriter, EndsThePictureWithoutLookingUncompressed) {
  ByteBlock buffer;
  CRleWriter writer;
  writer.Start(buffer);
  const Bytes row(4, 3);
  writer.WriteIndices(row.data(), 4);
  writer.MoveTo(0, 1);
  writer.WriteIndices(row.data(), 4);
  writer.Finish(100);
  EXPECT_EQ(Written(writer), (Bytes{4, 3, 0, 0, 4, 3, 0, 1}));
  writer.Start(buffer);
  writer.WriteIndices(row.data(), 4);
  writer.MoveTo(0, 1);
  writer.WriteIndices(row.data(), 4);
  writer.Finish(8);  // a 4 x 2 picture stored uncompressed takes 8 bytes too
  EXPECT_EQ(Written(writer), (Bytes{4, 3, 0, 0, 4, 3, 0, 0, 0, 1}));
}

TEST(RleWriter, GrowsASmallBuffer) {
  ByteBlock buffer(2);
  CRleWriter writer;
  writer.Start(buffer);
  Bytes noise;
  for (int i = 0; i < 1000; ++i) {
    noise.push_back(static_cast<std::uint8_t>(i * 7));
  }
  writer.WriteIndices(noise.data(), 1000);
  writer.MoveTo(999, 900);
  writer.Finish(0);
  EXPECT_GE(buffer.size(), writer.bytes().size());
  EXPECT_EQ(writer.bytes().back(), 1);
}

}  // namespace
}  // namespace reelkit
