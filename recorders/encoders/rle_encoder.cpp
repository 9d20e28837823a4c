#include "recorders/encoders/rle_encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/picture_rules.h"
#include "recorders/encoders/colour_tables.h"
#include "recorders/encoders/palette_builder.h"
#include "recorders/encoders/rle_writer.h"

namespace reelkit {
namespace {

constexpr int kMinSkipGap = 8;  // unchanged pixels that cost less as a delta than coded again
constexpr std::size_t kMissingColourCapacity = 8192;
// Pixels a new colour must cover to take a free entry while the picture is approximated anyway.
constexpr std::uint32_t kMinAdmittedPixels = 32;
// A frame whose changed pixels miss the palette by more than this squared error per pixel (the
// three channels summed; about 32 dB) becomes a key frame with a newly fitted palette.
constexpr double kRefitError = 3 * 41.0;
// A current palette that fits a key picture almost as well as a new fit is kept: an unchanged
// palette costs no palette change and keeps the nearest-colour cache warm.
constexpr double kKeepPaletteTolerance = 1.1;

void FillIndices(std::uint8_t* out, int count, std::uint8_t index) {
  constexpr int kShortRun = 16;  // below this a call to memset costs more than the stores
  if (count < kShortRun) {
    for (int i = 0; i < count; ++i) {
      out[i] = index;
    }
  } else {
    std::memset(out, index, static_cast<std::size_t>(count));
  }
}

// The first position from x on where the two rows differ, or end.
int SkipEqual(const std::uint8_t* a, const std::uint8_t* b, int x, int end) {
  while (x + 8 <= end && std::memcmp(a + x, b + x, 8) == 0) {
    x += 8;
  }
  while (x < end && a[x] == b[x]) {
    ++x;
  }
  return x;
}

// The first position from x on where the two rows agree, or end; eight bytes per step.
int NextEqual(const std::uint8_t* a, const std::uint8_t* b, int x, int end) {
  constexpr std::uint64_t kLow = 0x0101010101010101u;
  constexpr std::uint64_t kHigh = 0x8080808080808080u;
  while (x + 8 <= end) {
    std::uint64_t wa;
    std::uint64_t wb;
    std::memcpy(&wa, a + x, 8);
    std::memcpy(&wb, b + x, 8);
    const std::uint64_t diff = wa ^ wb;
    // The lowest byte flagged here is the lowest zero byte of diff; higher flags may be false.
    const std::uint64_t zeroBytes = (diff - kLow) & ~diff & kHigh;
    if (zeroBytes != 0) {
      return x + std::countr_zero(zeroBytes) / 8;
    }
    x += 8;
  }
  while (x < end && a[x] != b[x]) {
    ++x;
  }
  return x;
}

// From a differing position x: the end of the stretch worth coding, which takes in gaps of
// agreeing bytes shorter than a skip is worth.
int DirtyEnd(const std::uint8_t* a, const std::uint8_t* b, int x, int end) {
  for (;;) {
    const int equalFrom = NextEqual(a, b, x + 1, end);
    if (equalFrom == end) {
      return end;
    }
    const int equalTo = SkipEqual(a, b, equalFrom, end);
    if (equalTo == end || equalTo - equalFrom >= kMinSkipGap) {
      return equalFrom;
    }
    x = equalTo;
  }
}

int FirstDifference(const std::uint32_t* a, const std::uint32_t* b, int count) {
  constexpr int kChunk = 16;
  int x = 0;
  while (x + kChunk <= count && std::memcmp(a + x, b + x, kChunk * sizeof(std::uint32_t)) == 0) {
    x += kChunk;
  }
  while (x < count && a[x] == b[x]) {
    ++x;
  }
  return x;
}

// One past the last differing pixel.
int DifferenceEnd(const std::uint32_t* a, const std::uint32_t* b, int count) {
  constexpr int kChunk = 16;
  int end = count;
  while (end >= kChunk &&
         std::memcmp(a + end - kChunk, b + end - kChunk, kChunk * sizeof(std::uint32_t)) == 0) {
    end -= kChunk;
  }
  while (end > 0 && a[end - 1] == b[end - 1]) {
    --end;
  }
  return end;
}

void CheckDimension(int value, const char* what) {
  if (value < 1 || value > kMaxPictureSide) {
    throw std::invalid_argument(std::string("RLE picture ") + what + " must be 1 to " +
                                std::to_string(kMaxPictureSide));
  }
}

}  // namespace

class CRleEncoder::CState {
 public:
  CState(int width, int height, int keyInterval)
      : width_(width),
        height_(height),
        keyInterval_(keyInterval),
        pixelCount_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height)),
        rawSize_(static_cast<std::size_t>(height) *
                 ((static_cast<std::size_t>(width) + 3) & ~std::size_t{3})),
        // The first picture is a key frame, which writes every pixel of these before any is read.
        previous_(std::make_unique_for_overwrite<std::uint32_t[]>(pixelCount_)),
        indices_(std::make_unique_for_overwrite<std::uint8_t[]>(pixelCount_)),
        next_(std::make_unique_for_overwrite<std::uint8_t[]>(pixelCount_)),
        pictureColours_(256),
        missingColours_(kMissingColourCapacity) {
    buffer_.ResizeForOverwrite(3 * pixelCount_ + 16 * static_cast<std::size_t>(height) + 16);
    spans_.reserve(static_cast<std::size_t>(height));
    freeEntries_.reserve(256);
    missingByCount_.reserve(kMissingColourCapacity);
    exact_.Rebuild(palette_);
    nearest_.Reset(palette_);
    framesSinceRefit_ = keyInterval_;  // the first refit may come at once
  }

  void Encode(std::span<const std::uint32_t> pixels, RleFrame& out) {
    if (pixels.size() != pixelCount_) {
      throw std::invalid_argument("RLE picture has the wrong number of pixels");
    }
    writer_.Start(buffer_);
    bool key = first_ || framesSinceKey_ >= keyInterval_;
    if (!key && !EncodeInterFrame(pixels.data())) {
      key = true;
      writer_.Start(buffer_);
    }
    if (key) {
      EncodeKeyFrame(pixels.data());
    }
    FinishFrame(key, out);
  }

  bool EncodeUnchanged(RleFrame& out) {
    if (first_ || framesSinceKey_ >= keyInterval_) {
      return false;
    }
    writer_.Start(buffer_);
    FinishFrame(false, out);
    return true;
  }

 private:
  void FinishFrame(bool key, RleFrame& out) {
    writer_.Finish(rawSize_);
    out.data.Assign(writer_.bytes());
    out.key = key;
    out.paletteChanged = first_ || palette_ != sentPalette_;
    out.palette = palette_;
    sentPalette_ = palette_;
    first_ = false;
    framesSinceKey_ = key ? 1 : std::min(framesSinceKey_ + 1, keyInterval_);
    framesSinceRefit_ = std::min(framesSinceRefit_ + 1, keyInterval_);
  }

  struct Span {
    int row;
    int begin;
    int end;
  };
  struct MissingRun {
    std::size_t offset;  // into the picture
    std::uint32_t length;
    std::uint32_t colour;
    PaletteMatch provisional;  // the nearest entry before new colours were admitted
  };

  const std::uint32_t* Row(const std::uint32_t* pixels, int row) const {
    return pixels + static_cast<std::size_t>(row) * static_cast<std::size_t>(width_);
  }
  std::size_t RowStart(int row) const {
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(width_);
  }

  // ---- key frames -------------------------------------------------------------------------

  void EncodeKeyFrame(const std::uint32_t* pixels) {
    PlanKeyPalette(pixels);
    MapAllPixels(pixels);
    for (int row = 0; row < height_; ++row) {
      writer_.MoveTo(0, row);
      writer_.WriteIndices(indices_.get() + RowStart(row), width_);
    }
    std::memcpy(previous_.get(), pixels, pixelCount_ * sizeof(std::uint32_t));
  }

  void PlanKeyPalette(const std::uint32_t* pixels) {
    if (CountPictureColours(pixels)) {
      PlanExactPalette();
    } else {
      PlanFittedPalette(pixels);
    }
  }

  // Colours already in the palette keep their entries, so a picture that only lost or gained a
  // few colours changes few entries (or none).
  void PlanExactPalette() {
    Palette planned = palette_;
    std::array<bool, 256> kept{};
    std::array<bool, 256> placed{};
    const auto& colours = pictureColours_.entries();
    for (std::size_t i = 0; i < colours.size(); ++i) {
      const int index = exact_.Find(colours[i].colour);
      if (index != CExactColourIndex::kAbsent) {
        kept[static_cast<std::size_t>(index)] = true;
        placed[i] = true;
      }
    }
    std::size_t entry = 0;
    for (std::size_t i = 0; i < colours.size(); ++i) {
      if (placed[i]) {
        continue;
      }
      while (kept[entry]) {
        ++entry;
      }
      planned[entry++] = colours[i].colour;
    }
    AdoptPalette(planned);
  }

  void PlanFittedPalette(const std::uint32_t* pixels) {
    builder_.Clear();
    for (int row = 0; row < height_; ++row) {
      ForEachRun(Row(pixels, row), 0, width_, [this](std::uint32_t colour, std::uint32_t count) {
        builder_.Add(colour, count);
        return true;
      });
    }
    const Palette fitted = builder_.Build();
    if (builder_.Error(palette_) > kKeepPaletteTolerance * builder_.Error(fitted)) {
      AdoptPalette(fitted);
    }
  }

  void MapAllPixels(const std::uint32_t* pixels) {
    useCount_.fill(0);
    allPixelsExact_ = true;
    std::uint32_t lastColour = ~std::uint32_t{0};
    PaletteMatch match;
    std::size_t p = 0;
    while (p < pixelCount_) {
      const std::uint32_t value = pixels[p];
      std::size_t end = p + 1;
      while (end < pixelCount_ && pixels[end] == value) {
        ++end;
      }
      const std::uint32_t colour = value & kColourMask;
      if (colour != lastColour) {
        lastColour = colour;
        match = Map(colour);
      }
      const std::size_t run = end - p;
      std::memset(indices_.get() + p, match.index, run);
      useCount_[match.index] += static_cast<std::uint32_t>(run);
      allPixelsExact_ = allPixelsExact_ && match.distance == 0;
      p = end;
    }
  }

  // ---- inter frames -----------------------------------------------------------------------

  // False when the picture needs a key frame instead. Nothing the decoder will see has been
  // written then; the key frame recounts the entries' use and plans the palette afresh.
  bool EncodeInterFrame(const std::uint32_t* pixels) {
    FindChangedSpans(pixels);
    if (spans_.empty()) {
      return true;
    }
    if (!allPixelsExact_ && CountPictureColours(pixels)) {
      return false;  // back to few colours, but approximated pixels may still be on screen
    }
    if (MapChangedPixels(pixels)) {
      const bool admitted = AdmitMissingColours();
      if (RefitIsDue(SettleMissingRuns(admitted))) {
        framesSinceRefit_ = 0;
        return false;
      }
    }
    WriteChangedRows(pixels);
    return true;
  }

  void FindChangedSpans(const std::uint32_t* pixels) {
    spans_.clear();
    changedPixels_ = 0;
    for (int row = 0; row < height_; ++row) {
      const std::uint32_t* now = Row(pixels, row);
      const std::uint32_t* before = Row(previous_.get(), row);
      if (std::memcmp(now, before, static_cast<std::size_t>(width_) * sizeof(std::uint32_t)) == 0) {
        continue;
      }
      const int begin = FirstDifference(now, before, width_);
      const int end = DifferenceEnd(now, before, width_);
      spans_.push_back({row, begin, end});
      changedPixels_ += static_cast<std::size_t>(end - begin);
    }
  }

  // Maps each span into next_, moving the use of entries from what its pixels held to their
  // exact entries. A colour without one takes its nearest entry for now and is noted, but that use
  // is not counted until the palette is settled: every entry that no pixel of the coming picture
  // holds exactly stays free for the new colours. True when some colour has no exact entry.
  bool MapChangedPixels(const std::uint32_t* pixels) {
    missingRuns_.clear();
    for (const Span& span : spans_) {
      const std::size_t start = RowStart(span.row);
      ReleaseEntries(indices_.get() + start + span.begin, span.end - span.begin);
      CRecentMatches recent;
      MapRuns(pixels + start, next_.get() + start, start, span.begin, span.end, recent);
    }
    FoldReleasedEntries();
    return !missingRuns_.empty();
  }

  // Counted in four lanes, so that neighbours holding the same entry do not wait on each other.
  void ReleaseEntries(const std::uint8_t* held, int count) {
    int x = 0;
    for (; x + 4 <= count; x += 4) {
      ++released_[0][held[x]];
      ++released_[1][held[x + 1]];
      ++released_[2][held[x + 2]];
      ++released_[3][held[x + 3]];
    }
    for (; x < count; ++x) {
      ++released_[0][held[x]];
    }
  }

  void FoldReleasedEntries() {
    for (auto& lane : released_) {
      for (std::size_t i = 0; i < lane.size(); ++i) {
        useCount_[i] -= lane[i];
      }
      lane.fill(0);
    }
  }

  // The last two colours looked up: the edges of anti-aliased text go back and forth between the
  // same two or three colours.
  class CRecentMatches {
   public:
    PaletteMatch Find(CNearestColourCache& nearest, std::uint32_t colour) {
      for (std::size_t k = 0; k < 2; ++k) {
        if (colour == colour_[k]) {
          older_ = 1 - k;
          return match_[k];
        }
      }
      const std::size_t slot = older_;
      colour_[slot] = colour;
      match_[slot] = nearest.Find(colour);
      older_ = 1 - slot;
      return match_[slot];
    }

   private:
    std::array<std::uint32_t, 2> colour_{~std::uint32_t{0}, ~std::uint32_t{0}};
    std::array<PaletteMatch, 2> match_{};
    std::size_t older_ = 0;
  };

  void MapRuns(const std::uint32_t* now, std::uint8_t* mapped, std::size_t rowStart, int x, int end,
               CRecentMatches& recent) {
    while (x < end) {
      const std::uint32_t value = now[x];
      int runEnd = x + 1;
      while (runEnd < end && now[runEnd] == value) {
        ++runEnd;
      }
      const std::uint32_t colour = value & kColourMask;
      const PaletteMatch match = recent.Find(nearest_, colour);
      const auto run = static_cast<std::uint32_t>(runEnd - x);
      FillIndices(mapped + x, static_cast<int>(run), match.index);
      if (match.distance == 0) {
        useCount_[match.index] += run;
      } else {
        missingRuns_.push_back({rowStart + static_cast<std::size_t>(x), run, colour, match});
      }
      x = runEnd;
    }
  }

  // Gives the entries that nothing on the coming picture uses to the new colours, the most
  // frequent first: all of them when they fit, which keeps the picture exact. When they do not,
  // only colours that cover many pixels (a window's face, a text colour) take an entry; the many
  // colours of a photograph or a gradient are better served by the entries already fitted to
  // such content than by a few of their own members.
  // True when the palette changed.
  bool AdmitMissingColours() {
    freeEntries_.clear();
    for (std::size_t i = 0; i < useCount_.size(); ++i) {
      if (useCount_[i] == 0) {
        freeEntries_.push_back(static_cast<std::uint8_t>(i));
      }
    }
    if (freeEntries_.empty()) {
      return false;
    }
    missingColours_.Clear();
    bool allCounted = true;
    for (const MissingRun& run : missingRuns_) {
      allCounted = missingColours_.Add(run.colour, run.length) && allCounted;
    }
    missingByCount_.assign(missingColours_.entries().begin(), missingColours_.entries().end());
    const bool allFit = allCounted && missingByCount_.size() <= freeEntries_.size();
    const std::size_t candidates = std::min(freeEntries_.size(), missingByCount_.size());
    std::partial_sort(
        missingByCount_.begin(), missingByCount_.begin() + static_cast<std::ptrdiff_t>(candidates),
        missingByCount_.end(), [](const CColourCounter::Entry& a, const CColourCounter::Entry& b) {
          return a.count > b.count;
        });
    Palette planned = palette_;
    for (std::size_t i = 0; i < candidates; ++i) {
      if (!allFit && missingByCount_[i].count < kMinAdmittedPixels) {
        break;
      }
      planned[freeEntries_[i]] = missingByCount_[i].colour;
    }
    return AdoptPalette(planned);
  }

  // Counts the use of the entries that the noted runs take, mapping them again if the palette
  // changed, and returns the squared error of those that are approximated.
  double SettleMissingRuns(bool paletteChanged) {
    std::uint32_t lastColour = ~std::uint32_t{0};
    PaletteMatch match;
    double error = 0;
    for (const MissingRun& run : missingRuns_) {
      if (!paletteChanged) {
        match = run.provisional;
      } else if (run.colour != lastColour) {
        lastColour = run.colour;
        match = Map(run.colour);
      }
      if (paletteChanged) {
        FillIndices(next_.get() + run.offset, static_cast<int>(run.length), match.index);
      }
      useCount_[match.index] += run.length;
      error += static_cast<double>(match.distance) * run.length;
    }
    allPixelsExact_ = allPixelsExact_ && error == 0;
    return error;
  }

  // A frame that changes much of the picture into colours the palette fits badly gets a key frame
  // with a palette fitted to it at once, the next such one not before a tenth of the key-frame
  // interval has passed.
  bool RefitIsDue(double error) const {
    const int minimumSpacing = std::max(1, keyInterval_ / 10);
    return framesSinceRefit_ >= minimumSpacing && changedPixels_ * 64 >= pixelCount_ &&
           error > kRefitError * static_cast<double>(changedPixels_);
  }

  // Codes each changed span, skipping its stretches that the decoder already shows, and takes
  // the new indices and pixels as the reference for the next frame (use counts are already
  // theirs).
  void WriteChangedRows(const std::uint32_t* pixels) {
    for (const Span& span : spans_) {
      const std::size_t start = RowStart(span.row);
      std::uint8_t* held = indices_.get() + start;
      const std::uint8_t* mapped = next_.get() + start;
      int x = span.begin;
      while (x < span.end) {
        x = SkipEqual(mapped, held, x, span.end);
        if (x == span.end) {
          break;
        }
        const int first = x;
        const int dirtyEnd = DirtyEnd(mapped, held, x, span.end);
        writer_.MoveTo(first, span.row);
        writer_.WriteIndices(mapped + first, dirtyEnd - first);
        x = dirtyEnd;
      }
      std::memcpy(held + span.begin, mapped + span.begin,
                  static_cast<std::size_t>(span.end - span.begin));
      std::memcpy(previous_.get() + start + span.begin, pixels + start + span.begin,
                  static_cast<std::size_t>(span.end - span.begin) * sizeof(std::uint32_t));
    }
  }

  // ---- palette ----------------------------------------------------------------------------

  PaletteMatch Map(std::uint32_t colour) {
    const int index = exact_.Find(colour);
    if (index != CExactColourIndex::kAbsent) {
      return {static_cast<std::uint8_t>(index), 0};
    }
    return nearest_.Find(colour);
  }

  // True when the palette changed.
  bool AdoptPalette(const Palette& palette) {
    if (palette == palette_) {
      return false;
    }
    palette_ = palette;
    exact_.Rebuild(palette_);
    nearest_.Reset(palette_);
    return true;
  }

  // Counts the picture's distinct colours into pictureColours_; false as soon as there are more
  // than 256. The count starts at the row where the last one overflowed: a picture that stays
  // rich is then told apart within a few rows.
  bool CountPictureColours(const std::uint32_t* pixels) {
    pictureColours_.Clear();
    for (int i = 0; i < height_; ++i) {
      const int row = (richRow_ + i) % height_;
      const bool fits = ForEachRun(Row(pixels, row), 0, width_,
                                   [this](std::uint32_t colour, std::uint32_t count) {
                                     return pictureColours_.Add(colour, count);
                                   });
      if (!fits) {
        richRow_ = row;
        return false;
      }
    }
    return true;
  }

  // Calls visit(colour, count) for each run of one colour; stops when visit returns false.
  template <typename Visit>
  static bool ForEachRun(const std::uint32_t* row, int begin, int end, Visit&& visit) {
    int x = begin;
    while (x < end) {
      const std::uint32_t colour = row[x] & kColourMask;
      int run = 1;
      while (x + run < end && (row[x + run] & kColourMask) == colour) {
        ++run;
      }
      if (!visit(colour, static_cast<std::uint32_t>(run))) {
        return false;
      }
      x += run;
    }
    return true;
  }

  const int width_;
  const int height_;
  const int keyInterval_;
  const std::size_t pixelCount_;
  const std::size_t rawSize_;

  std::unique_ptr<std::uint32_t[]> previous_;  // the last picture, as given
  std::unique_ptr<std::uint8_t[]> indices_;    // what the decoder holds
  std::unique_ptr<std::uint8_t[]> next_;  // the changed spans mapped, before they are committed
  ByteBlock buffer_;
  CRleWriter writer_;
  std::vector<Span> spans_;
  std::size_t changedPixels_ = 0;

  Palette palette_{};
  Palette sentPalette_{};
  CExactColourIndex exact_;
  CNearestColourCache nearest_;
  std::array<std::uint32_t, 256> useCount_{};  // pixels of indices_ on each entry
  std::array<std::array<std::uint32_t, 256>, 4> released_{};
  bool allPixelsExact_ = true;  // every pixel of indices_ shows its own colour
  CPaletteBuilder builder_;
  CColourCounter pictureColours_;
  int richRow_ = 0;

  CColourCounter missingColours_;
  std::vector<MissingRun> missingRuns_;  // kept between frames: grows to the largest need once
  std::vector<std::uint8_t> freeEntries_;
  std::vector<CColourCounter::Entry> missingByCount_;

  bool first_ = true;
  int framesSinceKey_ = 0;
  int framesSinceRefit_ = 0;
};

CRleEncoder::CRleEncoder(int width, int height, int keyInterval) {
  CheckDimension(width, "width");
  CheckDimension(height, "height");
  if (keyInterval < 1) {
    throw std::invalid_argument("RLE key-frame interval must be at least 1");
  }
  state_ = std::make_unique<CState>(width, height, keyInterval);
}

CRleEncoder::~CRleEncoder() = default;
CRleEncoder::CRleEncoder(CRleEncoder&&) noexcept = default;
CRleEncoder& CRleEncoder::operator=(CRleEncoder&&) noexcept = default;

void CRleEncoder::Encode(std::span<const std::uint32_t> pixels, RleFrame& out) {
  state_->Encode(pixels, out);
}

bool CRleEncoder::EncodeUnchanged(RleFrame& out) {
  return state_->EncodeUnchanged(out);
}

}  // namespace reelkit
