#include "wizard/main_sheet.h"

#include <QIcon>
#include <filesystem>

#include "engine/convert.h"
#include "i18n/catalog_keys.h"
#include "i18n/product_info.h"
#include "wizard/add_files_page.h"
#include "wizard/do_job_page.h"
#include "wizard/finish_page.h"
#include "wizard/qt_text.h"
#include "wizard/review_page.h"
#include "wizard/set_dest_page.h"
#include "wizard/welcome_page.h"

namespace reelkit {
namespace {

// A file manager passes absolute paths, a shell relative ones; the destination's default is the
// folder of the files, which a bare name would not have.
std::string AbsolutePath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

bool IsRecording(const std::string& path) {
  InputKind kind{};
  return DetectInputKind(path, kind);
}

}  // namespace

CReelkitMainSheet::CReelkitMainSheet(const CMessageCatalog& catalog, IWizardSettings& settings,
                                     ConvertFunction convert, QWidget* parent)
    : QWizard(parent),
      catalog_(catalog),
      addFilesPage_(new CReelkitAddFilesPage(state_, catalog, settings)),
      doJobPage_(new CReelkitDoJobPage(state_, catalog, std::move(convert))) {
  setWindowTitle(ToQString(kProductDisplayName));
  setWindowIcon(QIcon(QStringLiteral(":/reelkit/reelkit.png")));
  setOption(QWizard::NoCancelButtonOnLastPage);
  setOption(QWizard::HaveHelpButton, false);
  setPage(kWelcomePage, new CReelkitWelcomePage(catalog));
  setPage(kAddFilesPage, addFilesPage_);
  setPage(kSetDestPage, new CReelkitSetDestPage(state_, catalog, settings));
  auto* review = new CReelkitReviewPage(state_, catalog);
  // Once the conversion starts there is no way back, neither from its page nor from the finish
  // page; the buttons still read Next.
  review->setCommitPage(true);
  doJobPage_->setCommitPage(true);
  setButtonText(QWizard::CommitButton, buttonText(QWizard::NextButton));
  setPage(kReviewPage, review);
  setPage(kDoJobPage, doJobPage_);
  setPage(kFinishPage, new CReelkitFinishPage(state_, catalog));
  setStartId(kWelcomePage);
  // Room for the welcome page's picture and for a file list of some length.
  setMinimumSize(600, 450);
}

CReelkitMainSheet::~CReelkitMainSheet() {
  // The pages outlive this body (their parent deletes them) but the state does not.
  doJobPage_->StopWorker();
}

void CReelkitMainSheet::OpenWithFiles(const std::vector<std::string>& paths) {
  QStringList recordings;
  QStringList others;
  for (const std::string& path : paths) {
    const std::string absolute = AbsolutePath(path);
    (IsRecording(absolute) ? recordings : others) << FromLocalPath(absolute);
  }
  next();
  addFilesPage_->AddFiles(recordings);
  if (!others.isEmpty()) {
    const std::u16string names = others.join(QLatin1Char('\n')).toStdU16String();
    ShowMessage(this, ToQString(catalog_.LookupWithArgument(catalog_keys::kNotRecordings, names)),
                QMessageBox::Warning);
  }
}

void CReelkitMainSheet::reject() {
  if (currentId() == kDoJobPage && doJobPage_->IsRunning()) {
    doJobPage_->RequestCancel();
    return;
  }
  QWizard::reject();
}

}  // namespace reelkit
