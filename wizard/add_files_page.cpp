#include "wizard/add_files_page.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>
#include <memory>

#include "i18n/catalog_keys.h"
#include "wizard/qt_text.h"
#include "wizard/wizard_paths.h"

namespace reelkit {
namespace {

namespace keys = catalog_keys;

// In the order of InputFilter.
QStringList InputFilters() {
  return {QStringLiteral("Screen Recording RCREC Files (*.rcrec)"),
          QStringLiteral("Screen Recording AVI Files (*.avi)")};
}

QLabel* HelpLabel(QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

}  // namespace

CReelkitAddFilesPage::CReelkitAddFilesPage(CReelkitWizardState& state,
                                           const CMessageCatalog& catalog,
                                           IWizardSettings& settings)
    : state_(state),
      catalog_(catalog),
      settings_(settings),
      selectLabel_(new QLabel(this)),
      list_(new QListWidget(this)),
      addButton_(new QPushButton(this)),
      addHelp_(HelpLabel(this)),
      removeButton_(new QPushButton(this)),
      removeHelp_(HelpLabel(this)),
      deleteSources_(new QCheckBox(this)) {
  list_->setObjectName(QStringLiteral("files"));
  list_->setSortingEnabled(true);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  addButton_->setObjectName(QStringLiteral("add"));
  removeButton_->setObjectName(QStringLiteral("remove"));
  deleteSources_->setObjectName(QStringLiteral("deleteSources"));
  // Adding files is what this page is for: Add takes the focus first, and Return still means
  // Next.
  QWidget::setTabOrder(addButton_, list_);
  addButton_->setAutoDefault(false);
  removeButton_->setAutoDefault(false);

  auto* layout = new QGridLayout(this);
  layout->addWidget(selectLabel_, 0, 0, 1, 2);
  layout->addWidget(list_, 1, 0, 1, 2);
  layout->addWidget(addButton_, 2, 0, Qt::AlignTop);
  layout->addWidget(addHelp_, 2, 1);
  layout->addWidget(removeButton_, 3, 0, Qt::AlignTop);
  layout->addWidget(removeHelp_, 3, 1);
  layout->addWidget(deleteSources_, 4, 0, 1, 2);
  layout->setRowStretch(1, 1);
  layout->setColumnStretch(1, 1);

  connect(addButton_, &QPushButton::clicked, this, &CReelkitAddFilesPage::ChooseFiles);
  connect(removeButton_, &QPushButton::clicked, this, &CReelkitAddFilesPage::RemoveSelected);
  connect(list_, &QListWidget::itemSelectionChanged, this,
          &CReelkitAddFilesPage::UpdateRemoveButton);
}

void CReelkitAddFilesPage::initializePage() {
  selectLabel_->setText(CatalogText(catalog_, keys::kSelectFiles));
  addButton_->setText(CatalogText(catalog_, keys::kAdd));
  addHelp_->setText(CatalogText(catalog_, keys::kAddHelp));
  removeButton_->setText(CatalogText(catalog_, keys::kRemove));
  removeHelp_->setText(CatalogText(catalog_, keys::kRemoveHelp));
  deleteSources_->setText(CatalogText(catalog_, keys::kDeleteSources));
  UpdateRemoveButton();
}

bool CReelkitAddFilesPage::isComplete() const {
  return list_->count() > 0;
}

bool CReelkitAddFilesPage::validatePage() {
  if (list_->count() == 0) {
    ShowMessage(this, CatalogText(catalog_, keys::kAddFile), QMessageBox::NoIcon);
    return false;
  }
  state_.files.clear();
  std::vector<std::string> paths;
  for (int row = 0; row < list_->count(); ++row) {
    paths.push_back(ToLocalPath(list_->item(row)->text()));
    state_.files.emplace(paths.back(), 0);
  }
  if (state_.destinationDir.empty()) {
    state_.destinationDir = CommonFolder(paths);
  }
  state_.deleteSources = deleteSources_->isChecked();
  return true;
}

void CReelkitAddFilesPage::AddFiles(const QStringList& paths) {
  for (const QString& path : paths) {
    if (list_->findItems(path, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty()) {
      list_->addItem(path);
    }
  }
  emit completeChanged();
}

void CReelkitAddFilesPage::ChooseFiles() {
  QFileDialog dialog(this);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setNameFilters(InputFilters());
  dialog.selectNameFilter(InputFilters().at(static_cast<int>(ReadInputFilter(settings_))));
  if (dialog.exec() != QDialog::Accepted) {
    return;
  }
  const bool rawRecordings = dialog.selectedNameFilter() == InputFilters().front();
  SaveInputFilter(settings_, rawRecordings ? InputFilter::RawRecordings : InputFilter::AviFiles);
  AddFiles(dialog.selectedFiles());
}

void CReelkitAddFilesPage::RemoveSelected() {
  // Rows from the highest down, so that the lower ones stay where they are.
  QList<int> rows;
  for (const QListWidgetItem* item : list_->selectedItems()) {
    rows.push_back(list_->row(item));
  }
  std::sort(rows.rbegin(), rows.rend());
  for (const int row : rows) {
    std::unique_ptr<QListWidgetItem>(list_->takeItem(row));
  }
  emit completeChanged();
}

void CReelkitAddFilesPage::UpdateRemoveButton() {
  removeButton_->setEnabled(!list_->selectedItems().isEmpty());
}

}  // namespace reelkit
