#include "wizard/review_page.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>
#include <filesystem>

#include "i18n/catalog_format.h"
#include "i18n/catalog_keys.h"
#include "i18n/program_utf8.h"
#include "wizard/output_plan.h"
#include "wizard/qt_text.h"
#include "wizard/wizard_paths.h"

namespace reelkit {
namespace {

namespace keys = catalog_keys;

}  // namespace

CReelkitReviewPage::CReelkitReviewPage(CReelkitWizardState& state, const CMessageCatalog& catalog)
    : state_(state),
      catalog_(catalog),
      intro_(new QLabel(this)),
      summary_(new QLabel(this)),
      list_(new QListWidget(this)),
      conflicts_(new QLabel(this)),
      deleting_(new QLabel(this)),
      savedIn_(new QLabel(this)),
      destination_(new QLabel(this)) {
  intro_->setWordWrap(true);
  summary_->setObjectName(QStringLiteral("summary"));
  list_->setSortingEnabled(true);
  list_->setSelectionMode(QAbstractItemView::NoSelection);
  list_->setFocusPolicy(Qt::NoFocus);
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  conflicts_->setObjectName(QStringLiteral("conflicts"));
  conflicts_->setWordWrap(true);
  conflicts_->setTextFormat(Qt::PlainText);
  deleting_->setObjectName(QStringLiteral("deleting"));
  destination_->setObjectName(QStringLiteral("destination"));
  destination_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(intro_);
  layout->addWidget(summary_);
  layout->addWidget(list_, 1);
  layout->addWidget(conflicts_);
  layout->addWidget(deleting_);
  layout->addWidget(savedIn_);
  layout->addWidget(destination_);
}

void CReelkitReviewPage::initializePage() {
  list_->clear();
  for (const auto& entry : state_.files) {
    list_->addItem(FromLocalPath(entry.first));
  }
  intro_->setText(CatalogText(catalog_, keys::kReviewIntro));
  savedIn_->setText(CatalogText(catalog_, keys::kReviewSavedIn));
  MeasureFiles();
  summary_->setText(
      ToQString(FormatCatalogText(catalog_.Lookup(keys::kReviewSummary),
                                  {state_.files.size(), FormatSizeText(state_.totalBytes)})));
  deleting_->setText(CatalogText(
      catalog_, state_.deleteSources ? keys::kReviewDeleting : keys::kReviewNotDeleting));
  destination_->setText(FromLocalPath(state_.destinationDir));
  ShowOutputConflicts();
}

// Said before anything starts, so that the user can go back and choose again.
void CReelkitReviewPage::ShowOutputConflicts() {
  QStringList lines;
  for (const PlannedOutput& planned : PlanOutputs(state_)) {
    const std::u16string source = DecodeProgramUtf8(planned.source);
    if (!planned.IsConverted()) {
      lines << ToQString(FormatCatalogText(catalog_.Lookup(keys::kReviewReplacesSource),
                                           {source, DecodeProgramUtf8(planned.replacedSource)}));
    } else if (!planned.sharedWith.empty()) {
      const auto nameOf = [](const std::string& path) {
        return DecodeProgramUtf8(path.substr(path.rfind('/') + 1));
      };
      lines << ToQString(
          FormatCatalogText(catalog_.Lookup(keys::kReviewSharedName),
                            {source, nameOf(planned.sharedOutput),
                             DecodeProgramUtf8(planned.sharedWith), nameOf(planned.output)}));
    }
  }
  conflicts_->setText(lines.join(QLatin1Char('\n')));
  conflicts_->setVisible(!lines.isEmpty());
}

// A file that has gone since it was chosen still counts, but adds no bytes.
void CReelkitReviewPage::MeasureFiles() {
  state_.totalBytes = 0;
  for (auto& [path, size] : state_.files) {
    std::error_code error;
    const std::uintmax_t measured = std::filesystem::file_size(path, error);
    if (!error) {
      size = measured;
      state_.totalBytes += measured;
    }
  }
}

}  // namespace reelkit
