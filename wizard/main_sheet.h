#pragma once

#include <QWizard>
#include <string>
#include <vector>

#include "i18n/message_catalog.h"
#include "wizard/conversion_runner.h"
#include "wizard/wizard_settings.h"
#include "wizard/wizard_state.h"

namespace reelkit {

class CReelkitAddFilesPage;
class CReelkitDoJobPage;

// The wizard window: six pages in order over one shared state. Cancel closes it at once except
// while files are being converted, when it asks the conversion to stop instead.
class CReelkitMainSheet final : public QWizard {
  Q_OBJECT

 public:
  enum PageIndex {
    kWelcomePage,
    kAddFilesPage,
    kSetDestPage,
    kReviewPage,
    kDoJobPage,
    kFinishPage
  };

  CReelkitMainSheet(const CMessageCatalog& catalog, IWizardSettings& settings,
                    ConvertFunction convert, QWidget* parent = nullptr);
  // Waits for a conversion still running (which is stopped first) before the pages go.
  ~CReelkitMainSheet() override;

  const CReelkitWizardState& State() const { return state_; }

  // Files the wizard was opened with, while the welcome page shows: it moves on to the file page
  // with the recordings among them listed (by absolute path). The others, told apart by content as
  // the converter tells its inputs, are named in a message box and left out.
  void OpenWithFiles(const std::vector<std::string>& paths);

  void reject() override;

 private:
  const CMessageCatalog& catalog_;
  CReelkitWizardState state_;
  CReelkitAddFilesPage* addFilesPage_;
  CReelkitDoJobPage* doJobPage_;
};

}  // namespace reelkit
