#pragma once

#include <QWizardPage>

#include "i18n/message_catalog.h"
#include "wizard/wizard_settings.h"
#include "wizard/wizard_state.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace reelkit {

// Page 1: the recordings to convert, and whether their sources go afterwards.
class CReelkitAddFilesPage final : public QWizardPage {
  Q_OBJECT

 public:
  CReelkitAddFilesPage(CReelkitWizardState& state, const CMessageCatalog& catalog,
                       IWizardSettings& settings);

  void initializePage() override;
  bool isComplete() const override;
  bool validatePage() override;

  // Adds the paths the list does not hold yet; names that differ in letter case are different
  // files.
  void AddFiles(const QStringList& paths);

 private:
  void ChooseFiles();
  void RemoveSelected();
  void UpdateRemoveButton();

  CReelkitWizardState& state_;
  const CMessageCatalog& catalog_;
  IWizardSettings& settings_;
  QLabel* selectLabel_;
  QListWidget* list_;
  QPushButton* addButton_;
  QLabel* addHelp_;
  QPushButton* removeButton_;
  QLabel* removeHelp_;
  QCheckBox* deleteSources_;
};

}  // namespace reelkit
