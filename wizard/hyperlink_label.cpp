#include "wizard/hyperlink_label.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

namespace reelkit {

CHyperlinkLabel::CHyperlinkLabel(QWidget* parent) : QLabel(parent) {
  QFont linkFont = font();
  linkFont.setUnderline(true);
  setFont(linkFont);
  QPalette linkPalette = palette();
  linkPalette.setColor(QPalette::WindowText, Qt::blue);
  setPalette(linkPalette);
  setCursor(Qt::PointingHandCursor);
  // Only the text is the link: the label is no wider than its text.
  setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
}

void CHyperlinkLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || target_.isEmpty()) {
    QLabel::mousePressEvent(event);
    return;
  }
  QDesktopServices::openUrl(QUrl::fromLocalFile(target_));
}

}  // namespace reelkit
