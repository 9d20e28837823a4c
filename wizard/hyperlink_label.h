#pragma once

#include <QLabel>

namespace reelkit {

// A text that behaves like a link: blue and underlined, the hand cursor over it, and a click
// opens its target (a folder opens in the desktop's file manager).
class CHyperlinkLabel final : public QLabel {
  Q_OBJECT

 public:
  explicit CHyperlinkLabel(QWidget* parent = nullptr);

  void SetLinkText(const QString& text) { setText(text); }
  void SetLinkTarget(const QString& target) { target_ = target; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QString target_;
};

}  // namespace reelkit
