#pragma once

#include <QWizardPage>

#include "i18n/message_catalog.h"
#include "wizard/wizard_state.h"

class QLabel;
class QListWidget;

namespace reelkit {

// Page 3: what is about to happen, and the file sizes that measure the conversion's progress.
class CReelkitReviewPage final : public QWizardPage {
  Q_OBJECT

 public:
  CReelkitReviewPage(CReelkitWizardState& state, const CMessageCatalog& catalog);

  void initializePage() override;

 private:
  void MeasureFiles();
  void ShowOutputConflicts();

  CReelkitWizardState& state_;
  const CMessageCatalog& catalog_;
  QLabel* intro_;
  QLabel* summary_;
  QListWidget* list_;
  QLabel* conflicts_;
  QLabel* deleting_;
  QLabel* savedIn_;
  QLabel* destination_;
};

}  // namespace reelkit
