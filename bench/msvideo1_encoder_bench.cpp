// Pictures per second of our Microsoft Video 1 encoder at 1920x1080 beside libavcodec's msvideo1
// encoder on the same pictures in the same run: a mostly still desktop session (typing, a moving
// pointer, a menu, window drags) and a document scrolling under the whole screen. Each case codes
// one loop of its sequence; the libavcodec case runs first and our case reports its ratios to it.

#include <benchmark/benchmark.h>
#include <time.h>

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "recorders/encoders/msvideo1_compressor.h"
#include "recorders/encoders/msvideo1_encoder.h"
#include "recorders/picture_conversion.h"
#include "tests/recorders/msvideo1_reference.h"
#include "tests/recorders/rle_test_pictures.h"

namespace reelkit {
namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr std::size_t kPixels = static_cast<std::size_t>(kWidth) * kHeight;
constexpr int kKeyInterval = 100;  // ten seconds at the recorder's 10 pictures per second
constexpr int kDesktopPictures = 100;
constexpr int kScrollingPictures = 20;
constexpr int kScrollStep = 23;  // pixels per picture: no block row stays as it was

using testing::EnsureGuiApplication;
using testing::Picture;  // 0x00RRGGBB, bottom-up rows
using testing::PictureFromImage;

// --- The desktop session -------------------------------------------------------------------------

const char kTypedText[] =
    "Dear team, the conversion of last week's support sessions finished overnight. Please check "
    "the files in the shared folder and report anything that looks wrong before Friday. ";

void DrawWindow(QPainter& painter, const QRect& frame, const QString& title) {
  painter.fillRect(frame.adjusted(4, 4, 4, 4), QColor(0, 0, 0, 60));
  painter.fillRect(frame, QColor(250, 250, 250));
  painter.fillRect(QRect(frame.left(), frame.top(), frame.width(), 30), QColor(45, 90, 160));
  painter.setPen(Qt::white);
  painter.drawText(QRect(frame.left() + 10, frame.top(), frame.width() - 20, 30), Qt::AlignVCenter,
                   title);
  painter.setPen(QColor(200, 200, 200));
  painter.drawRect(frame.adjusted(0, 0, -1, -1));
}

void DrawPointer(QPainter& painter, QPoint tip) {
  QPolygon arrow;
  arrow << tip << tip + QPoint(0, 17) << tip + QPoint(4, 13) << tip + QPoint(8, 20)
        << tip + QPoint(10, 19) << tip + QPoint(7, 12) << tip + QPoint(12, 12);
  painter.setBrush(Qt::white);
  painter.setPen(Qt::black);
  painter.drawPolygon(arrow);
}

// Picture n of a ten-second session: typing with pauses, a blinking caret, a pointer that wanders
// and drags the second window away and back, and a menu that opens for a moment.
QImage RenderDesktop(int n) {
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient wallpaper(0, 0, kWidth, kHeight);
  wallpaper.setColorAt(0, QColor(20, 60, 110));
  wallpaper.setColorAt(1, QColor(90, 150, 190));
  painter.fillRect(image.rect(), wallpaper);
  painter.fillRect(QRect(0, kHeight - 40, kWidth, 40), QColor(30, 30, 36));
  QFont font("DejaVu Sans");
  font.setPixelSize(14);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(QRect(kWidth - 120, kHeight - 40, 110, 40), Qt::AlignCenter,
                   QString("10:%1").arg(42 + n / 60, 2, 10, QChar('0')));

  // The second window is dragged 40 pixels a picture to the left at 50..55 and back at 80..85.
  const int dragOut = std::clamp(n - 50, 0, 6);
  const int dragBack = std::clamp(n - 80, 0, 6);
  const QPoint listOrigin(1300 - 40 * (dragOut - dragBack), 180 + 12 * (dragOut - dragBack));
  const QRect list(listOrigin, QSize(520, 560));
  const QRect editor(160, 100, 1000, 720);
  DrawWindow(painter, list, "Sessions");
  painter.setPen(QColor(30, 30, 30));
  for (int row = 0; row < 20; ++row) {
    painter.fillRect(QRect(list.left() + 12, list.top() + 44 + row * 25, 16, 16),
                     QColor::fromHsv(row * 37 % 360, 140, 220));
    painter.drawText(list.left() + 36, list.top() + 57 + row * 25,
                     QString("session_%1.rcrec   %2 MB").arg(1000 + row).arg(3 + row * 7 % 40));
  }
  DrawWindow(painter, editor, "Untitled - Notes");

  // Typing runs in bursts: pictures 0..44 and 60..94, one character each.
  const int typed = std::min(n, 45) + std::clamp(n - 60, 0, 35);
  const QString text = QString(kTypedText).repeated(2).left(typed);
  painter.setPen(QColor(20, 20, 20));
  const QRect textArea = editor.adjusted(16, 44, -16, -16);
  QRect used;
  painter.drawText(textArea, Qt::TextWordWrap, text, &used);
  if ((n / 5) % 2 == 0) {
    const int caretX = used.isEmpty() ? textArea.left() : used.right() + 2;
    const int caretY = used.isEmpty() ? textArea.top() : used.bottom() - 16;
    painter.fillRect(QRect(caretX, caretY, 1, 17), Qt::black);
  }

  if (n >= 30 && n < 34) {
    const QRect menu(editor.left() + 40, editor.top() + 30, 220, 180);
    painter.fillRect(menu, QColor(245, 245, 245));
    painter.setPen(QColor(160, 160, 160));
    painter.drawRect(menu.adjusted(0, 0, -1, -1));
    painter.setPen(Qt::black);
    const char* items[] = {"New", "Open...", "Save", "Save as...", "Print...", "Exit"};
    for (int i = 0; i < 6; ++i) {
      painter.drawText(menu.left() + 16, menu.top() + 24 + i * 28, items[i]);
    }
  }

  // The pointer rests on the editor, wanders at 20..29 and 60..69, and rides along the drags.
  QPoint pointer(700, 500);
  if (n >= 20 && n < 30) {
    pointer += QPoint((n - 20) * 31, (n - 20) * -17);
  } else if (n >= 45 && n < 95) {
    pointer = listOrigin + QPoint(200, 12);
    if (n >= 60 && n < 70) {
      pointer += QPoint((n - 60) * -23, (n - 60) * 29);
    }
  }
  DrawPointer(painter, pointer);
  return image;
}

// A loop of pictures kept as the first one and, for every next one, the 4-row strips that
// changed: a whole session would not fit in memory as full pictures.
class CPictureLoop {
 public:
  void Add(Picture picture) {
    if (first_.empty()) {
      first_ = picture;
    } else {
      patches_.push_back(Difference(last_, picture));
    }
    last_ = std::move(picture);
  }
  // Closes the loop with the step from the last picture back to the first.
  void Close() { patches_.push_back(Difference(last_, first_)); }
  std::size_t Size() const { return patches_.size(); }

