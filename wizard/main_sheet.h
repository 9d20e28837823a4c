#pragma once

#include <QWizard>

#include "i18n/message_catalog.h"
#include "wizard/conversion_runner.h"
#include "wizard/wizard_settings.h"
#include "wizard/wizard_state.h"

namespace reelkit {

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

  void reject() override;

 private:
  CReelkitWizardState state_;
  CReelkitDoJobPage* doJobPage_;
};

}  // namespace reelkit
