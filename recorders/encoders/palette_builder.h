#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "recorders/encoders/colour_tables.h"

namespace reelkit {

// Builds a 256-colour palette for a picture that has more colours than that. Colours are added
// with their pixel counts; they are kept one by one while there are few enough, and merged into
// ever coarser cells (each keeping its mean colour) beyond that, so the work per palette stays
// bounded whatever the picture. Storage is kept between palettes.
class CPaletteBuilder {
 public:
  CPaletteBuilder();
  ~CPaletteBuilder();
  CPaletteBuilder(const CPaletteBuilder&) = delete;
  CPaletteBuilder& operator=(const CPaletteBuilder&) = delete;

  void Clear();
  void Add(std::uint32_t colour, std::uint32_t count);

  // The least-squares fit of what was added: colour space is split where the squared error
  // falls most, then a few k-means rounds refine the centres. A centre whose cluster is mostly
  // one colour takes that colour exactly, so the flat colours of a desktop come out unchanged.
  Palette Build();

  // Weighted sum of squared distances from what was added to the nearest palette entries.
  double Error(const Palette& palette);

 private:
  struct Cell {
    std::uint32_t key;   // the colour, its channels shifted right by shift_
    std::uint32_t slot;  // where the hash table points at it
    std::uint64_t count;
    std::uint64_t red;
    std::uint64_t green;
    std::uint64_t blue;
  };
  struct Point {
    float red;
    float green;
    float blue;
    float weight;
  };
  struct Box {
    std::size_t begin;
    std::size_t end;
    double error;
  };
  struct Moments;
  struct Centres {
    std::vector<float> red;
    std::vector<float> green;
    std::vector<float> blue;
    std::size_t size() const { return red.size(); }
  };

  static constexpr std::size_t kMaxCells = std::size_t{1} << 14;
  static constexpr std::uint32_t kEmptySlot = 0xFFFFFFFF;

  bool TryMerge(const Cell& cell);
  void Coarsen();
  void CollectPoints();
  void SplitByVariance();
  void SplitBox(const Box& box, Box& low, Box& high);
  void RefineCentres();
  std::size_t NearestCentre(const Point& point) const;
  Palette PaletteFromCentres();

  int shift_ = 0;
  std::vector<std::uint32_t> slots_;  // index into cells_, or kEmptySlot
  std::vector<Cell> cells_;
  std::vector<Cell> scratch_;
  std::vector<Point> points_;
  std::vector<Box> boxes_;
  Centres centres_;
  std::vector<Moments> clusters_;
};

}  // namespace reelkit