  void Rewind() {
    current_ = first_;
    next_ = 0;
  }
  // The first picture after Rewind, then each next one, round the loop.
  const Picture& Next() {
    if (next_ > 0) {
      const Patch& patch = patches_[(next_ - 1) % patches_.size()];
      for (std::size_t i = 0; i < patch.strips.size(); ++i) {
        std::memcpy(current_.data() + patch.strips[i] * kStripPixels,
                    patch.pixels.data() + i * kStripPixels, kStripPixels * sizeof(std::uint32_t));
      }
    }
    ++next_;
    return current_;
  }

 private:
  static constexpr std::size_t kStripPixels = static_cast<std::size_t>(kWidth) * 4;
  struct Patch {
    std::vector<std::size_t> strips;
    Picture pixels;
  };

  static Patch Difference(const Picture& from, const Picture& to) {
    Patch patch;
    for (std::size_t strip = 0; strip * kStripPixels < to.size(); ++strip) {
      const std::size_t start = strip * kStripPixels;
      if (std::memcmp(from.data() + start, to.data() + start, kStripPixels * 4) != 0) {
        patch.strips.push_back(strip);
        patch.pixels.insert(patch.pixels.end(), to.begin() + static_cast<std::ptrdiff_t>(start),
                            to.begin() + static_cast<std::ptrdiff_t>(start + kStripPixels));
      }
    }
    return patch;
  }

