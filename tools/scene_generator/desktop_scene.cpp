#include "tools/scene_generator/desktop_scene.h"

#include <QFont>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <array>

namespace reelkit::scene {
namespace {

constexpr int kTextMargin = 6;
constexpr int kMenuWidth = 190;
constexpr int kTaskButtonWidth = 170;
constexpr int kIconSize = 48;

const std::array<const char*, 48> kWords = {
    "the",     "printer", "queue",   "server", "restart", "customer", "ticket",  "update",
    "network", "driver",  "account", "backup", "folder",  "report",   "monthly", "invoice",
    "session", "remote",  "screen",  "check",  "service", "install",  "license", "office",
    "with",    "after",   "before",  "and",    "then",    "from",     "about",   "during",
    "error",   "log",     "device",  "user",   "mail",    "setting",  "policy",  "profile",
    "disk",    "space",   "cleanup", "weekly", "call",    "notes",    "status",  "done"};

const std::array<const char*, 8> kMenuLabels = {"New",      "Open...",    "Save",   "Save As...",
                                                "Print...", "Properties", "Recent", "Exit"};

const std::array<const char*, 4> kMenuBarLabels = {"File", "Edit", "View", "Help"};

QFont TextFont() {
  QFont font(QStringLiteral("DejaVu Sans Mono"));
  font.setPixelSize(13);
  font.setHintingPreference(QFont::PreferFullHinting);
  return font;
}

QFont UiFont(bool bold) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(12);
  font.setBold(bold);
  return font;
}

QColor IconColor(int index) {
  static const std::array<QColor, 4> colors = {QColor(0xE8, 0xB3, 0x3C), QColor(0x4A, 0x90, 0xD9),
                                               QColor(0x6C, 0xB3, 0x4F), QColor(0xC9, 0x4C, 0x4C)};
  return colors[static_cast<std::size_t>(index) % colors.size()];
}

}  // namespace

std::uint32_t CSceneRandom::Next() {
  // xorshift32: the same numbers on every platform.
  state_ ^= state_ << 13;
  state_ ^= state_ >> 17;
  state_ ^= state_ << 5;
  return state_;
}

CDesktopScene::CDesktopScene(int width, int height, std::uint32_t seed)
    : screen_(width, height, QImage::Format_RGB32), random_(seed) {
  charWidth_ = QFontMetrics(TextFont()).horizontalAdvance(QLatin1Char('M'));
  for (int i = 0; i < 4; ++i) {
    icons_.emplace_back(24, 24 + i * 92, kIconSize, kIconSize);
  }
  PaintAll();
}

std::vector<QString> CDesktopScene::MakeDocument(int lines) {
  std::vector<QString> document;
  for (int i = 0; i < lines; ++i) {
    QString line;
    if (random_.Below(7) != 0) {
      const int length = 30 + random_.Below(45);
      while (line.size() < length) {
        if (!line.isEmpty()) {
          line += QLatin1Char(' ');
        }
        line += QLatin1String(kWords[static_cast<std::size_t>(random_.Below(kWords.size()))]);
      }
    }
    document.push_back(line);
  }
  // The caret waits on a line of its own, where typing starts.
  document.emplace_back();
  return document;
}

SceneWindow* CDesktopScene::FindMutable(const std::string& name) {
  const auto it = std::find_if(windows_.begin(), windows_.end(),
                               [&](const SceneWindow& w) { return w.name == name; });
  return it == windows_.end() ? nullptr : &*it;
}

const SceneWindow* CDesktopScene::Find(const std::string& name) const {
  const auto it = std::find_if(windows_.begin(), windows_.end(),
                               [&](const SceneWindow& w) { return w.name == name; });
  return it == windows_.end() ? nullptr : &*it;
}

const SceneWindow* CDesktopScene::FocusedWindow() const {
  return windows_.empty() ? nullptr : &windows_.back();
}

QRect CDesktopScene::TaskbarRect() const {
  return {0, Height() - kTaskbarHeight, Width(), kTaskbarHeight};
}

QRect CDesktopScene::ClampToDesk(QRect frame) const {
  const int deskHeight = Height() - kTaskbarHeight;
  frame.setWidth(std::min(frame.width(), Width()));
  frame.setHeight(std::min(frame.height(), deskHeight));
  frame.moveLeft(std::clamp(frame.x(), 0, Width() - frame.width()));
  frame.moveTop(std::clamp(frame.y(), 0, deskHeight - frame.height()));
  return frame;
}

