#include "wizard/finish_page.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "i18n/catalog_keys.h"
#include "wizard/hyperlink_label.h"
#include "wizard/qt_text.h"

namespace reelkit {
namespace {

namespace keys = catalog_keys;

constexpr int kLogStretch = 1;
constexpr int kLogRow = 2;
constexpr int kSpaceRow = 4;

}  // namespace

CReelkitFinishPage::CReelkitFinishPage(const CReelkitWizardState& state,
                                       const CMessageCatalog& catalog)
    : state_(state),
      catalog_(catalog),
      result_(new QLabel(this)),
      details_(new QPushButton(this)),
      log_(new QListWidget(this)),
      folderLabel_(new QLabel(this)),
      folder_(new CHyperlinkLabel(this)),
      layout_(new QVBoxLayout(this)) {
  result_->setObjectName(QStringLiteral("result"));
  result_->setWordWrap(true);
  details_->setObjectName(QStringLiteral("details"));
  details_->setAutoDefault(false);
  log_->setObjectName(QStringLiteral("log"));
  log_->setSelectionMode(QAbstractItemView::NoSelection);
  log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  folder_->setObjectName(QStringLiteral("folder"));

  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(folderLabel_);
  folderRow->addWidget(folder_);
  folderRow->addStretch();
  layout_->addWidget(result_);
  layout_->addWidget(details_, 0, Qt::AlignLeft);
  layout_->addWidget(log_);
  layout_->addLayout(folderRow);
  layout_->addStretch(kLogStretch);

  connect(details_, &QPushButton::clicked, this, &CReelkitFinishPage::ShowDetails);
}

void CReelkitFinishPage::initializePage() {
  details_->setText(CatalogText(catalog_, keys::kShowDetails));
  folderLabel_->setText(CatalogText(catalog_, keys::kDestinationFolder));
  folder_->SetLinkTarget(FromLocalPath(state_.destinationDir));
  folder_->SetLinkText(FromLocalPath(state_.destinationDir));
  log_->hide();
  log_->clear();
  for (const std::u16string& line : state_.log) {
    log_->addItem(ToQString(line));
  }
  if (state_.hadErrors) {
    result_->setText(CatalogText(catalog_, keys::kConversionErrors));
    ShowDetails();
  } else {
    result_->setText(CatalogText(catalog_, keys::kConversionSuccess));
  }
}

// The log takes the room the folder row leaves, and the folder row moves below it.
void CReelkitFinishPage::ShowDetails() {
  details_->hide();
  log_->show();
  layout_->setStretch(kLogRow, kLogStretch);
  layout_->setStretch(kSpaceRow, 0);
}

}  // namespace reelkit