  Picture first_;
  Picture last_;
  std::vector<Patch> patches_;
  Picture current_;
  std::size_t next_ = 0;
};

// A long page of text, boxes and a shaded background, scrolled kScrollStep pixels a picture.
CPictureLoop MakeScrollingLoop() {
  EnsureGuiApplication();
  const int pageHeight = kHeight + kScrollStep * kScrollingPictures;
  QImage page(kWidth, pageHeight, QImage::Format_RGB32);
  QPainter painter(&page);
  QLinearGradient shade(0, 0, 0, pageHeight);
  shade.setColorAt(0, QColor(255, 255, 255));
  shade.setColorAt(1, QColor(200, 215, 235));
  painter.fillRect(page.rect(), shade);
  QFont font("DejaVu Serif");
  font.setPixelSize(17);
  painter.setFont(font);
  for (int line = 0; line * 26 < pageHeight; ++line) {
    if (line % 9 == 4) {
      painter.fillRect(QRect(1300, line * 26, 480, 200),
                       QColor::fromHsv(line * 53 % 360, 120, 210));
    }
    painter.setPen(QColor(25, 25, 25));
    painter.drawText(120, 20 + line * 26, QString(kTypedText).mid(line % 40, 110));
  }
  painter.end();
  CPictureLoop loop;
  for (int n = 0; n < kScrollingPictures; ++n) {
    loop.Add(PictureFromImage(page.copy(0, n * kScrollStep, kWidth, kHeight)));
  }
  loop.Close();
  return loop;
}

CPictureLoop MakeDesktopLoop() {
  EnsureGuiApplication();
  CPictureLoop loop;
  for (int n = 0; n < kDesktopPictures; ++n) {
    loop.Add(PictureFromImage(RenderDesktop(n)));
  }
  loop.Close();
  return loop;
}

enum class Sequence { Desktop, Scrolling };

CPictureLoop& Loop(Sequence sequence) {
  static std::map<Sequence, CPictureLoop> loops;
  auto found = loops.find(sequence);
  if (found == loops.end()) {
    found = loops
                .emplace(sequence,
                         sequence == Sequence::Desktop ? MakeDesktopLoop() : MakeScrollingLoop())
                .first;
  }
  return found->second;
}

// Decodes every picture of one stream and adds up its squared error against the sources.
class CQualityMeter {
 public:
  void Add(const Msvc1Frame& coded, const Picture& source) {
    const std::vector<std::uint16_t>& shown = decoder_.Decode(coded.data.span());
    for (std::size_t i = 0; i < kPixels; ++i) {
      const int wanted = ToRgb555(source[i]);
      for (int shift : {10, 5, 0}) {
        const int d = ((shown[i] >> shift) & 31) - ((wanted >> shift) & 31);
        squares_ += d * d;
      }
    }
    bytes_ += coded.data.size();
    ++pictures_;
  }

  double Psnr() const {
    const double meanSquare = squares_ / (3.0 * static_cast<double>(kPixels) * pictures_);
    return meanSquare == 0 ? 99.0 : 10.0 * std::log10(31.0 * 31.0 / meanSquare);
  }
  double BytesPerPicture() const { return static_cast<double>(bytes_) / pictures_; }

 private:
  testing::CMsvideo1ReferenceDecoder decoder_{kWidth, kHeight};
  double squares_ = 0;
  std::size_t bytes_ = 0;
  int pictures_ = 0;
};

double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Figures {
  double secondsPerPicture = 0;
  double psnr = 0;
  double bytesPerPicture = 0;
};

// libavcodec's figures per sequence, from its case earlier in this run.
std::map<Sequence, Figures>& ReferenceFigures() {
  static std::map<Sequence, Figures> figures;
  return figures;
}

// Codes the loop once, one picture per iteration; only the encoding is timed. encode returns the
// thread time of its encoding, from which the ratios are taken.
template <typename EncodeFn>
Figures CodeLoop(benchmark::State& state, Sequence sequence, EncodeFn&& encode) {
  CPictureLoop& loop = Loop(sequence);
  loop.Rewind();
  CQualityMeter meter;
  Msvc1Frame coded;
  double seconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const Picture& picture = loop.Next();
    state.ResumeTiming();
    seconds += encode(picture, coded);
    state.PauseTiming();
    meter.Add(coded, picture);
    state.ResumeTiming();
  }
  const Figures figures{seconds / static_cast<double>(state.iterations()), meter.Psnr(),
                        meter.BytesPerPicture()};
  state.SetItemsProcessed(state.iterations());
  state.counters["psnr_db"] = figures.psnr;
  state.counters["bytes_per_picture"] = figures.bytesPerPicture;
  return figures;
}

