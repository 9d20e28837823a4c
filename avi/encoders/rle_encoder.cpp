#include "avi/encoders/rle_encoder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "avi/encoders/colour_tables.h"
#include "avi/encoders/palette_builder.h"
#include "avi/encoders/rle_writer.h"

namespace reelkit {
namespace {

constexpr int kMaxDimension = 32767;
constexpr int kMinSkipGap = 8;  // unchanged pixels that cost less as a delta than coded again
constexpr std::size_t kMissingColourCapacity = 8192;
// A frame whose changed pixels miss the palette by more than this squared error per pixel (the
// three channels summed; about 32 dB) brings the next key frame forward to fit a new palette.
constexpr double kRefitError = 3 * 41.0;
// A current palette that fits a key picture almost as well as a new fit is kept: an unchanged
// palette costs no palette change and keeps the nearest-colour cache warm.
constexpr double kKeepPaletteTolerance = 1.1;

void CopyIndices(std::uint8_t* out, const std::uint8_t* in, int count) {
  constexpr int kShortCopy = 16;  // below this a call to memcpy costs more than the stores
  if (count < kShortCopy) {
    for (int i = 0; i < count; ++i) {
      out[i] = in[i];
    }
  } else {
    std::memcpy(out, in, static_cast<std::size_t>(count));
  }
}

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

// The first pixel from x on that differs between the two rows, or end; four pixels per step.
int UnchangedEnd(const std::uint32_t* a, const std::uint32_t* b, int x, int end) {
  while (x + 4 <= end) {
    std::uint64_t a0, a1, b0, b1;
    std::memcpy(&a0, a + x, 8);
    std::memcpy(&a1, a + x + 2, 8);
    std::memcpy(&b0, b + x, 8);
    std::memcpy(&b1, b + x + 2, 8);
    if (((a0 ^ b0) | (a1 ^ b1)) != 0) {
      break;
    }
    x += 4;
  }
  while (x < end && a[x] == b[x]) {
    ++x;
  }
  return x;
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
  if (value < 1 || value > kMaxDimension) {
    throw std::invalid_argument(std::string("RLE picture ") + what + " must be 1 to 32767");
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
        previous_(pixelCount_, 0),
        indices_(pixelCount_, 0),
        next_(pixelCount_, 0),
        buffer_(3 * pixelCount_ + 16 * static_cast<std::size_t>(height) + 16),
        pictureColours_(256),
        missingColours_(kMissingColourCapacity) {
    spans_.reserve(static_cast<std::size_t>(height));
    freeEntries_.reserve(256);
    missingByCount_.reserve(kMissingColourCapacity);
    exact_.Rebuild(palette_);
    nearest_.Reset(palette_);
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
    writer_.Finish(rawSize_);

    out.data.Assign(writer_.bytes());
    out.key = key;
    out.paletteChanged = first_ || palette_ != sentPalette_;
    out.palette = palette_;
    sentPalette_ = palette_;
    first_ = false;
    framesSinceKey_ = key ? 1 : std::min(framesSinceKey_ + 1, keyInterval_);
  }

 private:
  struct Span {
    int row;
    int begin;
    int end;
  };
  struct MissingRun {
    std::size_t offset;  // into the picture
    std::uint32_t length;
    std::uint32_t colour;
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
      writer_.WriteIndices(indices_.data() + RowStart(row), width_);
    }
    std::memcpy(previous_.data(), pixels, pixelCount_ * sizeof(std::uint32_t));
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
      std::memset(indices_.data() + p, match.index, run);
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
    if (MapChangedPixelsExactly(pixels)) {
      AdmitMissingColours();
      if (RefitIsDue(MapMissingRuns())) {
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
      const std::uint32_t* before = Row(previous_.data(), row);
      if (std::memcmp(now, before, static_cast<std::size_t>(width_) * sizeof(std::uint32_t)) == 0) {
        continue;
      }
      const int begin = FirstDifference(now, before, width_);
      const int end = DifferenceEnd(now, before, width_);
      spans_.push_back({row, begin, end});
      changedPixels_ += static_cast<std::size_t>(end - begin);
    }
  }

  // Maps each span into next_: unchanged pixels keep what they hold; changed ones move their use
  // of entries from what they held to their exact entries, or are noted in runs when their colour
  // has none. An entry in use by a changed pixel is therefore never free: the colours that have
  // none may take only entries that nothing on the coming picture shows. True when some colour
  // has none.
  bool MapChangedPixelsExactly(const std::uint32_t* pixels) {
    missingColours_.Clear();
    missingRuns_.clear();
    for (const Span& span : spans_) {
      const std::size_t start = RowStart(span.row);
      const std::uint32_t* now = pixels + start;
      const std::uint32_t* before = previous_.data() + start;
      const std::uint8_t* held = indices_.data() + start;
      std::uint8_t* mapped = next_.data() + start;
      CRecentExact recent;
      int x = span.begin;
      while (x < span.end) {
        int end = UnchangedEnd(now, before, x, span.end);
        if (end > x) {
          CopyIndices(mapped + x, held + x, end - x);
          x = end;
          continue;
        }
        end = x + 1;
        while (end < span.end && now[end] != before[end]) {
          ++end;
        }
        ReleaseEntries(held + x, end - x);
        MapRunsExactly(now, mapped, start, x, end, recent);
        x = end;
      }
    }
    return !missingRuns_.empty();
  }

  void ReleaseEntries(const std::uint8_t* held, int count) {
    int x = 0;
    while (x < count) {
      const int run = RunLength(held + x, count - x);
      useCount_[held[x]] -= static_cast<std::uint32_t>(run);
      x += run;
    }
  }

  // The last two colours looked up: the edges of anti-aliased text go back and forth between the
  // same two or three colours.
  class CRecentExact {
   public:
    int Find(const CExactColourIndex& exact, std::uint32_t colour) {
      if (colour == colour_[0]) {
        return index_[0];
      }
      if (colour != colour_[1]) {
        colour_[1] = colour;
        index_[1] = exact.Find(colour);
      }
      std::swap(colour_[0], colour_[1]);
      std::swap(index_[0], index_[1]);
      return index_[0];
    }

   private:
    std::array<std::uint32_t, 2> colour_{~std::uint32_t{0}, ~std::uint32_t{0}};
    std::array<int, 2> index_{CExactColourIndex::kAbsent, CExactColourIndex::kAbsent};
  };

  void MapRunsExactly(const std::uint32_t* now, std::uint8_t* mapped, std::size_t rowStart, int x,
                      int end, CRecentExact& recent) {
    while (x < end) {
      const std::uint32_t value = now[x];
      int runEnd = x + 1;
      while (runEnd < end && now[runEnd] == value) {
        ++runEnd;
      }
      const std::uint32_t colour = value & kColourMask;
      const int index = recent.Find(exact_, colour);
      const auto run = static_cast<std::uint32_t>(runEnd - x);
      if (index != CExactColourIndex::kAbsent) {
        FillIndices(mapped + x, static_cast<int>(run), static_cast<std::uint8_t>(index));
        useCount_[static_cast<std::size_t>(index)] += run;
      } else {
        missingRuns_.push_back({rowStart + static_cast<std::size_t>(x), run, colour});
      }
      x = runEnd;
    }
  }

  // Gives the entries that nothing on the coming picture uses to the new colours, the most
  // frequent first.
  void AdmitMissingColours() {
    freeEntries_.clear();
    for (std::size_t i = 0; i < useCount_.size(); ++i) {
      if (useCount_[i] == 0) {
        freeEntries_.push_back(static_cast<std::uint8_t>(i));
      }
    }
    if (freeEntries_.empty()) {
      return;
    }
    missingColours_.Clear();
    for (const MissingRun& run : missingRuns_) {
      missingColours_.Add(run.colour, run.length);  // colours past its capacity stay unadmitted
    }
    missingByCount_.assign(missingColours_.entries().begin(), missingColours_.entries().end());
    const std::size_t admitted = std::min(freeEntries_.size(), missingByCount_.size());
    std::partial_sort(
        missingByCount_.begin(), missingByCount_.begin() + static_cast<std::ptrdiff_t>(admitted),
        missingByCount_.end(), [](const CColourCounter::Entry& a, const CColourCounter::Entry& b) {
          return a.count > b.count;
        });
    Palette planned = palette_;
    for (std::size_t i = 0; i < admitted; ++i) {
      planned[freeEntries_[i]] = missingByCount_[i].colour;
    }
    AdoptPalette(planned);
  }

  // Maps the runs of colours that had no entry, now exactly or to the nearest entry, and returns
  // the squared error that the approximated ones add.
  double MapMissingRuns() {
    std::uint32_t lastColour = ~std::uint32_t{0};
    PaletteMatch match;
    double error = 0;
    for (const MissingRun& run : missingRuns_) {
      if (run.colour != lastColour) {
        lastColour = run.colour;
        match = Map(run.colour);
      }
      FillIndices(next_.data() + run.offset, static_cast<int>(run.length), match.index);
      useCount_[match.index] += run.length;
      error += static_cast<double>(match.distance) * run.length;
    }
    allPixelsExact_ = allPixelsExact_ && error == 0;
    return error;
  }

  // A frame that changes much of the picture into colours the palette fits badly gets a key frame
  // with a palette fitted to it, but not more often than a tenth of the key-frame interval.
  bool RefitIsDue(double error) const {
    const int minimumSpacing = std::max(1, keyInterval_ / 10);
    return framesSinceKey_ >= minimumSpacing && changedPixels_ * 64 >= pixelCount_ &&
           error > kRefitError * static_cast<double>(changedPixels_);
  }

  // Codes each changed span, skipping its stretches that the decoder already shows, and takes
  // the new indices and pixels as the reference for the next frame (use counts are already
  // theirs).
  void WriteChangedRows(const std::uint32_t* pixels) {
    for (const Span& span : spans_) {
      const std::size_t start = RowStart(span.row);
      std::uint8_t* held = indices_.data() + start;
      const std::uint8_t* mapped = next_.data() + start;
      int x = span.begin;
      while (x < span.end) {
        x = SkipEqual(mapped, held, x, span.end);
        if (x == span.end) {
          break;
        }
        const int first = x;
        int lastDirty = x;
        for (int j = x + 1; j < span.end && j - lastDirty < kMinSkipGap; ++j) {
          if (mapped[j] != held[j]) {
            lastDirty = j;
          }
        }
        writer_.MoveTo(first, span.row);
        writer_.WriteIndices(mapped + first, lastDirty + 1 - first);
        x = lastDirty + 1;
      }
      std::memcpy(held + span.begin, mapped + span.begin,
                  static_cast<std::size_t>(span.end - span.begin));
      std::memcpy(previous_.data() + start + span.begin, pixels + start + span.begin,
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

  void AdoptPalette(const Palette& palette) {
    if (palette == palette_) {
      return;
    }
    palette_ = palette;
    exact_.Rebuild(palette_);
    nearest_.Reset(palette_);
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

  std::vector<std::uint32_t> previous_;  // the last picture, as given
  std::vector<std::uint8_t> indices_;    // what the decoder holds
  std::vector<std::uint8_t> next_;       // the changed spans mapped, before they are committed
  ByteBlock buffer_;
  CRleWriter writer_;
  std::vector<Span> spans_;
  std::size_t changedPixels_ = 0;

  Palette palette_{};
  Palette sentPalette_{};
  CExactColourIndex exact_;
  CNearestColourCache nearest_;
  std::array<std::uint32_t, 256> useCount_{};  // pixels of indices_ on each entry
  bool allPixelsExact_ = true;                 // every pixel of indices_ shows its own colour
  CPaletteBuilder builder_;
  CColourCounter pictureColours_;
  int richRow_ = 0;

  CColourCounter missingColours_;
  std::vector<MissingRun> missingRuns_;  // kept between frames: grows to the largest need once
  std::vector<std::uint8_t> freeEntries_;
  std::vector<CColourCounter::Entry> missingByCount_;

  bool first_ = true;
  int framesSinceKey_ = 0;
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

}  // namespace reelkit