QRect CDesktopScene::TextArea(const SceneWindow& window) const {
  const QRect& f = window.frame;
  const int top = f.y() + 1 + kTitleHeight + kMenuBarHeight;
  return {f.x() + 1, top, f.width() - 2 - kScrollbarWidth, f.y() + f.height() - 1 - top};
}

QRect CDesktopScene::ScrollbarRect(const SceneWindow& window) const {
  const QRect text = TextArea(window);
  return {text.x() + text.width(), text.y(), kScrollbarWidth, text.height()};
}

QRect CDesktopScene::LineRect(const SceneWindow& window, int line) const {
  const QRect text = TextArea(window);
  return QRect(text.x(), text.y() + (line - window.topLine) * kLineHeight, text.width(),
               kLineHeight)
      .intersected(text);
}

int CDesktopScene::VisibleLines(const SceneWindow& window) const {
  return std::max(1, TextArea(window).height() / kLineHeight);
}

int CDesktopScene::CharactersPerLine(const SceneWindow& window) const {
  return std::max(8, (TextArea(window).width() - 2 * kTextMargin) / charWidth_ - 1);
}

QRect CDesktopScene::MenuRect() const {
  if (!menu_) {
    return {};
  }
  const SceneWindow* window = Find(menu_->window);
  if (window == nullptr) {
    return {};
  }
  return {window->frame.x() + 6, window->frame.y() + 1 + kTitleHeight + kMenuBarHeight - 1,
          kMenuWidth, menu_->items * kMenuItemHeight + 6};
}

QPoint CDesktopScene::MenuTitlePoint(const SceneWindow& window) const {
  return {window.frame.x() + 22, window.frame.y() + 1 + kTitleHeight + kMenuBarHeight / 2};
}

PointerShape CDesktopScene::ShapeAt(int x, int y) const {
  const QPoint point(x, y);
  if (menu_ && MenuRect().contains(point)) {
    return PointerShape::Hand;
  }
  for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
    if (it->frame.contains(point)) {
      return TextArea(*it).contains(point) ? PointerShape::IBeam : PointerShape::Arrow;
    }
  }
  return TaskbarRect().contains(point) ? PointerShape::Hand : PointerShape::Arrow;
}

void CDesktopScene::PaintWallpaper(QPainter& painter, const QRect& rect) const {
  QLinearGradient sky(0, 0, 0, Height());
  sky.setColorAt(0, QColor(0x3A, 0x60, 0x73));
  sky.setColorAt(1, QColor(0x16, 0x22, 0x2A));
  painter.fillRect(rect, sky);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x5F, 0x8F, 0xA8));
  painter.drawEllipse(QRect(Width() * 3 / 5, Height() / 5, Width() / 3, Width() / 3));
  painter.setBrush(QColor(0x24, 0x3B, 0x48));
  painter.drawEllipse(QRect(Width() / 2, Height() / 2, Width() / 4, Width() / 4));
  painter.setFont(UiFont(false));
  for (std::size_t i = 0; i < icons_.size(); ++i) {
    const QRect& icon = icons_[i];
    painter.fillRect(icon, IconColor(static_cast<int>(i)));
    painter.fillRect(icon.adjusted(8, 8, -8, -26), QColor(0xF4, 0xF4, 0xF4));
    painter.setPen(Qt::white);
    painter.drawText(QRect(icon.x() - 16, icon.y() + kIconSize + 4, kIconSize + 32, 16),
                     Qt::AlignHCenter | Qt::AlignTop,
                     QStringLiteral("Item %1").arg(static_cast<int>(i) + 1));
    painter.setPen(Qt::NoPen);
  }
}

