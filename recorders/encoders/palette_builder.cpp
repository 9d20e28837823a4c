#include "recorders/encoders/palette_builder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>

namespace reelkit {
namespace {

constexpr std::size_t kPaletteSize = 256;
constexpr int kRefineRounds = 3;
constexpr int kSlotBits = 15;

inline std::uint32_t HashKey(std::uint32_t key) {
  return (key * 0x9E3779B1u) >> (32 - kSlotBits);
}

inline std::uint32_t Channel(std::uint32_t colour, int shift) {
  return (colour >> shift) & 0xFF;
}

std::uint32_t PackColour(float r, float g, float b) {
  const auto clamp = [](float v) {
    return static_cast<std::uint32_t>(std::clamp(std::lround(v), 0L, 255L));
  };
  return (clamp(r) << 16) | (clamp(g) << 8) | clamp(b);
}

}  // namespace

// Running weighted sums of a set of points: enough for its mean and its squared error.
struct CPaletteBuilder::Moments {
  double weight = 0;
  std::array<double, 3> sum{};
  double sumOfSquares = 0;

  void Add(float w, float r, float g, float b) {
    weight += w;
    sum[0] += static_cast<double>(w) * r;
    sum[1] += static_cast<double>(w) * g;
    sum[2] += static_cast<double>(w) * b;
    sumOfSquares +=
        static_cast<double>(w) *
        (static_cast<double>(r) * r + static_cast<double>(g) * g + static_cast<double>(b) * b);
  }
  double Error() const {
    if (weight <= 0) {
      return 0;
    }
    const double mean2 = sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2];
    return std::max(0.0, sumOfSquares - mean2 / weight);
  }
  Moments operator-(const Moments& other) const {
    Moments m;
    m.weight = weight - other.weight;
    for (std::size_t c = 0; c < 3; ++c) {
      m.sum[c] = sum[c] - other.sum[c];
    }
    m.sumOfSquares = sumOfSquares - other.sumOfSquares;
    return m;
  }
};

CPaletteBuilder::CPaletteBuilder() : slots_(std::size_t{1} << kSlotBits, kEmptySlot) {
  cells_.reserve(kMaxCells);
  scratch_.reserve(kMaxCells);
  points_.reserve(kMaxCells);
  boxes_.reserve(kPaletteSize);
  centres_.red.reserve(kPaletteSize);
  centres_.green.reserve(kPaletteSize);
  centres_.blue.reserve(kPaletteSize);
  clusters_.reserve(kPaletteSize);
}

CPaletteBuilder::~CPaletteBuilder() = default;

void CPaletteBuilder::Clear() {
  for (const Cell& cell : cells_) {
    slots_[cell.slot] = kEmptySlot;
  }
  cells_.clear();
  shift_ = 0;
}

void CPaletteBuilder::Add(std::uint32_t colour, std::uint32_t count) {
  const std::uint32_t r = Channel(colour, 16);
  const std::uint32_t g = Channel(colour, 8);
  const std::uint32_t b = Channel(colour, 0);
  Cell cell{
      0, 0, count, std::uint64_t{r} * count, std::uint64_t{g} * count, std::uint64_t{b} * count};
  for (;;) {
    cell.key = ((r >> shift_) << 16) | ((g >> shift_) << 8) | (b >> shift_);
    if (TryMerge(cell)) {
      return;
    }
    Coarsen();
  }
}

bool CPaletteBuilder::TryMerge(const Cell& cell) {
  std::uint32_t slot = HashKey(cell.key);
  while (slots_[slot] != kEmptySlot) {
    Cell& held = cells_[slots_[slot]];
    if (held.key == cell.key) {
      held.count += cell.count;
      held.red += cell.red;
      held.green += cell.green;
      held.blue += cell.blue;
      return true;
    }
    slot = (slot + 1) & (slots_.size() - 1);
  }
  if (cells_.size() == kMaxCells) {
    return false;
  }
  slots_[slot] = static_cast<std::uint32_t>(cells_.size());
  cells_.push_back(cell);
  cells_.back().slot = slot;
  return true;
}

// Halving every channel at least halves the number of cells that can differ, and the sums keep
// each merged cell's mean exact.
void CPaletteBuilder::Coarsen() {
  ++shift_;
  scratch_.swap(cells_);
  cells_.clear();
  std::fill(slots_.begin(), slots_.end(), kEmptySlot);
  for (Cell cell : scratch_) {
    cell.key = (cell.key >> 1) & 0x7F7F7F;
    TryMerge(cell);
  }
  scratch_.clear();
}

void CPaletteBuilder::CollectPoints() {
  points_.clear();
  for (const Cell& cell : cells_) {
    const double count = static_cast<double>(cell.count);
    points_.push_back({static_cast<float>(static_cast<double>(cell.red) / count),
                       static_cast<float>(static_cast<double>(cell.green) / count),
                       static_cast<float>(static_cast<double>(cell.blue) / count),
                       static_cast<float>(cell.count)});
  }
}

Palette CPaletteBuilder::Build() {
  CollectPoints();
  if (points_.empty()) {
    return Palette{};
  }
  SplitByVariance();
  centres_.red.clear();
  centres_.green.clear();
  centres_.blue.clear();
  for (const Box& box : boxes_) {
    Moments m;
    for (std::size_t i = box.begin; i < box.end; ++i) {
      m.Add(points_[i].weight, points_[i].red, points_[i].green, points_[i].blue);
    }
    centres_.red.push_back(static_cast<float>(m.sum[0] / m.weight));
    centres_.green.push_back(static_cast<float>(m.sum[1] / m.weight));
    centres_.blue.push_back(static_cast<float>(m.sum[2] / m.weight));
  }
  RefineCentres();
  return PaletteFromCentres();
}

