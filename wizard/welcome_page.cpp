#include "wizard/welcome_page.h"

#include <QVBoxLayout>

#include "i18n/page_template.h"
#include "wizard/html_view.h"
#include "wizard/qt_text.h"

namespace reelkit {

CReelkitWelcomePage::CReelkitWelcomePage(const CMessageCatalog& catalog) {
  auto* view = new CHtmlView(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view);
  const std::u16string page = catalog.ExpandKeys(LoadHtmlResource("splash.html"));
  view->setHtml(ToQString(ExpandPageTemplate(page, CurrentPageEnvironment())));
}

}  // namespace reelkit
