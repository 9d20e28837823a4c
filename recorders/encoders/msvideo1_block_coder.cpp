#include "recorders/encoders/msvideo1_block_coder.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace reelkit::msvc1 {

namespace {

// Block codes, as a decoder tells them apart by their first two bytes (flags or colour, little
// endian): a high byte of 0x80 and above is a one-colour fill (0x84..0x87 excepted: those count
// skipped blocks); below 0x80 the bytes are the 16 flag bits of a two-colour block, or of an
// eight-colour block when the first colour that follows has its top bit set.
constexpr std::uint16_t kFillMarker = 0x8000;
constexpr std::uint16_t kEightColourMarker = 0x8000;
constexpr std::uint8_t kLowestHighByteOfFill = 0x80;
constexpr int kFillSize = 2;
constexpr int kTwoColourSize = 6;
constexpr int kEightColourSize = 18;
// A fill of red 1 would start with a high byte of 0x84..0x87 and read as skipped blocks.
constexpr int kRedThatReadsAsSkip = 1;
// The top-right pixel's flag is the top bit of the flags, which must stay clear.
constexpr int kTopRightPixel = kBlockPixels - 1;
constexpr int kTwoMeansRounds = 2;

struct Rgb {
  int r = 0;
  int g = 0;
  int b = 0;
};

constexpr Rgb Unpack(std::uint16_t c) {
  return {(c >> 10) & 31, (c >> 5) & 31, c & 31};
}

constexpr std::uint16_t Pack(Rgb c) {
  return static_cast<std::uint16_t>((c.r << 10) | (c.g << 5) | c.b);
}

constexpr int Distance(Rgb a, Rgb b) {
  const int dr = a.r - b.r;
  const int dg = a.g - b.g;
  const int db = a.b - b.b;
  return dr * dr + dg * dg + db * db;
}

int Cost(int distortion, int bytes) {
  return distortion + kDistortionPerByte * bytes;
}

void PutU16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value & 0xFF);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

struct ColourSum {
  int r = 0;
  int g = 0;
  int b = 0;
  int count = 0;

  void Add(Rgb c) {
    r += c.r;
    g += c.g;
    b += c.b;
    ++count;
  }
  // Rounded mean; count must not be 0.
  Rgb Mean() const {
    const int half = count / 2;
    return {(r + half) / count, (g + half) / count, (b + half) / count};
  }
};

using BlockRgb = std::array<Rgb, kBlockPixels>;

struct FillChoice {
  Rgb colour;
  int distortion = 0;
};

struct PairChoice {
  Rgb first;   // pixels whose bit is set in maskFirst
  Rgb second;  // the others
  std::uint16_t maskFirst = 0;
  int distortion = 0;
};

struct EightChoice {
  std::array<PairChoice, 4> quadrants;  // bottom left, bottom right, top left, top right
  int distortion = 0;
};

FillChoice ChooseFill(const BlockRgb& px) {
  ColourSum sum;
  for (const Rgb& p : px) {
    sum.Add(p);
  }
  FillChoice fill{sum.Mean(), 0};
  if (fill.colour.r == kRedThatReadsAsSkip) {
    fill.colour.r = sum.r < kBlockPixels ? 0 : 2;
  }
  for (const Rgb& p : px) {
    fill.distortion += Distance(p, fill.colour);
  }
  return fill;
}

// The block holds one or two colours: returns the exact pair, or false for more colours.
bool FindExactPair(const BlockPixels& source, const BlockRgb& px, PairChoice& pair) {
  const std::uint16_t first = source[0];
  std::uint16_t second = first;
  std::uint16_t maskFirst = 0;
  for (int i = 0; i < kBlockPixels; ++i) {
    if (source[i] == first) {
      maskFirst |= static_cast<std::uint16_t>(1U << i);
    } else if (second == first) {
      second = source[i];
    } else if (source[i] != second) {
      return false;
    }
  }
  pair = {px[0], Unpack(second), maskFirst, 0};
  return true;
}

