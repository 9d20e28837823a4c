#pragma once

// An offscreen desktop: wallpaper, icons, a taskbar with a clock, overlapping windows that hold
// text documents, and one drop-down menu. Every change names the rectangles it dirtied and only
// those are painted again, so a recorder can code each change over its own rectangle.

#include <QImage>
#include <QRect>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace reelkit::scene {

enum class PointerShape { Arrow, IBeam, Hand };

struct SceneWindow {
  std::string name;
  QString title;
  QRect frame;
  std::vector<QString> lines;
  int topLine = 0;
};

struct OpenMenu {
  std::string window;
  int items = 0;
  int highlighted = -1;
};

// A small deterministic generator (the standard distributions differ between libraries).
class CSceneRandom {
 public:
  explicit CSceneRandom(std::uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {}
  std::uint32_t Next();
  int Below(int bound) { return static_cast<int>(Next() % static_cast<std::uint32_t>(bound)); }

 private:
  std::uint32_t state_;
};

class CDesktopScene {
 public:
  static constexpr int kTitleHeight = 26;
  static constexpr int kMenuBarHeight = 22;
  static constexpr int kLineHeight = 18;
  static constexpr int kScrollbarWidth = 14;
  static constexpr int kTaskbarHeight = 34;
  static constexpr int kMenuItemHeight = 24;

  CDesktopScene(int width, int height, std::uint32_t seed);

  const QImage& Screen() const { return screen_; }
  QImage& MutableScreen() { return screen_; }
  int Width() const { return screen_.width(); }
  int Height() const { return screen_.height(); }

  // Paints the rectangle from the scene as it stands now.
  void Paint(const QRect& rect);
  void PaintAll() { Paint(screen_.rect()); }

  // Changes; each returns the rectangles to paint and send.
  std::vector<QRect> OpenWindow(const std::string& name, const QRect& frame, const QString& title);
  std::vector<QRect> CloseWindow(const std::string& name);
  std::vector<QRect> Focus(const std::string& name);
  // Types into the focused window; true when its last line has left the view (scroll one line).
  bool TypeCharacter(QChar character);
  // The last two lines (the caret left one of them) and the scrollbar of the focused window.
  std::vector<QRect> TypingRects() const;
  // Moves the document of the focused window by lines; returns the rows that moved up (or down)
  // by pixelShift and the rectangles to paint afterwards.
  struct ScrollResult {
    QRect moved;         // area of the text whose pixels move; empty when all is painted
    int pixelShift = 0;  // positive: content moves up
    std::vector<QRect> paint;
  };
  ScrollResult Scroll(int lines);
  // Moves the focused window by (dx, dy), kept on the screen; frame before and after.
  std::pair<QRect, QRect> MoveFocused(int dx, int dy);
  std::vector<QRect> ShowMenu(int items);
  std::vector<QRect> HighlightMenuItem(int item);
  std::vector<QRect> HideMenu();
  std::vector<QRect> SetClockMinutes(int minutes);
  // Fits every window into a new screen size.
  void Resize(int width, int height);

  const SceneWindow* Find(const std::string& name) const;
  const SceneWindow* FocusedWindow() const;
  PointerShape ShapeAt(int x, int y) const;
  QRect TextArea(const SceneWindow& window) const;
  QRect MenuRect() const;
  QRect TaskbarRect() const;
  QPoint MenuTitlePoint(const SceneWindow& window) const;

 private:
  SceneWindow* FindMutable(const std::string& name);
  void PaintWallpaper(class QPainter& painter, const QRect& rect) const;
  void PaintTaskbar(QPainter& painter) const;
  void PaintWindow(QPainter& painter, const SceneWindow& window, bool active,
                   const QRect& rect) const;
  void PaintMenu(QPainter& painter) const;
  QRect ScrollbarRect(const SceneWindow& window) const;
  QRect LineRect(const SceneWindow& window, int line) const;
  int VisibleLines(const SceneWindow& window) const;
  int CharactersPerLine(const SceneWindow& window) const;
  QRect ClampToDesk(QRect frame) const;
  std::vector<QString> MakeDocument(int lines);

  QImage screen_;
  CSceneRandom random_;
  std::vector<SceneWindow> windows_;  // bottom to top
  std::optional<OpenMenu> menu_;
  int clockMinutes_ = 9 * 60 + 41;
  std::vector<QRect> icons_;
  int charWidth_ = 8;
};

}  // namespace reelkit::scene
