#include "i18n/user_language.h"

#include <QLocale>
#include <QSettings>
#include <vector>

#include "i18n/language.h"

namespace reelkit {

std::string UserLanguage() {
  const QSettings settings(QStringLiteral("Kestrix"));
  const QString setting = settings.value(QStringLiteral("V5/Gui/Lang")).toString();
  std::vector<std::string> preferred;
  for (const QString& locale : QLocale::system().uiLanguages()) {
    preferred.push_back(locale.toStdString());
  }
  return ChooseLanguage(preferred, setting.toStdString());
}

}  // namespace reelkit
