#include "tests/recorders/rle_test_pictures.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPolygon>
#include <QString>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

namespace reelkit::testing {
namespace {

constexpr const char* kProse[] = {
    "The conversion keeps the recording's timing: gaps become repeated pictures.",
    "Each bundle of packets is decoded into the screen state before it is written.",
    "Remote sessions mostly show still screens with a little typing and a moving pointer.",
    "Key frames repaint everything; the frames between them carry only what changed.",
    "Quarterly figures: 1,234.56 / 7,890.12 / 3,456.78 -- totals checked by hand.",
    "int main(int argc, char** argv) { return Convert(argv[1], argv[2]); }",
};
constexpr int kProseLines = sizeof(kProse) / sizeof(kProse[0]);

void DrawWindow(QPainter& painter, const QRect& frame, const QString& title, int firstLine) {
  painter.fillRect(frame, QColor(250, 250, 250));
  painter.setPen(QColor(120, 120, 120));
  painter.drawRect(frame.adjusted(0, 0, -1, -1));
  const QRect titleBar(frame.left(), frame.top(), frame.width(), 26);
  painter.fillRect(titleBar, QColor(0, 95, 184));
  painter.setPen(Qt::white);
  painter.drawText(titleBar.adjusted(8, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, title);
  painter.setPen(QColor(20, 20, 20));
  int line = firstLine;
  for (int y = frame.top() + 46; y < frame.bottom() - 8; y += 18) {
    painter.drawText(frame.left() + 10, y, QString::fromLatin1(kProse[line++ % kProseLines]));
  }
}

void DrawPointer(QPainter& painter, QPoint tip) {
  const QPolygon arrow({tip, tip + QPoint(0, 17), tip + QPoint(4, 13), tip + QPoint(8, 20),
                        tip + QPoint(10, 19), tip + QPoint(7, 12), tip + QPoint(12, 12)});
  painter.setPen(Qt::black);
  painter.setBrush(Qt::white);
  painter.drawPolygon(arrow);
  painter.setBrush(Qt::NoBrush);
}

QImage NewImage(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::black);
  return image;
}

}  // namespace

void EnsureGuiApplication() {
  if (QGuiApplication::instance() != nullptr) {
    return;
  }
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "rle_tests";
  static char* argv[] = {name, nullptr};
  // Lives until the process ends: Qt allows one application object, and later tests reuse it.
  static std::unique_ptr<QGuiApplication> application =
      std::make_unique<QGuiApplication>(argc, argv);
}

Picture PictureFromImage(const QImage& image) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  const int width = rgb.width();
  const int height = rgb.height();
  Picture picture(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    const auto* line = reinterpret_cast<const std::uint32_t*>(rgb.constScanLine(y));
    std::uint32_t* out = picture.data() + static_cast<std::size_t>(height - 1 - y) * width;
    for (int x = 0; x < width; ++x) {
      out[x] = line[x] & 0x00FFFFFF;
    }
  }
  return picture;
}

Picture RenderDesktop(int width, int height, int frame) {
  EnsureGuiApplication();
  QImage image = NewImage(width, height);
  QPainter painter(&image);
  QLinearGradient wallpaper(0, 0, 0, height);
  wallpaper.setColorAt(0, QColor(24, 58, 112));
  wallpaper.setColorAt(1, QColor(92, 150, 206));
  painter.fillRect(image.rect(), wallpaper);
  painter.setFont(QFont("DejaVu Sans", 10));

  DrawWindow(painter, QRect(width / 20, height / 12, width / 2, height * 2 / 3), "Report.txt", 0);
  const QRect editor(width * 9 / 20, height / 5, width / 2, height / 2);
  DrawWindow(painter, editor, "Notes - typing", 3);
  const QString typed = QString::fromLatin1(kProse[2]).left(frame % 80);
  painter.fillRect(QRect(editor.left() + 1, editor.bottom() - 30, editor.width() - 2, 24),
                   QColor(255, 255, 224));
  painter.setPen(Qt::black);
  painter.drawText(editor.left() + 10, editor.bottom() - 13, typed + "|");

  const QRect taskBar(0, height - 36, width, 36);
  painter.fillRect(taskBar, QColor(32, 32, 36));
  painter.setPen(QColor(230, 230, 230));
  painter.drawText(taskBar.adjusted(0, 0, -12, 0), Qt::AlignVCenter | Qt::AlignRight,
                   QString("10:%1").arg(12 + frame / 10, 2, 10, QChar('0')));
  DrawPointer(painter, QPoint(width / 3 + 7 * (frame % 40), height / 2 + 3 * (frame % 40)));
  painter.end();
  return PictureFromImage(image);
}

Picture RenderScrolledDocument(int width, int height, int frame) {
  EnsureGuiApplication();
  QImage image = NewImage(width, height);
  QPainter painter(&image);
  const int scroll = 3 * frame;
  QLinearGradient paper(0, -scroll, 0, 2 * height - scroll);
  paper.setColorAt(0, QColor(255, 255, 255));
  paper.setColorAt(1, QColor(226, 232, 240));
  painter.fillRect(image.rect(), paper);
  painter.setFont(QFont("DejaVu Sans", 10));
  painter.setPen(QColor(25, 25, 25));
  for (int line = 0, y = 20 - scroll; y < height + 20; ++line, y += 18) {
    if (y > -20) {
      painter.drawText(24, y, QString::fromLatin1(kProse[line % kProseLines]));
      painter.drawText(width / 2 + 24, y, QString::fromLatin1(kProse[(line + 3) % kProseLines]));
    }
  }
  painter.end();
  return PictureFromImage(image);
}

double PeakSignalToNoise(const Picture& expected, const Picture& actual) {
  double squared = 0;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    for (int shift = 0; shift < 24; shift += 8) {
      const double d = static_cast<double>((expected[i] >> shift) & 0xFF) -
                       static_cast<double>((actual[i] >> shift) & 0xFF);
      squared += d * d;
    }
  }
  if (squared == 0) {
    return std::numeric_limits<double>::infinity();
  }
  const double mean = squared / (3.0 * static_cast<double>(expected.size()));
  return 10.0 * std::log10(255.0 * 255.0 / mean);
}

}  // namespace reelkit::testing
