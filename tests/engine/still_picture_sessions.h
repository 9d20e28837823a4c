#pragma once

#include <cstdint>
#include <vector>

#include "common/byte_block.h"
#include "tools/recording_writer/recording_writer.h"

// Sessions whose picture at a tenth of their length is known, for the still-picture search and
// the thumbnailer: 30 s long, so the picture shown at 3 s stands for them.
namespace reelkit::testing {

inline constexpr int kStillWidth = 320;
inline constexpr int kStillHeight = 200;
inline constexpr Time kSecond = 10'000'000;

// The quadrants of the picture shown at 3 s (top left, top right, bottom left, bottom right),
// colours every layout holds exactly.
inline constexpr std::uint32_t kShownQuadrants[4] = {0xFFFF00, 0x00FFFF, 0xFF00FF, 0x000000};
// Where the pointer is at 3 s; its shape was set at the start.
inline constexpr int kPointerX = 200;
inline constexpr int kPointerY = 150;

inline std::uint32_t QuadrantColour(const std::uint32_t (&colours)[4], int x, int y) {
  return colours[(y >= kStillHeight / 2 ? 2 : 0) + (x >= kStillWidth / 2 ? 1 : 0)];
}

struct StillSession {
  recording::PixelLayout layout = recording::PixelLayout::Rgb32;
  // Another layout the screen changes to at 0.2 s, before the key image; none when equal.
  recording::PixelLayout laterLayout = recording::PixelLayout::Rgb32;
  // A key image at 1.5 s, so the picture at 3 s is decoded from there; otherwise a delta.
  bool keyImageBeforeTheMoment = true;
};

inline recording::CursorShape WhiteArrow() {
  std::vector<std::uint32_t> argb(8 * 12, 0);
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x <= y && x < 8; ++x) {
      argb[y * 8 + x] = 0xFFFFFFFFu;
    }
  }
  return recording::CursorShape::FromArgb(argb, 8, 12, 0, 0);
}

// Grey at the start, red/green/blue/white quadrants from 0.5 s, the shown quadrants from 1.5 s
// with a white bar across the middle from 2.6 s, black from 3.5 s and white at the end.
inline ByteBlock RecordStillSession(const StillSession& session) {
  using namespace recording;
  CRecordingWriter writer(MakeStreamFormat(kStillWidth, kStillHeight, session.layout));
  PixelLayout layout = session.layout;
  const auto paint = [&layout](auto colour) {
    return PaintPicture(kStillWidth, kStillHeight, layout, colour);
  };
  constexpr std::uint32_t kFirstQuadrants[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  writer.WriteInit(0, &writer.Model().NativeFormat());
  writer.WriteCursorShape(0, WhiteArrow());
  writer.WriteCursorPosition(0, 10, 10);
  writer.WriteKeyFrame(0, paint([](int, int) { return 0x808080u; }));
  if (session.laterLayout != session.layout) {
    layout = session.laterLayout;
    const BitmapFormat later = MakeStreamFormat(kStillWidth, kStillHeight, layout);
    writer.WriteFormat(2 * kSecond / 10, &later);
    writer.WriteKeyFrame(2 * kSecond / 10, paint([](int, int) { return 0x808080u; }));
  }
  writer.WriteDelta(kSecond / 2,
                    paint([&](int x, int y) { return QuadrantColour(kFirstQuadrants, x, y); }));
  const auto shown = paint([](int x, int y) { return QuadrantColour(kShownQuadrants, x, y); });
  if (session.keyImageBeforeTheMoment) {
    writer.WriteKeyFrame(15 * kSecond / 10, shown);
  } else {
    writer.WriteDelta(15 * kSecond / 10, shown);
  }
  writer.WriteCursorPosition(2 * kSecond, kPointerX, kPointerY);
  writer.WriteDelta(26 * kSecond / 10, paint([](int x, int y) {
                      return y >= 98 && y < 102 ? 0xFFFFFFu : QuadrantColour(kShownQuadrants, x, y);
                    }));
  writer.WriteDelta(35 * kSecond / 10, paint([](int, int) { return 0u; }));
  writer.WriteDelta(30 * kSecond, paint([](int, int) { return 0xFFFFFFu; }));
  writer.Finish();
  return writer.Bytes();
}

}  // namespace reelkit::testing