void CDesktopScene::PaintTaskbar(QPainter& painter) const {
  const QRect bar = TaskbarRect();
  painter.fillRect(bar, QColor(0x1D, 0x27, 0x33));
  painter.fillRect(bar.x(), bar.y(), bar.width(), 1, QColor(0x3C, 0x4A, 0x58));
  painter.setFont(UiFont(true));
  const QRect start(6, bar.y() + 4, 72, bar.height() - 8);
  painter.fillRect(start, QColor(0x2E, 0x7D, 0x32));
  painter.setPen(Qt::white);
  painter.drawText(start, Qt::AlignCenter, QStringLiteral("Start"));
  painter.setFont(UiFont(false));
  for (std::size_t i = 0; i < windows_.size(); ++i) {
    const QRect button(86 + static_cast<int>(i) * kTaskButtonWidth, bar.y() + 4,
                       kTaskButtonWidth - 6, bar.height() - 8);
    const bool active = i + 1 == windows_.size();
    painter.fillRect(button, active ? QColor(0x4A, 0x5D, 0x70) : QColor(0x2B, 0x37, 0x44));
    painter.setPen(QColor(0xE6, 0xEA, 0xEE));
    const QString title = QFontMetrics(painter.font())
                              .elidedText(windows_[i].title, Qt::ElideRight, button.width() - 12);
    painter.drawText(button.adjusted(6, 0, -6, 0), Qt::AlignVCenter | Qt::AlignLeft, title);
  }
  painter.setPen(Qt::white);
  const QString clock = QStringLiteral("%1:%2")
                            .arg((clockMinutes_ / 60) % 24, 2, 10, QLatin1Char('0'))
                            .arg(clockMinutes_ % 60, 2, 10, QLatin1Char('0'));
  painter.drawText(QRect(bar.width() - 70, bar.y(), 62, bar.height()), Qt::AlignCenter, clock);
}

void CDesktopScene::PaintWindow(QPainter& painter, const SceneWindow& window, bool active,
                                const QRect& rect) const {
  const QRect& f = window.frame;
  painter.fillRect(f, QColor(0x4E, 0x5D, 0x6C));
  const QRect title(f.x() + 1, f.y() + 1, f.width() - 2, kTitleHeight);
  painter.fillRect(title, active ? QColor(0x2B, 0x57, 0x97) : QColor(0x89, 0x95, 0xA1));
  painter.setFont(UiFont(true));
  painter.setPen(Qt::white);
  painter.drawText(title.adjusted(10, 0, -40, 0), Qt::AlignVCenter | Qt::AlignLeft, window.title);
  const QRect close(title.x() + title.width() - 30, title.y() + 4, 24, kTitleHeight - 8);
  painter.fillRect(close, active ? QColor(0xC4, 0x2B, 0x1C) : QColor(0x9E, 0xA8, 0xB2));
  painter.drawText(close, Qt::AlignCenter, QStringLiteral("x"));

  const QRect menuBar(f.x() + 1, title.y() + kTitleHeight, f.width() - 2, kMenuBarHeight);
  painter.fillRect(menuBar, QColor(0xEE, 0xF0, 0xF2));
  painter.setFont(UiFont(false));
  int x = menuBar.x() + 8;
  for (std::size_t i = 0; i < kMenuBarLabels.size(); ++i) {
    const QRect item(x, menuBar.y(), 44, kMenuBarHeight);
    if (i == 0 && menu_ && menu_->window == window.name) {
      painter.fillRect(item, QColor(0xCC, 0xDD, 0xF0));
    }
    painter.setPen(QColor(0x20, 0x20, 0x20));
    painter.drawText(item, Qt::AlignCenter, QLatin1String(kMenuBarLabels[i]));
    x += 48;
  }

  const QRect text = TextArea(window);
  painter.fillRect(text, Qt::white);
  painter.save();
  painter.setClipRect(text.intersected(rect));
  painter.setFont(TextFont());
  painter.setPen(QColor(0x1E, 0x1E, 0x1E));
  const int first = window.topLine + std::max(0, (rect.y() - text.y()) / kLineHeight);
  const int last =
      std::min<int>(static_cast<int>(window.lines.size()) - 1,
                    window.topLine + (rect.y() + rect.height() - text.y()) / kLineHeight);
  for (int line = first; line <= last; ++line) {
    const QRect box = LineRect(window, line);
    const QString& content = window.lines[static_cast<std::size_t>(line)];
    painter.drawText(text.x() + kTextMargin, text.y() + (line - window.topLine) * kLineHeight + 13,
                     content);
    if (active && line + 1 == static_cast<int>(window.lines.size())) {
      const int caret = text.x() + kTextMargin + static_cast<int>(content.size()) * charWidth_;
      painter.fillRect(caret, box.y() + 2, 1, kLineHeight - 4, Qt::black);
    }
  }
  painter.restore();

  const QRect track = ScrollbarRect(window);
  painter.fillRect(track, QColor(0xE4, 0xE7, 0xEA));
  const int total = std::max<int>(1, static_cast<int>(window.lines.size()));
  const int visible = VisibleLines(window);
  const int thumbHeight = std::max(20, track.height() * std::min(visible, total) / total);
  const int range = std::max(1, total - visible);
  const int thumbTop =
      track.y() + (track.height() - thumbHeight) * std::min(window.topLine, range) / range;
  painter.fillRect(track.x() + 3, thumbTop, kScrollbarWidth - 6, thumbHeight,
                   QColor(0x9A, 0xA4, 0xAE));
}

