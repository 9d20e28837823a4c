#pragma once

#include <QWizardPage>

#include "i18n/message_catalog.h"
#include "wizard/wizard_state.h"

class QLabel;
class QListWidget;
class QPushButton;
class QVBoxLayout;

namespace reelkit {

class CHyperlinkLabel;

// Page 5: the outcome, the destination as a link, and the log behind "Details >>" (open at once
// when something went wrong).
class CReelkitFinishPage final : public QWizardPage {
  Q_OBJECT

 public:
  CReelkitFinishPage(const CReelkitWizardState& state, const CMessageCatalog& catalog);

  void initializePage() override;

 private:
  void ShowDetails();

  const CReelkitWizardState& state_;
  const CMessageCatalog& catalog_;
  QLabel* result_;
  QPushButton* details_;
  QListWidget* log_;
  QLabel* folderLabel_;
  CHyperlinkLabel* folder_;
  QVBoxLayout* layout_;
};

}  // namespace reelkit
