// Bundles with flipped bits, cut tails and lying sizes: whatever they hold, the decoder stays
// inside its buffers (the sanitizer build checks that) and fails only with its own exceptions.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "decoder/avi_exception.h"
#include "decoder/screen_stream_decoder.h"
#include "tests/decoder/decoder_test_support.h"

namespace reelkit {
namespace {

using testing::Bundle;
using testing::Bytes;

// Well-formed sub-packets of every kind for a small picture at the depth.
std::vector<Bytes> SeedBundles(std::uint16_t bits) {
  constexpr std::int32_t kWidth = 13;
  constexpr std::int32_t kHeight = 9;
  const std::size_t native = DibImageSize(kWidth, kHeight, bits);
  const BitmapInfoHeader header = testing::MakeHeader(kWidth, kHeight, bits, bits <= 8 ? 16 : 0);
  testing::MoveRecordFields copy{0, 1, 1, 9, 6};
  copy.sourceLeft = 2;
  copy.sourceTop = 3;
  testing::MoveRecordFields fill{1, 3, 2, 12, 8};
  fill.color = 0x12345678;
  testing::MoveRecordFields save{2, 0, 0, 13, 9};
  const Bytes opcodes{13, 2, 1, 2, 3, 4, 5, 6, 7, 8, 12, 3, 7, 2, 9, 9, 9,  9, 3, 3, 1,
                      2,  3, 4, 5, 1, 9, 9, 5, 3, 1, 2,  6, 1, 1, 2, 3, 10, 4, 2, 6};
  std::vector<Bytes> bundles;
  bundles.push_back(
      Bundle("KBND")
          .Add("FINT", testing::FormatPayload(header, Bytes(64, 0x21)))
          .Add("KFRM", testing::KeyImagePayload(std::nullopt, {}, testing::PatternImage(native, 1),
                                                testing::PatternImage(native, 2)))
          .Packet());
  for (std::uint32_t method : {0u, 1u, 2u}) {
    bundles.push_back(Bundle()
                          .Add("DLTA", testing::DeltaPayload(2, 1, 8, 5, opcodes, method))
                          .Add("MOVE", testing::MovePayload({save, copy, fill}, method))
                          .Packet());
  }
  bundles.push_back(Bundle()
                        .Add("MOUS", testing::CursorShapePayload(3, 4, 1, 2, Bytes(36, 0x10)))
                        .Add("MPOS", testing::CursorPositionPayload(11, 7))
                        .Add("INIT", {})
                        .Packet());
  bundles.push_back(Bundle("KBND")
                        .Add("KFRM", testing::KeyImagePayload(header, Bytes(64, 0x33),
                                                              testing::PatternImage(native, 5),
                                                              testing::PatternImage(native, 6)))
                        .Packet());
  return bundles;
}

Bytes Mutate(const Bytes& packet, std::mt19937& random) {
  Bytes mutated = packet;
  switch (random() % 4) {
    case 0:  // cut the tail
      mutated.resize(4 + random() % (mutated.size() - 3));
      break;
    case 1:  // flip a few bytes
      for (int k = 0, n = 1 + static_cast<int>(random() % 8); k < n; ++k) {
        mutated[4 + random() % (mutated.size() - 4)] = static_cast<std::uint8_t>(random());
      }
      break;
    case 2: {  // a large or negative number in one field-sized place
      const std::size_t at = 4 + random() % (mutated.size() - 4);
      const std::uint32_t value = random() % 2 == 0 ? 0x7FFFFFF0u + random() % 16 : random();
      for (std::size_t k = 0; k < 4 && at + k < mutated.size(); ++k) {
        mutated[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
      }
      break;
    }
    default:  // random bytes after the bundle's FourCC
      for (std::size_t k = 4; k < mutated.size(); ++k) {
        mutated[k] = static_cast<std::uint8_t>(random());
      }
      break;
  }
  return mutated;
}

class HostileBundles : public ::testing::TestWithParam<testing::DepthCase> {};

TEST_P(HostileBundles, StayInsideTheirBuffersAndThrowOnlyTheDecodersExceptions) {
  const std::uint16_t bits = GetParam().bits;
  const BitmapFormat stream = testing::MakeFormat(13, 9, bits, bits <= 8 ? 16 : 0);
  BitmapFormat output = stream;
  if (bits != 16 && bits != 32) {
    output.SetPictureFormat(32, kCompressionRgb);
  }
  const std::vector<Bytes> seeds = SeedBundles(bits);
  // After a failure the decoder starts afresh: given the formats it started with, the key bundle
  // then gives the picture it gives a decoder that never saw anything else.
  const auto keyPicture = [&](CScreenStreamDecoder& decoder) {
    BitmapFormat format = output;
    Bytes frame(DibImageSize(13, 9, 32));
    decoder.Initialize(stream, format);
    decoder.DecodePacket(stream, format, seeds.front(), frame);
    return frame;
  };
  CScreenStreamDecoder fresh;
  const Bytes expected = keyPicture(fresh);
  BitmapFormat changing = output;

  std::mt19937 random(bits);
  Bytes frame(DibImageSize(13, 9, 32));
  CScreenStreamDecoder decoder;
  int thrown = 0;
  for (int round = 0; round < 1500; ++round) {
    const Bytes& seed = seeds[round % seeds.size()];
    const Bytes packet = round % 3 == 0 ? seed : Mutate(seed, random);
    try {
      decoder.Initialize(stream, changing);
      decoder.DecodePacket(stream, changing, packet, frame);
    } catch (const CAviException&) {
      ++thrown;
      ASSERT_FALSE(decoder.IsInitialized());
      ASSERT_EQ(keyPicture(decoder), expected) << "after round " << round;
    }
  }
  EXPECT_GT(thrown, 0);
}

INSTANTIATE_TEST_SUITE_P(Depths, HostileBundles, ::testing::ValuesIn(testing::kStreamDepths),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace
}  // namespace reelkit