void CDesktopScene::PaintMenu(QPainter& painter) const {
  const QRect menu = MenuRect();
  painter.fillRect(menu, QColor(0x8A, 0x96, 0xA3));
  painter.fillRect(menu.adjusted(1, 1, -1, -1), QColor(0xF7, 0xF8, 0xFA));
  painter.setFont(UiFont(false));
  for (int i = 0; i < menu_->items; ++i) {
    const QRect item(menu.x() + 3, menu.y() + 3 + i * kMenuItemHeight, menu.width() - 6,
                     kMenuItemHeight);
    const bool lit = i == menu_->highlighted;
    if (lit) {
      painter.fillRect(item, QColor(0x38, 0x75, 0xD7));
    }
    painter.setPen(lit ? Qt::white : QColor(0x20, 0x20, 0x20));
    painter.drawText(item.adjusted(24, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                     QLatin1String(kMenuLabels[static_cast<std::size_t>(i) % kMenuLabels.size()]));
  }
}

void CDesktopScene::Paint(const QRect& rect) {
  const QRect clip = rect.intersected(screen_.rect());
  if (clip.isEmpty()) {
    return;
  }
  QPainter painter(&screen_);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  painter.setClipRect(clip);
  PaintWallpaper(painter, clip);
  for (std::size_t i = 0; i < windows_.size(); ++i) {
    if (windows_[i].frame.intersects(clip)) {
      PaintWindow(painter, windows_[i], i + 1 == windows_.size(), clip);
    }
  }
  if (TaskbarRect().intersects(clip)) {
    PaintTaskbar(painter);
  }
  if (menu_ && MenuRect().intersects(clip)) {
    PaintMenu(painter);
  }
}

std::vector<QRect> CDesktopScene::OpenWindow(const std::string& name, const QRect& frame,
                                             const QString& title) {
  std::vector<QRect> dirty = CloseWindow(name);
  if (!windows_.empty()) {
    dirty.push_back(windows_.back().frame);
  }
  SceneWindow window;
  window.name = name;
  window.title = title.isEmpty() ? QString::fromStdString(name) : title;
  window.frame = ClampToDesk(frame);
  window.lines = MakeDocument(20 + random_.Below(100));
  windows_.push_back(window);
  dirty.push_back(windows_.back().frame);
  dirty.push_back(TaskbarRect());
  return dirty;
}

std::vector<QRect> CDesktopScene::CloseWindow(const std::string& name) {
  std::vector<QRect> dirty;
  const SceneWindow* window = Find(name);
  if (window == nullptr) {
    return dirty;
  }
  if (menu_ && menu_->window == name) {
    dirty = HideMenu();
  }
  dirty.push_back(window->frame);
  windows_.erase(windows_.begin() + (window - windows_.data()));
  if (!windows_.empty()) {
    dirty.push_back(windows_.back().frame);
  }
  dirty.push_back(TaskbarRect());
  return dirty;
}

std::vector<QRect> CDesktopScene::Focus(const std::string& name) {
  SceneWindow* window = FindMutable(name);
  if (window == nullptr || window == &windows_.back()) {
    return {};
  }
  std::vector<QRect> dirty = HideMenu();
  dirty.push_back(windows_.back().frame);
  const SceneWindow moved = *window;
  windows_.erase(windows_.begin() + (window - windows_.data()));
  windows_.push_back(moved);
  dirty.push_back(moved.frame);
  dirty.push_back(TaskbarRect());
  return dirty;
}

bool CDesktopScene::TypeCharacter(QChar character) {
  SceneWindow& window = windows_.back();
  if (window.lines.empty()) {
    window.lines.emplace_back();
  }
  if (character == QLatin1Char('\n')) {
    window.lines.emplace_back();
  } else if (window.lines.back().size() >= CharactersPerLine(window)) {
    window.lines.emplace_back(character);
  } else {
    window.lines.back() += character;
  }
  return static_cast<int>(window.lines.size()) > window.topLine + VisibleLines(window);
}

std::vector<QRect> CDesktopScene::TypingRects() const {
  const SceneWindow& window = windows_.back();
  const int last = static_cast<int>(window.lines.size()) - 1;
  return {LineRect(window, last - 1).united(LineRect(window, last)), ScrollbarRect(window)};
}

CDesktopScene::ScrollResult CDesktopScene::Scroll(int lines) {
  ScrollResult result;
  SceneWindow& window = windows_.back();
  const int total = static_cast<int>(window.lines.size());
  const int newTop =
      std::clamp(window.topLine + lines, 0, std::max(0, total - VisibleLines(window)));
  const int shift = (newTop - window.topLine) * kLineHeight;
  if (shift == 0) {
    return result;
  }
  window.topLine = newTop;
  const QRect text = TextArea(window);
  result.paint.push_back(ScrollbarRect(window));
  if (std::abs(shift) >= text.height()) {
    result.paint.push_back(text);
    return result;
  }
  result.pixelShift = shift;
  if (shift > 0) {
    result.moved = QRect(text.x(), text.y(), text.width(), text.height() - shift);
    result.paint.push_back(QRect(text.x(), text.y() + text.height() - shift, text.width(), shift));
  } else {
    result.moved = QRect(text.x(), text.y() - shift, text.width(), text.height() + shift);
    result.paint.push_back(QRect(text.x(), text.y(), text.width(), -shift));
  }
  return result;
}

std::pair<QRect, QRect> CDesktopScene::MoveFocused(int dx, int dy) {
  SceneWindow& window = windows_.back();
  const QRect before = window.frame;
  window.frame = ClampToDesk(before.translated(dx, dy));
  return {before, window.frame};
}

std::vector<QRect> CDesktopScene::ShowMenu(int items) {
  std::vector<QRect> dirty = HideMenu();
  if (windows_.empty()) {
    return dirty;
  }
  menu_ = OpenMenu{windows_.back().name, std::max(1, items), -1};
  dirty.push_back(MenuRect());
  const QPoint title = MenuTitlePoint(windows_.back());
  dirty.emplace_back(title.x() - 24, title.y() - kMenuBarHeight / 2, 52, kMenuBarHeight);
  return dirty;
}

std::vector<QRect> CDesktopScene::HighlightMenuItem(int item) {
  if (!menu_) {
    return {};
  }
  menu_->highlighted = item;
  return {MenuRect()};
}

std::vector<QRect> CDesktopScene::HideMenu() {
  if (!menu_) {
    return {};
  }
  std::vector<QRect> dirty = {MenuRect()};
  if (const SceneWindow* window = Find(menu_->window)) {
    const QPoint title = MenuTitlePoint(*window);
    dirty.emplace_back(title.x() - 24, title.y() - kMenuBarHeight / 2, 52, kMenuBarHeight);
  }
  menu_.reset();
  return dirty;
}

std::vector<QRect> CDesktopScene::SetClockMinutes(int minutes) {
  if (minutes == clockMinutes_) {
    return {};
  }
  clockMinutes_ = minutes;
  const QRect bar = TaskbarRect();
  return {QRect(bar.width() - 70, bar.y(), 62, bar.height())};
}

void CDesktopScene::Resize(int width, int height) {
  screen_ = QImage(width, height, QImage::Format_RGB32);
  menu_.reset();
  for (SceneWindow& window : windows_) {
    window.frame = ClampToDesk(window.frame);
    window.topLine = std::min(
        window.topLine, std::max(0, static_cast<int>(window.lines.size()) - VisibleLines(window)));
  }
  PaintAll();
}

}  // namespace reelkit::scene
