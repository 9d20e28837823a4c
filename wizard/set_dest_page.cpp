#include "wizard/set_dest_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>

#include "i18n/catalog_keys.h"
#include "wizard/qt_text.h"
#include "wizard/wizard_paths.h"

namespace reelkit {
namespace {

namespace keys = catalog_keys;

QString CodecDisplayName(OutputFormat format) {
  const OutputFormatDescriptor& row = *FindOutputFormat(format);
  return QString::fromLatin1(row.longName.data(), static_cast<qsizetype>(row.longName.size())) +
         QStringLiteral(" (") +
         QString::fromLatin1(row.name.data(), static_cast<qsizetype>(row.name.size())) +
         QStringLiteral(")");
}

bool IsDirectory(const std::string& path) {
  std::error_code error;
  return !path.empty() && std::filesystem::is_directory(path, error);
}

}  // namespace

CReelkitSetDestPage::CReelkitSetDestPage(CReelkitWizardState& state, const CMessageCatalog& catalog,
                                         IWizardSettings& settings)
    : state_(state),
      catalog_(catalog),
      settings_(settings),
      intro_(new QLabel(this)),
      destinationLabel_(new QLabel(this)),
      destination_(new QLineEdit(this)),
      browse_(new QPushButton(this)),
      formatLabel_(new QLabel(this)),
      formats_(new QComboBox(this)),
      askOverwrite_(new QCheckBox(this)) {
  intro_->setWordWrap(true);
  destination_->setReadOnly(true);
  destination_->setObjectName(QStringLiteral("destination"));
  browse_->setObjectName(QStringLiteral("browse"));
  formats_->setObjectName(QStringLiteral("formats"));
  askOverwrite_->setObjectName(QStringLiteral("askOverwrite"));
  // The field cannot be typed into: the folder is chosen with Browse, which takes the focus
  // first; Return still means Next.
  QWidget::setTabOrder(browse_, destination_);
  browse_->setAutoDefault(false);

  auto* layout = new QGridLayout(this);
  layout->addWidget(intro_, 0, 0, 1, 2);
  layout->setRowMinimumHeight(1, 12);
  layout->addWidget(destinationLabel_, 2, 0, 1, 2);
  layout->addWidget(destination_, 3, 0);
  layout->addWidget(browse_, 3, 1);
  layout->setRowMinimumHeight(4, 12);
  layout->addWidget(formatLabel_, 5, 0, 1, 2);
  layout->addWidget(formats_, 6, 0);
  layout->setRowMinimumHeight(7, 12);
  layout->addWidget(askOverwrite_, 8, 0, 1, 2);
  layout->setRowStretch(9, 1);
  layout->setColumnStretch(0, 1);

  connect(browse_, &QPushButton::clicked, this, &CReelkitSetDestPage::Browse);
}

void CReelkitSetDestPage::initializePage() {
  destination_->setText(FromLocalPath(state_.destinationDir));
  intro_->setText(CatalogText(catalog_, keys::kDestinationIntro));
  destinationLabel_->setText(CatalogText(catalog_, keys::kDestinationLabel));
  browse_->setText(CatalogText(catalog_, keys::kBrowse));
  formatLabel_->setText(CatalogText(catalog_, keys::kFormatLabel));
  askOverwrite_->setText(CatalogText(catalog_, keys::kAskOverwrite));
  // The format chosen in this run survives Back and Next; the check box starts again from the
  // setting each time.
  if (formats_->count() == 0) {
    for (const OutputFormatRow& row : kOutputFormatRows) {
      formats_->addItem(row.catalogKey.empty() ? CodecDisplayName(row.format)
                                               : CatalogText(catalog_, row.catalogKey));
    }
    formats_->setCurrentIndex(ReadOutputFormatRow(settings_));
  }
  askOverwrite_->setChecked(ReadAskOverwrite(settings_));
}

bool CReelkitSetDestPage::validatePage() {
  if (destination_->text().isEmpty()) {
    ShowMessage(this, CatalogText(catalog_, keys::kNoDestination), QMessageBox::Warning);
    browse_->setFocus();
    return false;
  }
  const std::string destination = WithoutTrailingSeparators(ToLocalPath(destination_->text()));
  if (!IsDirectory(destination)) {
    ShowMessage(this, CatalogText(catalog_, keys::kInvalidDestination), QMessageBox::Warning);
    destination_->setFocus();
    destination_->selectAll();
    return false;
  }
  state_.destinationDir = destination;
  const int row = formats_->currentIndex();
  if (row >= 0) {
    state_.outputFormat = kOutputFormatRows[static_cast<std::size_t>(row)].format;
    SaveOutputFormat(settings_, state_.outputFormat);
  }
  state_.askOverwrite = askOverwrite_->isChecked();
  SaveAskOverwrite(settings_, state_.askOverwrite);
  return true;
}

void CReelkitSetDestPage::Browse() {
  const QString folder = QFileDialog::getExistingDirectory(this, destinationLabel_->text());
  if (!folder.isEmpty()) {
    destination_->setText(folder);
    state_.destinationDir = ToLocalPath(folder);
  }
}

}  // namespace reelkit
