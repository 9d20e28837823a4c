#include "wizard/qt_text.h"

#include <QFile>

#include "i18n/product_info.h"

namespace reelkit {

QString FromLocalPath(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string ToLocalPath(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

void ShowMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
  QMessageBox box(icon, ToQString(kProductDisplayName), text, QMessageBox::Ok, parent);
  box.exec();
}

bool AskYesNo(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Question, ToQString(kProductDisplayName), text,
                  QMessageBox::Yes | QMessageBox::No, parent);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace reelkit
