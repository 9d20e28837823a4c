#pragma once

#include <QWizardPage>

#include "i18n/message_catalog.h"
#include "wizard/wizard_settings.h"
#include "wizard/wizard_state.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace reelkit {

// Page 2: the destination directory (chosen with Browse), the output format and whether to ask
// before overwriting.
class CReelkitSetDestPage final : public QWizardPage {
  Q_OBJECT

 public:
  CReelkitSetDestPage(CReelkitWizardState& state, const CMessageCatalog& catalog,
                      IWizardSettings& settings);

  void initializePage() override;
  bool validatePage() override;

 private:
  void Browse();

  CReelkitWizardState& state_;
  const CMessageCatalog& catalog_;
  IWizardSettings& settings_;
  QLabel* intro_;
  QLabel* destinationLabel_;
  QLineEdit* destination_;
  QPushButton* browse_;
  QLabel* formatLabel_;
  QComboBox* formats_;
  QCheckBox* askOverwrite_;
};

}  // namespace reelkit
