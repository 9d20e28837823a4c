#include "tools/scene_generator/cursor_shapes.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <vector>

namespace reelkit::scene {
namespace {

constexpr int kCursorSize = 32;

void DrawArrow(QPainter& painter) {
  const QPolygonF arrow(
      {{0.5, 0.5}, {0.5, 17}, {4.5, 13}, {7.5, 19.5}, {10, 18.5}, {7.2, 12.2}, {12.5, 12.2}});
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(Qt::white);
  painter.drawPolygon(arrow);
}

void DrawIBeam(QPainter& painter) {
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.fillRect(2, 0, 5, 3, Qt::white);
  painter.fillRect(2, 16, 5, 3, Qt::white);
  painter.fillRect(3, 1, 3, 17, Qt::white);
  painter.fillRect(3, 1, 3, 1, Qt::black);
  painter.fillRect(3, 17, 3, 1, Qt::black);
  painter.fillRect(4, 1, 1, 17, Qt::black);
}

void DrawHand(QPainter& painter) {
  QPainterPath hand;
  hand.addRoundedRect(QRectF(5.5, 0.5, 4, 12), 2, 2);
  hand.addRoundedRect(QRectF(2.5, 9.5, 14, 10), 3, 3);
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(QColor(0xF0, 0xF0, 0xF0));
  painter.drawPath(hand.simplified());
  painter.setPen(QPen(QColor(0x70, 0x70, 0x70), 1));
  painter.drawLine(QPointF(9.5, 12), QPointF(9.5, 15));
  painter.drawLine(QPointF(12.5, 12), QPointF(12.5, 15));
}

}  // namespace

recording::CursorShape MakeCursorShape(PointerShape shape) {
  QImage image(kCursorSize, kCursorSize, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, true);
  int hotspotX = 0;
  int hotspotY = 0;
  switch (shape) {
    case PointerShape::Arrow:
      DrawArrow(painter);
      break;
    case PointerShape::IBeam:
      DrawIBeam(painter);
      hotspotX = 4;
      hotspotY = 9;
      break;
    case PointerShape::Hand:
      DrawHand(painter);
      hotspotX = 7;
      break;
  }
  painter.end();
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(kCursorSize) * kCursorSize);
  for (int y = 0; y < kCursorSize; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
    std::copy_n(row, kCursorSize, pixels.begin() + static_cast<std::ptrdiff_t>(y) * kCursorSize);
  }
  return recording::CursorShape::FromArgb(pixels, kCursorSize, kCursorSize, hotspotX, hotspotY);
}

}  // namespace reelkit::scene
