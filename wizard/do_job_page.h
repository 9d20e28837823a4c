#pragma once

#include <QWizardPage>
#include <memory>
#include <thread>

#include "i18n/message_catalog.h"
#include "wizard/conversion_runner.h"
#include "wizard/wizard_state.h"

class QLabel;
class QProgressBar;

namespace reelkit {

class CConversionBridge;
class CElidedLabel;

// Page 4: converts every chosen file on one worker thread, with two progress bars, the current
// file and the overwrite and cancel questions; moves on to the finish page when done.
//
// Threads: everything here runs on the user-interface thread; the worker reaches the page only
// through the bridge (queued signals and questions) and is joined before the page goes.
class CReelkitDoJobPage final : public QWizardPage {
  Q_OBJECT

 public:
  CReelkitDoJobPage(CReelkitWizardState& state, const CMessageCatalog& catalog,
                    ConvertFunction convert);
  ~CReelkitDoJobPage() override;

  void initializePage() override;
  bool isComplete() const override { return false; }

  bool IsRunning() const { return worker_.joinable(); }
  // The Cancel button: the worker asks whether to stop at its next progress report.
  void RequestCancel();
  // Stops a conversion still running without asking anyone, and waits for the worker.
  void StopWorker();

 private:
  void StartWorker();
  void WorkerFinished();

  const CMessageCatalog& catalog_;
  QLabel* status_;
  QProgressBar* overallBar_;
  QLabel* currentFileLabel_;
  CElidedLabel* currentFile_;
  QProgressBar* fileBar_;
  std::unique_ptr<CConversionBridge> bridge_;
  CConversionRunner runner_;
  std::thread worker_;
};

}  // namespace reelkit
