#pragma once

#include <QTextBrowser>

namespace reelkit {

// Shows a page the program carries: its images come from the embedded resources, a link
// beginning "app:" is the program's own and is not followed, any other link opens in the
// desktop's browser. No context menu.
class CHtmlView final : public QTextBrowser {
  Q_OBJECT

 public:
  explicit CHtmlView(QWidget* parent = nullptr);

  QVariant loadResource(int type, const QUrl& name) override;

 private:
  void FollowLink(const QUrl& url);
};

}  // namespace reelkit
