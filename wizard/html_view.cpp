#include "wizard/html_view.h"

#include <QDesktopServices>
#include <QImage>

#include "i18n/embedded_resources.h"

namespace reelkit {

CHtmlView::CHtmlView(QWidget* parent) : QTextBrowser(parent) {
  setOpenLinks(false);
  setContextMenuPolicy(Qt::NoContextMenu);
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  connect(this, &QTextBrowser::anchorClicked, this, &CHtmlView::FollowLink);
}

QVariant CHtmlView::loadResource(int type, const QUrl& name) {
  if (type != QTextDocument::ImageResource) {
    return QTextBrowser::loadResource(type, name);
  }
  // The page names its images "res://<program>/<name>": only the name matters.
  const auto bytes = FindEmbeddedResource(name.fileName().toStdString());
  QImage image;
  if (!bytes.empty() && image.loadFromData(bytes.data(), static_cast<qsizetype>(bytes.size()))) {
    return image;
  }
  return {};
}

void CHtmlView::FollowLink(const QUrl& url) {
  if (url.toString().startsWith(QStringLiteral("app:"), Qt::CaseInsensitive)) {
    return;
  }
  QDesktopServices::openUrl(url);
}

}  // namespace reelkit