void BM_LibavcodecMsvideo1(benchmark::State& state, Sequence sequence) {
  testing::CMsvideo1ReferenceEncoder encoder(kWidth, kHeight, kKeyInterval);
  ReferenceFigures()[sequence] =
      CodeLoop(state, sequence, [&encoder, &state](const Picture& picture, Msvc1Frame& out) {
        // Its input conversion is not the encoder's work.
        state.PauseTiming();
        encoder.Load(picture);
        state.ResumeTiming();
        const double start = ThreadSeconds();
        encoder.Encode(out);
        return ThreadSeconds() - start;
      });
}

void BM_Msvc1Encoder(benchmark::State& state, Sequence sequence) {
  CMsvc1Encoder encoder(kWidth, kHeight, kKeyInterval);
  const Figures ours =
      CodeLoop(state, sequence, [&encoder](const Picture& picture, Msvc1Frame& out) {
        const double start = ThreadSeconds();
        encoder.Encode(picture, out);
        return ThreadSeconds() - start;
      });
  const auto reference = ReferenceFigures().find(sequence);
  if (reference != ReferenceFigures().end()) {
    state.counters["speedup"] = reference->second.secondsPerPicture / ours.secondsPerPicture;
    state.counters["psnr_gain_db"] = ours.psnr - reference->second.psnr;
    state.counters["size_ratio"] = ours.bytesPerPicture / reference->second.bytesPerPicture;
  }
}

// The whole "msvc" compressor as the recorder drives it: 32-bit bottom-up samples, coded where
// they lie. Beside the encoder case it shows what the compressor adds.
void BM_Msvideo1Compressor(benchmark::State& state, Sequence sequence) {
  BitmapInfoHeader header;
  header.width = kWidth;
  header.height = kHeight;
  header.bitCount = 32;
  VideoMediaType type;
  type.format = BitmapFormat(header);
  type.averageTimePerFrame = 1'000'000;
  CMsvideo1Compressor compressor;
  CompressedStreamInfo info;
  if (compressor.Connect(type, info) != 0) {
    state.SkipWithError("the compressor refused the pictures");
    return;
  }
  CompressedPacket packet;
  const Figures ours =
      CodeLoop(state, sequence, [&compressor, &packet](const Picture& picture, Msvc1Frame& out) {
        const std::span<const std::uint8_t> sample(
            reinterpret_cast<const std::uint8_t*>(picture.data()), picture.size() * 4);
        const double start = ThreadSeconds();
        compressor.Compress(sample, packet);
        const double seconds = ThreadSeconds() - start;
        out.data.Assign(packet.data);
        out.key = packet.key;
        return seconds;
      });
  const auto reference = ReferenceFigures().find(sequence);
  if (reference != ReferenceFigures().end()) {
    state.counters["speedup"] = reference->second.secondsPerPicture / ours.secondsPerPicture;
  }
}

// One loop of each sequence per case; the reference first, so that our cases can compare.
BENCHMARK_CAPTURE(BM_LibavcodecMsvideo1, desktop_1080p, Sequence::Desktop)
    ->Iterations(kDesktopPictures)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Msvc1Encoder, desktop_1080p, Sequence::Desktop)
    ->Iterations(kDesktopPictures)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Msvideo1Compressor, desktop_1080p, Sequence::Desktop)
    ->Iterations(kDesktopPictures)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LibavcodecMsvideo1, scrolling_1080p, Sequence::Scrolling)
    ->Iterations(kScrollingPictures)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Msvc1Encoder, scrolling_1080p, Sequence::Scrolling)
    ->Iterations(kScrollingPictures)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace reelkit