// Seeds two centroids at the extremes of the component that spreads most, then runs a few rounds
// of nearest-centroid assignment and re-centring.
PairChoice ChooseTwoColours(const BlockRgb& px) {
  int lowest[3] = {0, 0, 0};
  int highest[3] = {0, 0, 0};
  auto component = [&px](int i, int axis) {
    return axis == 0 ? px[i].r : axis == 1 ? px[i].g : px[i].b;
  };
  for (int i = 1; i < kBlockPixels; ++i) {
    for (int axis = 0; axis < 3; ++axis) {
      if (component(i, axis) < component(lowest[axis], axis)) {
        lowest[axis] = i;
      }
      if (component(i, axis) > component(highest[axis], axis)) {
        highest[axis] = i;
      }
    }
  }
  int axis = 0;
  int widest = -1;
  for (int a = 0; a < 3; ++a) {
    const int spread = component(highest[a], a) - component(lowest[a], a);
    if (spread > widest) {
      widest = spread;
      axis = a;
    }
  }
  PairChoice pair{px[highest[axis]], px[lowest[axis]], 0, 0};
  for (int round = 0;; ++round) {
    ColourSum firstSum;
    ColourSum secondSum;
    pair.maskFirst = 0;
    pair.distortion = 0;
    for (int i = 0; i < kBlockPixels; ++i) {
      const int toFirst = Distance(px[i], pair.first);
      const int toSecond = Distance(px[i], pair.second);
      if (toFirst <= toSecond) {
        pair.maskFirst |= static_cast<std::uint16_t>(1U << i);
        pair.distortion += toFirst;
        firstSum.Add(px[i]);
      } else {
        pair.distortion += toSecond;
        secondSum.Add(px[i]);
      }
    }
    if (round == kTwoMeansRounds || pair.distortion == 0) {
      return pair;
    }
    if (firstSum.count > 0) {
      pair.first = firstSum.Mean();
    }
    if (secondSum.count > 0) {
      pair.second = secondSum.Mean();
    }
  }
}

// The best split of a quadrant's four pixels into two groups, by trying all seven: the group
// variances follow from the pairwise distances, so no mean is needed until the winner is known.
PairChoice ChooseQuadrantPair(const std::array<Rgb, 4>& q) {
  const int d01 = Distance(q[0], q[1]);
  const int d02 = Distance(q[0], q[2]);
  const int d03 = Distance(q[0], q[3]);
  const int d12 = Distance(q[1], q[2]);
  const int d13 = Distance(q[1], q[3]);
  const int d23 = Distance(q[2], q[3]);
  // Six times each split's squared error around the exact group means, by group mask.
  const std::array<std::pair<int, unsigned>, 7> splits = {{
      {2 * (d12 + d13 + d23), 0b0001},
      {2 * (d02 + d03 + d23), 0b0010},
      {2 * (d01 + d03 + d13), 0b0100},
      {2 * (d01 + d02 + d12), 0b1000},
      {3 * (d01 + d23), 0b0011},
      {3 * (d02 + d13), 0b0101},
      {3 * (d03 + d12), 0b1001},
  }};
  unsigned group = splits[0].second;
  int best = splits[0].first;
  for (const auto& [score, mask] : splits) {
    if (score < best) {
      best = score;
      group = mask;
    }
  }
  ColourSum inGroup;
  ColourSum outside;
  for (unsigned k = 0; k < 4; ++k) {
    if ((group >> k) & 1U) {
      inGroup.Add(q[k]);
    } else {
      outside.Add(q[k]);
    }
  }
  PairChoice pair{inGroup.Mean(), outside.Mean(), 0, 0};
  for (unsigned k = 0; k < 4; ++k) {
    const int toFirst = Distance(q[k], pair.first);
    const int toSecond = Distance(q[k], pair.second);
    if (toFirst <= toSecond) {
      pair.maskFirst |= static_cast<std::uint16_t>(1U << k);
      pair.distortion += toFirst;
    } else {
      pair.distortion += toSecond;
    }
  }
  return pair;
}

// Block pixel index of pixel k (0..3, rows from the bottom) of quadrant quadrant.
constexpr int QuadrantPixel(int quadrant, int k) {
  return ((quadrant >> 1) * 2 + (k >> 1)) * kBlockSide + (quadrant & 1) * 2 + (k & 1);
}

EightChoice ChooseEightColours(const BlockRgb& px) {
  EightChoice eight;
  for (int quadrant = 0; quadrant < 4; ++quadrant) {
    const std::array<Rgb, 4> q = {px[QuadrantPixel(quadrant, 0)], px[QuadrantPixel(quadrant, 1)],
                                  px[QuadrantPixel(quadrant, 2)], px[QuadrantPixel(quadrant, 3)]};
    eight.quadrants[quadrant] = ChooseQuadrantPair(q);
    eight.distortion += eight.quadrants[quadrant].distortion;
  }
  return eight;
}

void WriteFill(Rgb colour, BlockCode& code) {
  const std::uint16_t packed = Pack(colour);
  PutU16(code.bytes.data(), static_cast<std::uint16_t>(packed | kFillMarker));
  code.size = kFillSize;
  code.decoded.fill(packed);
}

