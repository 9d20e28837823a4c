#include "wizard/run_wizard.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>

#include "i18n/user_language.h"
#include "wizard/main_sheet.h"
#include "wizard/qt_wizard_settings.h"

namespace reelkit {
namespace {

constexpr const char* kNoDisplaySentence =
    "The conversion wizard needs a graphical desktop and none could be reached (no X11 or "
    "Wayland display); convert from the command line instead: reelkit -in <inputfilename> -out "
    "<outputfilename>\n";

int SayNoDisplay() {
  std::fputs(kNoDisplaySentence, stdout);
  std::fflush(stdout);
  return kExitNoDisplay;
}

bool DisplayNamed() {
  return std::getenv("QT_QPA_PLATFORM") || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

// While the application looks for its platform: a display that is named but cannot be reached
// ends in a fatal message, which would abort; the sentence and a plain exit take its place, and
// the platform plugins' warnings on the way there are not shown, so the sentence stands alone.
void StartupMessageHandler(QtMsgType type, const QMessageLogContext&, const QString&) {
  if (type == QtFatalMsg) {
    std::_Exit(SayNoDisplay());
  }
}

// Qt's own translations (its buttons) are named by locale: "de", "pt_BR", "zh_CN".
QLocale QtLocaleOf(const std::string& language) {
  if (language == "zh") {
    return QLocale(QStringLiteral("zh_CN"));
  }
  QString name = QString::fromStdString(language);
  if (const qsizetype dash = name.indexOf('-'); dash >= 0) {
    name = name.left(dash) + '_' + name.mid(dash + 1).toUpper();
  }
  return QLocale(name);
}

}  // namespace

int RunWizardApplication(ConvertFunction convert, const std::vector<std::string>& givenFiles) {
  if (!DisplayNamed()) {
    return SayNoDisplay();
  }
  char programName[] = "reelkit";
  char* argv[] = {programName, nullptr};
  int argc = 1;
  const QtMessageHandler previous = qInstallMessageHandler(StartupMessageHandler);
  QApplication application(argc, argv);
  qInstallMessageHandler(previous);
  // The desktop matches the window to its menu entry, and so to its icon, by this name.
  QGuiApplication::setDesktopFileName(QStringLiteral(REELKIT_APP_ID));

  CMessageCatalog catalog;
  catalog.Load();
  const std::string language = UserLanguage();
  catalog.SetLanguage(language);
  QTranslator qtTranslator;
  if (!language.empty() &&
      qtTranslator.load(QtLocaleOf(language), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtTranslator);
  }

  CQtWizardSettings settings;
  CReelkitMainSheet sheet(catalog, settings, std::move(convert));
  sheet.show();
  if (!givenFiles.empty()) {
    sheet.OpenWithFiles(givenFiles);
  }
  return application.exec() == 0 ? 0 : 1;
}

}  // namespace reelkit
