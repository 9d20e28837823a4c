#include "wizard/do_job_page.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QResizeEvent>
#include <QWizard>
#include <future>
#include <mutex>

#include "i18n/catalog_keys.h"
#include "wizard/qt_text.h"

namespace reelkit {

// A label that shortens its text in the middle to fit, so both ends of a long path stay visible.
class CElidedLabel final : public QLabel {
 public:
  using QLabel::QLabel;

  void SetFullText(const QString& text) {
    fullText_ = text;
    setToolTip(text);
    Elide();
  }
  QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    Elide();
  }

 private:
  void Elide() { setText(fontMetrics().elidedText(fullText_, Qt::ElideMiddle, width())); }

  QString fullText_;
};

// The worker's view of the page. Progress and the current file travel as queued signals; a
// question is a queued call that the worker waits for. Once abandoned (the page is going away),
// questions still queued are dropped and every question gets its safe answer at once, so that
// the user-interface thread can join the worker without waiting on itself.
class CConversionBridge final : public QObject, public IConversionView {
  Q_OBJECT

 public:
  explicit CConversionBridge(QWidget* questionOwner) : questionOwner_(questionOwner) {}

  void ShowCurrentFile(const std::string& path) override {
    emit currentFileChanged(FromLocalPath(path));
  }
  void ShowFileProgress(int position) override { emit fileProgressChanged(position); }
  void ShowOverallProgress(int position) override { emit overallProgressChanged(position); }
  bool ConfirmOverwrite(const std::u16string& question) override { return Ask(question, false); }
  bool ConfirmCancel(const std::u16string& question) override { return Ask(question, true); }

  void Abandon() {
    {
      const std::lock_guard lock(mutex_);
      abandoned_ = true;
    }
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
  }

 signals:
  void currentFileChanged(const QString& path);
  void fileProgressChanged(int position);
  void overallProgressChanged(int position);
  void finished();

 private:
  bool Ask(const std::u16string& question, bool answerWhenAbandoned) {
    // The promise lives in the queued call: dropping the call breaks it, which wakes the worker.
    auto answer = std::make_shared<std::promise<bool>>();
    std::future<bool> reply = answer->get_future();
    {
      const std::lock_guard lock(mutex_);
      if (abandoned_) {
        return answerWhenAbandoned;
      }
      QMetaObject::invokeMethod(
          this,
          [this, answer, text = ToQString(question)] {
            answer->set_value(AskYesNo(questionOwner_, text));
          },
          Qt::QueuedConnection);
    }
    try {
      return reply.get();
    } catch (const std::future_error&) {
      return answerWhenAbandoned;
    }
  }

  QWidget* questionOwner_;
  std::mutex mutex_;
  bool abandoned_ = false;
};

CReelkitDoJobPage::CReelkitDoJobPage(CReelkitWizardState& state, const CMessageCatalog& catalog,
                                     ConvertFunction convert)
    : catalog_(catalog),
      status_(new QLabel(this)),
      overallBar_(new QProgressBar(this)),
      currentFileLabel_(new QLabel(this)),
      currentFile_(new CElidedLabel(this)),
      fileBar_(new QProgressBar(this)),
      bridge_(std::make_unique<CConversionBridge>(this)),
      runner_(state, catalog, std::move(convert), *bridge_) {
  overallBar_->setObjectName(QStringLiteral("overallBar"));
  fileBar_->setObjectName(QStringLiteral("fileBar"));
  currentFile_->setObjectName(QStringLiteral("currentFile"));
  for (QProgressBar* bar : {overallBar_, fileBar_}) {
    bar->setRange(0, kProgressMaximum);
    bar->setValue(0);
    bar->setTextVisible(false);
  }

  auto* layout = new QGridLayout(this);
  layout->setRowStretch(0, 1);
  layout->addWidget(status_, 1, 0, 1, 2);
  layout->addWidget(overallBar_, 2, 0, 1, 2);
  layout->setRowMinimumHeight(3, 12);
  layout->addWidget(currentFileLabel_, 4, 0);
  layout->addWidget(currentFile_, 4, 1);
  layout->addWidget(fileBar_, 5, 0, 1, 2);
  layout->setRowStretch(6, 2);
  layout->setColumnStretch(1, 1);

  connect(bridge_.get(), &CConversionBridge::currentFileChanged, currentFile_,
          &CElidedLabel::SetFullText, Qt::QueuedConnection);
  connect(bridge_.get(), &CConversionBridge::fileProgressChanged, fileBar_, &QProgressBar::setValue,
          Qt::QueuedConnection);
  connect(bridge_.get(), &CConversionBridge::overallProgressChanged, overallBar_,
          &QProgressBar::setValue, Qt::QueuedConnection);
  connect(bridge_.get(), &CConversionBridge::finished, this, &CReelkitDoJobPage::WorkerFinished,
          Qt::QueuedConnection);
}

CReelkitDoJobPage::~CReelkitDoJobPage() {
  StopWorker();
}

void CReelkitDoJobPage::initializePage() {
  status_->setText(CatalogText(catalog_, catalog_keys::kConvertingFiles));
  currentFileLabel_->setText(CatalogText(catalog_, catalog_keys::kCurrentFile));
  StartWorker();
}

void CReelkitDoJobPage::StartWorker() {
  if (worker_.joinable()) {
    return;
  }
  worker_ = std::thread([this] {
    runner_.Run();
    emit bridge_->finished();
  });
}

void CReelkitDoJobPage::RequestCancel() {
  runner_.RequestCancel();
}

void CReelkitDoJobPage::StopWorker() {
  if (!worker_.joinable()) {
    return;
  }
  runner_.RequestCancel();
  bridge_->Abandon();
  worker_.join();
}

void CReelkitDoJobPage::WorkerFinished() {
  // The worker's last act was to send this: joining it now waits for nothing but its return.
  if (worker_.joinable()) {
    worker_.join();
  }
  wizard()->next();
}

}  // namespace reelkit

#include "do_job_page.moc"
