#include "tools/scene_generator/scene_recorder.h"

#include <QRegion>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tools/scene_generator/cursor_shapes.h"

namespace reelkit::scene {
namespace {

using recording::MoveKind;
using recording::MoveOperation;
using recording::PixelLayout;
using recording::ScreenRect;

constexpr int kFirstClockMinute = 9 * 60 + 41;

ScreenRect ToScreenRect(const QRect& rect) {
  return {rect.x(), rect.y(), rect.width(), rect.height()};
}

Time SecondsToTime(double seconds) {
  return static_cast<Time>(std::llround(seconds * static_cast<double>(kTimeUnitsPerSecond)));
}

// Native white for a fill, where the depth lets a fill carry a colour.
std::optional<std::uint32_t> NativeWhite(PixelLayout layout) {
  if (recording::BitsPerPixel(layout) != 16 && recording::BitsPerPixel(layout) != 32) {
    return std::nullopt;
  }
  const std::uint32_t white = 0xFFFFFFFFu;
  std::uint8_t native[4] = {0, 0, 0, 0};
  recording::PackPixels(std::span(&white, 1), layout, native);
  return static_cast<std::uint32_t>(native[0] | native[1] << 8 | native[2] << 16 |
                                    static_cast<std::uint32_t>(native[3]) << 24);
}

}  // namespace

CSceneRecorder::CSceneRecorder(const SceneSettings& settings, recording::CRecordingWriter& writer)
    : settings_(settings),
      writer_(writer),
      scene_(settings.width, settings.height, settings.seed),
      layout_(settings.layout),
      now_(settings.start),
      lastKeyFrame_(settings.start),
      interval_(static_cast<Time>(settings.intervalMs) * (kTimeUnitsPerSecond / 1000)),
      pointerX_(settings.width / 2),
      pointerY_(settings.height / 2) {
  for (PointerShape shape : {PointerShape::Arrow, PointerShape::IBeam, PointerShape::Hand}) {
    cursors_.push_back(MakeCursorShape(shape));
  }
  target_.Resize(writer_.Model().FrameSize());
  Convert(QRect(0, 0, settings.width, settings.height));
  const BitmapFormat format = writer_.Model().NativeFormat();
  writer_.WriteInit(now_, &format);
  writer_.WriteCursorShape(now_, cursors_[static_cast<std::size_t>(pointerShape_)]);
  writer_.WriteCursorPosition(now_, pointerX_, pointerY_);
  SendKeyFrame();
  now_ += interval_;
}

bool CSceneRecorder::TimeIsUp() const {
  return settings_.durationSeconds > 0 &&
         now_ - settings_.start >= SecondsToTime(settings_.durationSeconds);
}

void CSceneRecorder::Run(const std::vector<SceneAction>& actions) {
  do {
    const Time passStart = now_;
    for (const SceneAction& action : actions) {
      if (TimeIsUp()) {
        return;
      }
      Play(action);
    }
    if (now_ == passStart) {
      return;  // a script that takes no time would repeat for ever
    }
  } while (settings_.durationSeconds > 0 && !TimeIsUp());
}

int CSceneRecorder::StepsFor(double seconds) const {
  return std::max(1, static_cast<int>(std::lround(seconds * 1000.0 / settings_.intervalMs)));
}

void CSceneRecorder::BeginStep() {
  if (settings_.keyFrameSeconds > 0 &&
      now_ - lastKeyFrame_ >= SecondsToTime(settings_.keyFrameSeconds)) {
    SendKeyFrame();
  }
  const int minutes =
      kFirstClockMinute + static_cast<int>((now_ - settings_.start) / (60 * kTimeUnitsPerSecond));
  Send(scene_.SetClockMinutes(minutes));
}

void CSceneRecorder::EndStep() {
  now_ += interval_;
}

void CSceneRecorder::Wait(double seconds) {
  const Time end = now_ + SecondsToTime(seconds);
  if (settings_.durationSeconds > 0) {
    now_ = std::min(end, settings_.start + SecondsToTime(settings_.durationSeconds));
  } else {
    now_ = end;
  }
}

void CSceneRecorder::Play(const SceneAction& action) {
  switch (action.kind) {
    case SceneActionKind::Window:
      OpenWindow(action);
      break;
    case SceneActionKind::Type:
      Type(action);
      break;
    case SceneActionKind::Scroll:
      Scroll(action);
      break;
    case SceneActionKind::Drag:
      Drag(action);
      break;
    case SceneActionKind::Menu:
      Menu(action);
      break;
    case SceneActionKind::Point:
      Point(action);
      break;
    case SceneActionKind::Idle:
      Wait(action.seconds);
      break;
    case SceneActionKind::Focus:
      BeginStep();
      Focus(action.name);
      EndStep();
      break;
    case SceneActionKind::Close:
      BeginStep();
      Send(scene_.CloseWindow(action.name));
      RefreshPointerShape();
      EndStep();
      break;
    case SceneActionKind::Format:
      ReformatScreen(action.width, action.height, action.layout);
      break;
    case SceneActionKind::KeyFrame:
      SendKeyFrame();
      break;
  }
}

void CSceneRecorder::Convert(const QRect& rect) {
  const QRect clipped = rect.intersected(scene_.Screen().rect());
  if (clipped.isEmpty()) {
    return;
  }
  const std::size_t stride = writer_.Model().Stride();
  const std::size_t pixelBytes = recording::BytesPerPixel(layout_);
  const int height = scene_.Height();
  for (int y = clipped.y(); y < clipped.y() + clipped.height(); ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(scene_.Screen().constScanLine(y));
    recording::PackPixels(std::span(row + clipped.x(), static_cast<std::size_t>(clipped.width())),
                          layout_,
                          target_.data() + static_cast<std::size_t>(height - 1 - y) * stride +
                              static_cast<std::size_t>(clipped.x()) * pixelBytes);
  }
}

void CSceneRecorder::Send(const std::vector<QRect>& rects) {
  for (const QRect& rect : rects) {
    const QRect clipped = rect.intersected(scene_.Screen().rect());
    if (clipped.isEmpty()) {
      continue;
    }
    scene_.Paint(clipped);
    Convert(clipped);
    writer_.WriteDeltaRect(now_, ToScreenRect(clipped), target_.span());
  }
}

void CSceneRecorder::CopyBlock(const QRect& source, const QRect& target) {
  // The same block moves in the painted screen and in the native one, as the MOVE moves it for
  // the decoder.
  QImage& screen = scene_.MutableScreen();
  const QImage block = screen.copy(source);
  for (int row = 0; row < block.height(); ++row) {
    std::memcpy(screen.scanLine(target.y() + row) + static_cast<std::ptrdiff_t>(target.x()) * 4,
                block.constScanLine(row), static_cast<std::size_t>(block.width()) * 4);
  }
  const std::size_t stride = writer_.Model().Stride();
  const std::size_t pixelBytes = recording::BytesPerPixel(layout_);
  const std::size_t rowBytes = static_cast<std::size_t>(source.width()) * pixelBytes;
  ByteBlock native(rowBytes * static_cast<std::size_t>(source.height()));
  const auto offsetOf = [&](int x, int y) {
    return static_cast<std::size_t>(scene_.Height() - 1 - y) * stride +
           static_cast<std::size_t>(x) * pixelBytes;
  };
  for (int row = 0; row < source.height(); ++row) {
    std::memcpy(native.data() + rowBytes * static_cast<std::size_t>(row),
                target_.data() + offsetOf(source.x(), source.y() + row), rowBytes);
  }
  for (int row = 0; row < source.height(); ++row) {
    std::memcpy(target_.data() + offsetOf(target.x(), target.y() + row),
                native.data() + rowBytes * static_cast<std::size_t>(row), rowBytes);
  }
  const MoveOperation copy{MoveKind::Copy, ToScreenRect(target), source.x(), source.y(), 0};
  writer_.WriteMoves(now_, std::span(&copy, 1));
}

void CSceneRecorder::MovePointer(int x, int y) {
  x = std::clamp(x, 0, scene_.Width() - 1);
  y = std::clamp(y, 0, scene_.Height() - 1);
  if (x == pointerX_ && y == pointerY_) {
    return;
  }
  pointerX_ = x;
  pointerY_ = y;
  RefreshPointerShape();
  writer_.WriteCursorPosition(now_, x, y);
}

void CSceneRecorder::RefreshPointerShape() {
  const PointerShape shape = scene_.ShapeAt(pointerX_, pointerY_);
  if (shape != pointerShape_) {
    pointerShape_ = shape;
    writer_.WriteCursorShape(now_, cursors_[static_cast<std::size_t>(shape)]);
  }
}

void CSceneRecorder::SendKeyFrame() {
  writer_.WriteKeyFrame(now_, target_.span());
  lastKeyFrame_ = now_;
}

void CSceneRecorder::ReformatScreen(int width, int height, PixelLayout layout) {
  BeginStep();
  layout_ = layout;
  const BitmapFormat format = recording::MakeStreamFormat(width, height, layout);
  writer_.WriteFormat(now_, &format);
  scene_.Resize(width, height);
  target_.Resize(writer_.Model().FrameSize());
  Convert(scene_.Screen().rect());
  pointerX_ = std::min(pointerX_, width - 1);
  pointerY_ = std::min(pointerY_, height - 1);
  writer_.WriteCursorPosition(now_, pointerX_, pointerY_);
  SendKeyFrame();
  EndStep();
}

void CSceneRecorder::FillTextArea(const std::string& name) {
  const std::optional<std::uint32_t> white = NativeWhite(layout_);
  const SceneWindow* window = scene_.Find(name);
  if (!white || window == nullptr) {
    return;
  }
  // Applications erase their background first; the recording side sends that as a fill.
  const QRect area = scene_.TextArea(*window).intersected(scene_.Screen().rect());
  const MoveOperation fill{MoveKind::Fill, ToScreenRect(area), 0, 0, *white};
  writer_.WriteMoves(now_, std::span(&fill, 1));
}

void CSceneRecorder::OpenWindow(const SceneAction& action) {
  BeginStep();
  const std::vector<QRect> dirty =
      scene_.OpenWindow(action.name, QRect(action.x, action.y, action.width, action.height),
                        QString::fromStdString(action.text));
  FillTextArea(action.name);
  Send(dirty);
  RefreshPointerShape();
  EndStep();
}

void CSceneRecorder::Focus(const std::string& name) {
  Send(scene_.Focus(name));
  RefreshPointerShape();
}

void CSceneRecorder::Type(const SceneAction& action) {
  if (scene_.Find(action.name) == nullptr) {
    return;
  }
  const QString text = QString::fromStdString(action.text);
  const int steps = StepsFor(action.seconds);
  int typed = 0;
  for (int step = 0; step < steps && !TimeIsUp(); ++step) {
    BeginStep();
    Focus(action.name);
    const int upTo = static_cast<int>((static_cast<long long>(step) + 1) * text.size() / steps);
    for (; typed < upTo; ++typed) {
      if (scene_.TypeCharacter(text[typed])) {
        ScrollBy(1);
      }
    }
    Send(scene_.TypingRects());
    EndStep();
  }
}

void CSceneRecorder::ScrollBy(int lines) {
  const CDesktopScene::ScrollResult scroll = scene_.Scroll(lines);
  if (scroll.pixelShift != 0) {
    const QRect& moved = scroll.moved;
    CopyBlock(moved.translated(0, scroll.pixelShift), moved);
  }
  Send(scroll.paint);
}

void CSceneRecorder::Scroll(const SceneAction& action) {
  if (scene_.Find(action.name) == nullptr) {
    return;
  }
  const int steps = StepsFor(action.seconds);
  int done = 0;
  for (int step = 0; step < steps && !TimeIsUp(); ++step) {
    BeginStep();
    Focus(action.name);
    const int upTo = static_cast<int>((static_cast<long long>(step) + 1) * action.count / steps);
    ScrollBy(upTo - done);
    done = upTo;
    EndStep();
  }
}

void CSceneRecorder::Drag(const SceneAction& action) {
  const SceneWindow* window = scene_.Find(action.name);
  if (window == nullptr) {
    return;
  }
  BeginStep();
  Focus(action.name);
  Send(scene_.HideMenu());
  const QRect frame = scene_.FocusedWindow()->frame;
  MovePointer(frame.x() + frame.width() / 2, frame.y() + CDesktopScene::kTitleHeight / 2);
  EndStep();
  const int steps = StepsFor(action.seconds);
  int doneX = 0;
  int doneY = 0;
  for (int step = 0; step < steps && !TimeIsUp(); ++step) {
    BeginStep();
    const int toX = static_cast<int>((static_cast<long long>(step) + 1) * action.x / steps);
    const int toY = static_cast<int>((static_cast<long long>(step) + 1) * action.y / steps);
    const auto [before, after] = scene_.MoveFocused(toX - doneX, toY - doneY);
    doneX = toX;
    doneY = toY;
    if (before != after) {
      CopyBlock(before, after);
      std::vector<QRect> exposed;
      for (const QRect& rect : QRegion(before).subtracted(QRegion(after))) {
        exposed.push_back(rect);
      }
      Send(exposed);
      MovePointer(pointerX_ + after.x() - before.x(), pointerY_ + after.y() - before.y());
    }
    EndStep();
  }
}

void CSceneRecorder::Menu(const SceneAction& action) {
  if (scene_.Find(action.name) == nullptr) {
    return;
  }
  const int items = std::clamp(action.count, 1, 8);
  const double phase = action.seconds / (items + 2);
  BeginStep();
  Focus(action.name);
  const QPoint title = scene_.MenuTitlePoint(*scene_.FocusedWindow());
  MovePointer(title.x(), title.y());
  const std::vector<QRect> shown = scene_.ShowMenu(items);
  // Menus save what they cover; the recording side marks that with a save.
  const MoveOperation save{
      MoveKind::Save, ToScreenRect(scene_.MenuRect().intersected(scene_.Screen().rect())), 0, 0, 0};
  writer_.WriteMoves(now_, std::span(&save, 1));
  Send(shown);
  EndStep();
  Wait(phase);
  for (int item = 0; item < items && !TimeIsUp(); ++item) {
    BeginStep();
    const QRect menu = scene_.MenuRect();
    MovePointer(menu.x() + 60, menu.y() + 3 + item * CDesktopScene::kMenuItemHeight + 12);
    Send(scene_.HighlightMenuItem(item));
    EndStep();
    Wait(phase);
  }
  BeginStep();
  Send(scene_.HideMenu());
  RefreshPointerShape();
  EndStep();
}

void CSceneRecorder::Point(const SceneAction& action) {
  const int steps = StepsFor(action.seconds);
  const int fromX = pointerX_;
  const int fromY = pointerY_;
  for (int step = 0; step < steps && !TimeIsUp(); ++step) {
    BeginStep();
    MovePointer(fromX + static_cast<int>((action.x - fromX) * (step + 1LL) / steps),
                fromY + static_cast<int>((action.y - fromY) * (step + 1LL) / steps));
    EndStep();
  }
}

recording::WriterOptions WriterOptionsFor(const SceneSettings& settings,
                                          recording::DeltaUnits units) {
  recording::WriterOptions options;
  options.deltaCompression = settings.compression;
  options.moveCompression = settings.compression;
  options.deltaUnits = units;
  return options;
}

SceneRecordingSummary RecordSceneToFile(const SceneScript& script,
                                        const std::filesystem::path& path,
                                        recording::DeltaUnits units) {
  const SceneSettings& settings = script.settings;
  recording::CRecordingWriter writer(
      path, recording::MakeStreamFormat(settings.width, settings.height, settings.layout),
      WriterOptionsFor(settings, units));
  CSceneRecorder recorder(settings, writer);
  recorder.Run(script.actions);
  writer.Finish();
  return {recorder.Now() - settings.start, writer.RecordCount(), writer.BytesWritten()};
}

}  // namespace reelkit::scene