void CPaletteBuilder::SplitByVariance() {
  boxes_.clear();
  Moments all;
  for (const Point& p : points_) {
    all.Add(p.weight, p.red, p.green, p.blue);
  }
  boxes_.push_back({0, points_.size(), all.Error()});
  while (boxes_.size() < kPaletteSize) {
    std::size_t worst = boxes_.size();
    for (std::size_t i = 0; i < boxes_.size(); ++i) {
      const bool splittable = boxes_[i].end - boxes_[i].begin >= 2 && boxes_[i].error > 0;
      if (splittable && (worst == boxes_.size() || boxes_[i].error > boxes_[worst].error)) {
        worst = i;
      }
    }
    if (worst == boxes_.size()) {
      return;
    }
    Box low{};
    Box high{};
    SplitBox(boxes_[worst], low, high);
    boxes_[worst] = low;
    boxes_.push_back(high);
  }
}

// Cuts the box across its widest-spread channel where the two halves' squared errors sum least.
void CPaletteBuilder::SplitBox(const Box& box, Box& low, Box& high) {
  const auto first = points_.begin() + static_cast<std::ptrdiff_t>(box.begin);
  const auto last = points_.begin() + static_cast<std::ptrdiff_t>(box.end);
  std::array<Moments, 3> perChannel;
  for (auto it = first; it != last; ++it) {
    perChannel[0].Add(it->weight, it->red, 0, 0);
    perChannel[1].Add(it->weight, it->green, 0, 0);
    perChannel[2].Add(it->weight, it->blue, 0, 0);
  }
  std::size_t axis = 0;
  for (std::size_t c = 1; c < 3; ++c) {
    if (perChannel[c].Error() > perChannel[axis].Error()) {
      axis = c;
    }
  }
  const auto value = [axis](const Point& p) {
    return axis == 0 ? p.red : axis == 1 ? p.green : p.blue;
  };
  std::sort(first, last, [&](const Point& a, const Point& b) { return value(a) < value(b); });

  Moments total;
  for (auto it = first; it != last; ++it) {
    total.Add(it->weight, it->red, it->green, it->blue);
  }
  Moments left;
  std::size_t bestCut = box.begin + 1;
  double bestError = std::numeric_limits<double>::max();
  double bestLowError = 0;
  double bestHighError = 0;
  for (std::size_t cut = box.begin + 1; cut < box.end; ++cut) {
    const Point& p = points_[cut - 1];
    left.Add(p.weight, p.red, p.green, p.blue);
    const double lowError = left.Error();
    const double highError = (total - left).Error();
    if (lowError + highError < bestError) {
      bestError = lowError + highError;
      bestCut = cut;
      bestLowError = lowError;
      bestHighError = highError;
    }
  }
  low = {box.begin, bestCut, bestLowError};
  high = {bestCut, box.end, bestHighError};
}

std::size_t CPaletteBuilder::NearestCentre(const Point& point) const {
  std::size_t best = 0;
  float bestDistance = std::numeric_limits<float>::max();
  for (std::size_t k = 0; k < centres_.size(); ++k) {
    const float dr = centres_.red[k] - point.red;
    const float dg = centres_.green[k] - point.green;
    const float db = centres_.blue[k] - point.blue;
    const float distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = k;
    }
  }
  return best;
}

void CPaletteBuilder::RefineCentres() {
  std::vector<Moments>& clusters = clusters_;
  for (int round = 0; round < kRefineRounds; ++round) {
    clusters.assign(centres_.size(), Moments{});
    for (const Point& p : points_) {
      clusters[NearestCentre(p)].Add(p.weight, p.red, p.green, p.blue);
    }
    for (std::size_t k = 0; k < clusters.size(); ++k) {
      if (clusters[k].weight > 0) {
        centres_.red[k] = static_cast<float>(clusters[k].sum[0] / clusters[k].weight);
        centres_.green[k] = static_cast<float>(clusters[k].sum[1] / clusters[k].weight);
        centres_.blue[k] = static_cast<float>(clusters[k].sum[2] / clusters[k].weight);
      }
    }
  }
}

Palette CPaletteBuilder::PaletteFromCentres() {
  std::array<double, kPaletteSize> clusterWeight{};
  std::array<const Point*, kPaletteSize> heaviest{};
  for (const Point& p : points_) {
    const std::size_t k = NearestCentre(p);
    clusterWeight[k] += p.weight;
    if (heaviest[k] == nullptr || p.weight > heaviest[k]->weight) {
      heaviest[k] = &p;
    }
  }
  Palette palette{};
  for (std::size_t k = 0; k < centres_.size(); ++k) {
    const Point* dominant = heaviest[k];
    if (dominant != nullptr && 2.0 * dominant->weight >= clusterWeight[k]) {
      palette[k] = PackColour(dominant->red, dominant->green, dominant->blue);
    } else {
      palette[k] = PackColour(centres_.red[k], centres_.green[k], centres_.blue[k]);
    }
  }
  return palette;
}

double CPaletteBuilder::Error(const Palette& palette) {
  CollectPoints();
  double error = 0;
  for (const Point& p : points_) {
    float best = std::numeric_limits<float>::max();
    for (const std::uint32_t entry : palette) {
      const float dr = static_cast<float>(Channel(entry, 16)) - p.red;
      const float dg = static_cast<float>(Channel(entry, 8)) - p.green;
      const float db = static_cast<float>(Channel(entry, 0)) - p.blue;
      best = std::min(best, dr * dr + dg * dg + db * db);
    }
    error += static_cast<double>(best) * p.weight;
  }
  return error;
}

}  // namespace reelkit