// The set flag bits pick the first colour, so the top-right pixel must take the second.
void WriteTwoColours(PairChoice pair, BlockCode& code) {
  if ((pair.maskFirst >> kTopRightPixel) & 1U) {
    std::swap(pair.first, pair.second);
    pair.maskFirst = static_cast<std::uint16_t>(~pair.maskFirst);
  }
  // Flags of all zero would read as the end of the picture to a strict decoder.
  if (pair.maskFirst == 0) {
    pair.first = pair.second;
    pair.maskFirst = 1;
  }
  const std::uint16_t first = Pack(pair.first);
  const std::uint16_t second = Pack(pair.second);
  PutU16(code.bytes.data(), pair.maskFirst);
  PutU16(code.bytes.data() + 2, first);
  PutU16(code.bytes.data() + 4, second);
  code.size = kTwoColourSize;
  for (int i = 0; i < kBlockPixels; ++i) {
    code.decoded[i] = ((pair.maskFirst >> i) & 1U) ? first : second;
  }
}

void WriteEightColours(EightChoice eight, BlockCode& code) {
  PairChoice& topRight = eight.quadrants[3];
  if ((topRight.maskFirst >> 3) & 1U) {
    std::swap(topRight.first, topRight.second);
    topRight.maskFirst = static_cast<std::uint16_t>(~topRight.maskFirst & 0xF);
  }
  std::uint16_t flags = 0;
  for (int quadrant = 0; quadrant < 4; ++quadrant) {
    const PairChoice& pair = eight.quadrants[quadrant];
    const std::uint16_t first = Pack(pair.first);
    const std::uint16_t second = Pack(pair.second);
    const std::uint16_t firstAsWritten =
        quadrant == 0 ? static_cast<std::uint16_t>(first | kEightColourMarker) : first;
    PutU16(code.bytes.data() + 2 + quadrant * 4, firstAsWritten);
    PutU16(code.bytes.data() + 4 + quadrant * 4, second);
    for (int k = 0; k < 4; ++k) {
      const int pixel = QuadrantPixel(quadrant, k);
      const bool isFirst = (pair.maskFirst >> k) & 1U;
      flags |= static_cast<std::uint16_t>(isFirst ? 1U << pixel : 0U);
      code.decoded[pixel] = isFirst ? first : second;
    }
  }
  PutU16(code.bytes.data(), flags);
  code.size = kEightColourSize;
}

}  // namespace

int BlockDistortion(const BlockPixels& a, const BlockPixels& b) {
  int sum = 0;
  for (int i = 0; i < kBlockPixels; ++i) {
    sum += Distance(Unpack(a[i]), Unpack(b[i]));
  }
  return sum;
}

bool ChooseBlockCode(const BlockPixels& source, int keepCost, BlockCode& code) {
  BlockRgb px;
  for (int i = 0; i < kBlockPixels; ++i) {
    px[i] = Unpack(source[i]);
  }
  constexpr int kNoCost = std::numeric_limits<int>::max();
  const int keep = keepCost >= 0 ? keepCost : kNoCost;

  const FillChoice fill = ChooseFill(px);
  int fillCost = Cost(fill.distortion, kFillSize);
  PairChoice pair;
  const bool exactPair = FindExactPair(source, px, pair);
  if (!exactPair) {
    pair = ChooseTwoColours(px);
  }
  const int pairCost = Cost(pair.distortion, kTwoColourSize);
  // A flat block stays exact even where a fill cannot carry its colour.
  const bool flat = exactPair && pair.maskFirst == 0xFFFF;
  if (flat && fill.distortion > 0) {
    fillCost = kNoCost;
  }
  const int best = std::min({keep, fillCost, pairCost});
  // Eight colours cannot cost less than their bytes alone.
  if (best > Cost(0, kEightColourSize)) {
    const EightChoice eight = ChooseEightColours(px);
    if (Cost(eight.distortion, kEightColourSize) < best) {
      WriteEightColours(eight, code);
      return true;
    }
  }
  if (keep <= best) {
    return false;
  }
  if (fillCost < pairCost) {
    WriteFill(fill.colour, code);
  } else {
    WriteTwoColours(pair, code);
  }
  return true;
}

int BlockCodeSize(const std::uint8_t* code) {
  if (code[1] >= kLowestHighByteOfFill) {
    return kFillSize;
  }
  return (code[3] & (kEightColourMarker >> 8)) != 0 ? kEightColourSize : kTwoColourSize;
}

}  // namespace reelkit::msvc1
