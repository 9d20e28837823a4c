#pragma once

#include <QMessageBox>
#include <QString>
#include <string>
#include <string_view>

#include "i18n/message_catalog.h"

namespace reelkit {

inline QString ToQString(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

inline QString CatalogText(const CMessageCatalog& catalog, std::u16string_view key) {
  return ToQString(catalog.Lookup(key));
}

// File names travel as the file system's bytes; Qt shows them in the locale's encoding.
QString FromLocalPath(const std::string& path);
std::string ToLocalPath(const QString& path);

// A message box captioned with the product's name, owned by the parent.
void ShowMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon);
bool AskYesNo(QWidget* parent, const QString& text);

}  // namespace reelkit
