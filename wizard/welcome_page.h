#pragma once

#include <QWizardPage>

#include "i18n/message_catalog.h"

namespace reelkit {

// Page 0: the welcome page, the program's own HTML page in the user's language.
class CReelkitWelcomePage final : public QWizardPage {
  Q_OBJECT

 public:
  explicit CReelkitWelcomePage(const CMessageCatalog& catalog);
};

}  // namespace reelkit
