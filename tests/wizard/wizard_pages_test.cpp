// The wizard's pages driven as a user drives them, under the offscreen platform: message boxes
// and the file dialog are answered by the test.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <deque>
#include <functional>

#include "common/endian.h"
#include "common/picture_rules.h"
#include "i18n/message_catalog.h"
#include "tests/testing/waiting.h"
#include "wizard/add_files_page.h"
#include "wizard/html_view.h"
#include "wizard/main_sheet.h"
#include "wizard/qt_text.h"
#include "wizard/qt_wizard_settings.h"

namespace reelkit {
namespace {

constexpr qint64 kMB = 1 << 20;
// Qt's waits count milliseconds.
constexpr int kHangMilliseconds =
    static_cast<int>(std::chrono::milliseconds(testing::kHangDeadline).count());

// Answers the next modal dialogs in turn, as a user would, and remembers what they said.
class ModalAnswerer : public QObject {
 public:
  using Answer = std::function<void(QWidget* dialog)>;

  explicit ModalAnswerer(std::deque<Answer> answers) : answers_(std::move(answers)) {
    timer_.callOnTimeout(this, [this] { Poll(); });
    timer_.start(10);
  }

  static Answer Click(QMessageBox::StandardButton button) {
    return
        [button](QWidget* dialog) { static_cast<QMessageBox*>(dialog)->button(button)->click(); };
  }

  bool Done() const { return answers_.empty(); }
  QStringList texts;

 private:
  void Poll() {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr || dialog->property("answered").toBool() || answers_.empty()) {
      return;
    }
    dialog->setProperty("answered", true);
    if (const auto* box = qobject_cast<QMessageBox*>(dialog)) {
      texts << box->text();
    }
    const Answer answer = answers_.front();
    answers_.pop_front();
    answer(dialog);
  }

  std::deque<Answer> answers_;
  QTimer timer_;
};

// Stands in for the conversion entry: reports in quarters, lets the test act at a report, and
// writes the output.
struct FakeConversion {
  std::function<void(int file, int quarter)> atReport = [](int, int) {};
  bool endless = false;  // reports until it is stopped
  std::atomic<int> calls = 0;

  bool operator()(const std::string& in, const std::string& out, OutputFormat,
                  IReelkitClient& client) {
    const int file = calls++;
    client.OnStart(in);
    for (int quarter = 0; quarter <= 4 || endless; ++quarter) {
      client.OnProgress(std::min(quarter, 4) * 25.0);
      atReport(file, quarter);
      if (client.IsCancelRequested()) {
        return false;
      }
      if (endless) {
        QThread::msleep(1);
      }
    }
    QFile output(QString::fromStdString(out));
    output.open(QIODevice::WriteOnly);
    output.write("video");
    client.OnFinish(
        {.packets = 850, .frames = 1200, .keyFrames = 12, .spacers = 12, .seconds = 120});
    return true;
  }
};

class WizardPagesTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void settingsChooseTheDestinationPageDefaults_data();
  void settingsChooseTheDestinationPageDefaults();
  void filesAndDestinationRules();
  void reviewShowsCountAndSize_data();
  void reviewShowsCountAndSize();
  void reviewNamesOutputsThatCollide();
  void openedWithFilesListsTheRecordingsAndNamesTheOthers();
  void twoFilesConvertDeleteAndFinish();
  void declinedOverwriteOpensTheDetails();
  void cancelAnsweredNoThenYesStopsInTheSecondFile();
  void withoutDisplayTheProgramSaysSo();
  void welcomePageAndCancelBeforeConverting();
  void closingMidConversionStopsAndJoinsTheWorker();

 private:
  QString MakeFile(const QString& name, qint64 size);
  // A file whose first 128 bytes are those of a recording of the kind, or of an ordinary AVI.
  enum class Content { RawRecording, ScreenAvi, PlainAvi };
  QString MakeInput(const QString& name, Content content);
  // From the welcome page to the destination page with these files.
  void ToDestinationPage(const QStringList& files);
  // On to the conversion with the default destination; returns when the finish page shows.
  void ConvertTo(int page);
  template <typename T>
  T* Find(const char* name) const {
    return sheet_->findChild<T*>(QString::fromLatin1(name));
  }

  QTemporaryDir settingsDir_;
  std::unique_ptr<QTemporaryDir> dir_;
  CMessageCatalog catalog_;
  std::unique_ptr<CQtWizardSettings> settings_;
  FakeConversion conversion_;
  std::unique_ptr<CReelkitMainSheet> sheet_;
};

void WizardPagesTest::initTestCase() {
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_.path());
  catalog_.Load();
}

void WizardPagesTest::init() {
  QSettings(QStringLiteral("KestrixTolvan"), QStringLiteral("Opsdeck")).clear();
  dir_ = std::make_unique<QTemporaryDir>();
  settings_ = std::make_unique<CQtWizardSettings>();
  conversion_.atReport = [](int, int) {};
  conversion_.endless = false;
  conversion_.calls = 0;
  sheet_ = std::make_unique<CReelkitMainSheet>(catalog_, *settings_, std::ref(conversion_));
  sheet_->show();
}

QString WizardPagesTest::MakeFile(const QString& name, qint64 size) {
  QFile file(dir_->filePath(name));
  file.open(QIODevice::WriteOnly);
  file.resize(size);
  return file.fileName();
}

QString WizardPagesTest::MakeInput(const QString& name, Content content) {
  QByteArray prefix(128, '\0');
  if (content == Content::RawRecording) {
    StoreU32LE(reinterpret_cast<std::uint8_t*>(prefix.data()), kRawRecordingMagic);
  } else {
    prefix.replace(0, 4, "RIFF").replace(8, 4, "AVI ");
    prefix.replace(112, 4, content == Content::ScreenAvi ? "VQSC" : "MJPG");
  }
  QFile file(dir_->filePath(name));
  file.open(QIODevice::WriteOnly);
  file.write(prefix);
  return file.fileName();
}

void WizardPagesTest::ToDestinationPage(const QStringList& files) {
  sheet_->next();
  QCOMPARE(sheet_->currentId(), CReelkitMainSheet::kAddFilesPage);
  QVERIFY(!sheet_->button(QWizard::NextButton)->isEnabled());
  static_cast<CReelkitAddFilesPage*>(sheet_->currentPage())->AddFiles(files);
  QVERIFY(sheet_->button(QWizard::NextButton)->isEnabled());
  sheet_->next();
  QCOMPARE(sheet_->currentId(), CReelkitMainSheet::kSetDestPage);
}

void WizardPagesTest::ConvertTo(int page) {
  sheet_->next();
  QCOMPARE(sheet_->currentId(), CReelkitMainSheet::kReviewPage);
  sheet_->next();
  QTRY_COMPARE_WITH_TIMEOUT(sheet_->currentId(), page, kHangMilliseconds);
}

void WizardPagesTest::settingsChooseTheDestinationPageDefaults_data() {
  QTest::addColumn<QVariant>("format");
  QTest::addColumn<QVariant>("ask");
  QTest::addColumn<QString>("shown");
  QTest::addColumn<bool>("asks");
  QTest::addColumn<QString>("saved");
  QTest::newRow("absent") << QVariant() << QVariant() << "Microsoft Video 1 (MSVC)" << true
                          << "MSVC";
  QTest::newRow("lower case, 2") << QVariant("mrle") << QVariant(2) << "Microsoft Video 1 (MSVC)"
                                 << false << "MSVC";
  QTest::newRow("MRLE, 1") << QVariant("MRLE") << QVariant(1) << "Microsoft RLE (MRLE)" << true
                           << "MRLE";
  QTest::newRow("VQSC, 0") << QVariant("VQSC") << QVariant(0) << "Kestrix Video Encoder (VQSC)"
                           << false << "VQSC";
  QTest::newRow("H264, 1") << QVariant("H264") << QVariant(1) << "H.264 video for the web (MP4)"
                           << true << "H264";
  QTest::newRow("h264, 1") << QVariant("h264") << QVariant(1) << "Microsoft Video 1 (MSVC)" << true
                           << "MSVC";
}

void WizardPagesTest::settingsChooseTheDestinationPageDefaults() {
  QFETCH(QVariant, format);
  QFETCH(QVariant, ask);
  QSettings stored(QStringLiteral("KestrixTolvan"), QStringLiteral("Opsdeck"));
  if (format.isValid()) {
    stored.setValue(QStringLiteral("ReelkitOutputFormat"), format);
    stored.setValue(QStringLiteral("ReelkitAskPermissionOverwrite"), ask);
  }
  ToDestinationPage({MakeFile(QStringLiteral("a.rcrec"), 1)});
  QFETCH(QString, shown);
  QFETCH(bool, asks);
  QCOMPARE(Find<QComboBox>("formats")->currentText(), shown);
  QCOMPARE(Find<QCheckBox>("askOverwrite")->isChecked(), asks);
  // Leaving the page keeps the row shown, as the FourCC the names and the next run use.
  QFETCH(QString, saved);
  sheet_->next();
  QCOMPARE(QString::fromLatin1(FindOutputFormat(sheet_->State().outputFormat)->name), saved);
  QCOMPARE(stored.value(QStringLiteral("ReelkitOutputFormat")).toString(), saved);
}

void WizardPagesTest::filesAndDestinationRules() {
  QSettings(QStringLiteral("KestrixTolvan"), QStringLiteral("Opsdeck"))
      .setValue(QStringLiteral("ReelkitInputFormat"), QStringLiteral("RCREC"));
  const QString lower = MakeFile(QStringLiteral("call.rcrec"), 1);
  const QString upper = MakeFile(QStringLiteral("CALL.rcrec"), 1);
  sheet_->next();
  // The answer never returns early: a dialog left open would hang the test instead of failing it.
  QString filterShown;
  ModalAnswerer answerer({[&](QWidget* dialog) {
    auto* files = static_cast<QFileDialog*>(dialog);
    filterShown = files->selectedNameFilter();
    files->selectNameFilter(QStringLiteral("Screen Recording AVI Files (*.avi)"));
    // The dialog lists its folder on a thread of its own, and selecting a file it has not listed
    // yet may be undone when the listing arrives; a full path typed into its name field is taken
    // as it stands.
    files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(lower);
    QMetaObject::invokeMethod(files, "accept");
  }});
  Find<QPushButton>("add")->click();
  QVERIFY(answerer.Done());
  QCOMPARE(filterShown, QStringLiteral("Screen Recording RCREC Files (*.rcrec)"));
  static_cast<CReelkitAddFilesPage*>(sheet_->currentPage())->AddFiles({lower, upper, lower});
  QCOMPARE(Find<QListWidget>("files")->count(), 2);
  Find<QListWidget>("files")->selectAll();
  Find<QPushButton>("remove")->click();
  QCOMPARE(Find<QListWidget>("files")->count(), 0);
  QVERIFY(!sheet_->button(QWizard::NextButton)->isEnabled());
  static_cast<CReelkitAddFilesPage*>(sheet_->currentPage())->AddFiles({upper, lower});
  QCOMPARE(QSettings(QStringLiteral("KestrixTolvan"), QStringLiteral("Opsdeck"))
               .value(QStringLiteral("ReelkitInputFormat")),
           QVariant(QStringLiteral("VQSC")));
  sheet_->next();
  QCOMPARE(Find<QLineEdit>("destination")->text(), dir_->path());

  ModalAnswerer messages(
      {ModalAnswerer::Click(QMessageBox::Ok), ModalAnswerer::Click(QMessageBox::Ok)});
  for (const QString& rejected : {QString(), QStringLiteral("/")}) {
    Find<QLineEdit>("destination")->setText(rejected);
    sheet_->next();
    QCOMPARE(sheet_->currentId(), CReelkitMainSheet::kSetDestPage);
  }
  QCOMPARE(messages.texts,
           QStringList({CatalogText(catalog_, u"VQGUI.REELKIT.SETDEST.NODESTDIR"),
                        CatalogText(catalog_, u"VQGUI.REELKIT.SETDEST.INVDESTDIR")}));
  Find<QLineEdit>("destination")->setText(dir_->path() + QStringLiteral("///"));
  sheet_->next();
  QCOMPARE(sheet_->currentId(), CReelkitMainSheet::kReviewPage);
  QCOMPARE(QString::fromStdString(sheet_->State().destinationDir), dir_->path());
  QCOMPARE(sheet_->State().files.size(), 2u);
}

void WizardPagesTest::reviewShowsCountAndSize_data() {
  QTest::addColumn<qint64>("size");
  QTest::addColumn<QString>("summary");
  QTest::newRow("1023") << qint64{1023} << "Selected 1 file(s), cumulative size: 1,023 Bytes";
  QTest::newRow("1024") << qint64{1024} << "Selected 1 file(s), cumulative size: 1 KBytes";
  QTest::newRow("1234567890") << qint64{1234567890}
                              << "Selected 1 file(s), cumulative size: 1,205,632 KBytes";
}

void WizardPagesTest::reviewShowsCountAndSize() {
  QFETCH(qint64, size);
  QFETCH(QString, summary);
  ToDestinationPage({MakeFile(QStringLiteral("big.rcrec"), size)});
  sheet_->next();
  QCOMPARE(Find<QLabel>("summary")->text(), summary);
  QVERIFY(!Find<QLabel>("conflicts")->isVisible());
}

void WizardPagesTest::reviewNamesOutputsThatCollide() {
  const QString avi = MakeFile(QStringLiteral("call7.avi"), kMB);
  const QString raw = MakeFile(QStringLiteral("call7.rcrec"), kMB);
  const QString earlier = MakeFile(QStringLiteral("x_MSVC.avi"), kMB);
  const QString x = MakeFile(QStringLiteral("x.rcrec"), kMB);
  ToDestinationPage({avi, raw, earlier, x});
  sheet_->next();
  auto* conflicts = Find<QLabel>("conflicts");
  QVERIFY(conflicts->isVisible());
  QCOMPARE(conflicts->text(),
           raw + QStringLiteral(" would have the same output name, call7_MSVC.avi, as ") + avi +
               QStringLiteral("; it will be saved as call7_MSVC-2.avi.\n") + x +
               QStringLiteral(" would write over the chosen file ") + earlier +
               QStringLiteral("; it will not be converted."));
}

// As the desktop's Open With starts it, or a shell with names relative to its folder: content
// decides, whatever the name says.
void WizardPagesTest::openedWithFilesListsTheRecordingsAndNamesTheOthers() {
  const QString raw = MakeInput(QStringLiteral("call.rcrec"), Content::RawRecording);
  const QString renamed = MakeInput(QStringLiteral("call.bin"), Content::RawRecording);
  const QString screenAvi = MakeInput(QStringLiteral("screen.avi"), Content::ScreenAvi);
  const QString plainAvi = MakeInput(QStringLiteral("holiday.avi"), Content::PlainAvi);
  const QString empty = MakeFile(QStringLiteral("empty.rcrec"), 0);
  const QString missing = dir_->filePath(QStringLiteral("missing.rcrec"));
  const QString relative = MakeInput(QStringLiteral("relative.rcrec"), Content::RawRecording);
  const QString working = QDir::currentPath();
  QDir::setCurrent(dir_->path());
  ModalAnswerer answerer({ModalAnswerer::Click(QMessageBox::Ok)});
  sheet_->OpenWithFiles({ToLocalPath(raw), ToLocalPath(plainAvi), "./relative.rcrec",
                         ToLocalPath(empty), ToLocalPath(renamed), ToLocalPath(missing),
                         ToLocalPath(screenAvi), ToLocalPath(raw)});
  QDir::setCurrent(working);

  QCOMPARE(sheet_->currentId(), CReelkitMainSheet::kAddFilesPage);
  QStringList listed;
  for (int row = 0; row < Find<QListWidget>("files")->count(); ++row) {
    listed << Find<QListWidget>("files")->item(row)->text();
  }
  QCOMPARE(listed, QStringList({renamed, raw, relative, screenAvi}));
  QCOMPARE(answerer.texts,
           QStringList(QStringLiteral("These files are not screen recordings or could not be "
                                      "read; they have been left out:\n") +
                       QStringList({plainAvi, empty, missing}).join(QLatin1Char('\n'))));
  QVERIFY(sheet_->button(QWizard::BackButton)->isEnabled());
  sheet_->next();
  QCOMPARE(Find<QLineEdit>("destination")->text(), dir_->path());
  QCOMPARE(sheet_->State().files.size(), 4u);
}

void WizardPagesTest::twoFilesConvertDeleteAndFinish() {
  const QString first = MakeFile(QStringLiteral("first.rcrec"), 10 * kMB);
  const QString second = MakeFile(QStringLiteral("second.rcrec"), 30 * kMB);
  sheet_->next();
  Find<QCheckBox>("deleteSources")->setChecked(true);
  static_cast<CReelkitAddFilesPage*>(sheet_->currentPage())->AddFiles({first, second});
  sheet_->next();
  QSignalSpy overall(Find<QProgressBar>("overallBar"), &QProgressBar::valueChanged);
  ConvertTo(CReelkitMainSheet::kFinishPage);

  QList<int> positions;
  for (const QList<QVariant>& change : overall) {
    positions << change.front().toInt();
  }
  QVERIFY(positions.contains(2500));
  QCOMPARE(positions.back(), 10000);
  QVERIFY(!QFile::exists(first) && !QFile::exists(second));
  QVERIFY(QFile::exists(dir_->filePath(QStringLiteral("first_MSVC.avi"))));

  QCOMPARE(Find<QLabel>("result")->text(),
           QStringLiteral("Kestrix Tolvan Reelkit has converted the selected files."));
  QCOMPARE(Find<QLabel>("folder")->text(), dir_->path());
  auto* log = Find<QListWidget>("log");
  QVERIFY(!log->isVisible());
  Find<QPushButton>("details")->click();
  QVERIFY(log->isVisible() && !Find<QPushButton>("details")->isVisible());
  QCOMPARE(log->count(), 9);
  QCOMPARE(log->item(0)->text(), first);
  QCOMPARE(log->item(1)->text(),
           QStringLiteral(
               "Processed 1200 frames (850 subframes, 12 spacers), total length is 120 seconds."));
  QCOMPARE(log->item(8)->text(), QStringLiteral("All files have been processed."));
  QVERIFY(Find<QLabel>("folder")->geometry().top() > log->geometry().bottom());
  QVERIFY(!sheet_->button(QWizard::CancelButton)->isVisible());
  QVERIFY(!sheet_->button(QWizard::BackButton)->isEnabled());
  QVERIFY(sheet_->button(QWizard::FinishButton)->isVisible());
}

void WizardPagesTest::declinedOverwriteOpensTheDetails() {
  ToDestinationPage({MakeFile(QStringLiteral("call7.rcrec"), kMB)});
  MakeFile(QStringLiteral("call7_MSVC.avi"), 1);
  ModalAnswerer answerer({ModalAnswerer::Click(QMessageBox::No)});
  ConvertTo(CReelkitMainSheet::kFinishPage);
  QCOMPARE(answerer.texts.size(), 1);
  QVERIFY(answerer.texts.front().endsWith(QStringLiteral("Do you want to overwrite it?")));
  QCOMPARE(conversion_.calls, 0);
  QCOMPARE(Find<QLabel>("result")->text(),
           QStringLiteral(
               "Kestrix Tolvan Reelkit has encountered one or more errors during conversion."));
  QVERIFY(Find<QListWidget>("log")->isVisible());
  QCOMPARE(Find<QListWidget>("log")->item(1)->text(), QStringLiteral("Cancelled."));
}

void WizardPagesTest::cancelAnsweredNoThenYesStopsInTheSecondFile() {
  ToDestinationPage({MakeFile(QStringLiteral("1.rcrec"), kMB),
                     MakeFile(QStringLiteral("2.rcrec"), kMB),
                     MakeFile(QStringLiteral("3.rcrec"), kMB)});
  // The user presses Cancel while the second file converts, first at a quarter, then at three.
  conversion_.atReport = [this](int file, int quarter) {
    if (file == 1 && (quarter == 1 || quarter == 3)) {
      QMetaObject::invokeMethod(
          sheet_.get(), [this] { sheet_->button(QWizard::CancelButton)->click(); },
          Qt::BlockingQueuedConnection);
    }
  };
  ModalAnswerer answerer(
      {ModalAnswerer::Click(QMessageBox::No), ModalAnswerer::Click(QMessageBox::Yes)});
  ConvertTo(CReelkitMainSheet::kFinishPage);
  QCOMPARE(answerer.texts,
           QStringList(2, QStringLiteral("Are you sure you want to cancel this operation?")));
  QCOMPARE(conversion_.calls, 2);
  QVERIFY(!QFile::exists(dir_->filePath(QStringLiteral("3_MSVC.avi"))));
  auto* log = Find<QListWidget>("log");
  QVERIFY(log->isVisible());
  QCOMPARE(log->item(log->count() - 2)->text(), dir_->filePath(QStringLiteral("2.rcrec")));
  QCOMPARE(log->item(log->count() - 1)->text(), QStringLiteral("Cancelled."));
}

void WizardPagesTest::welcomePageAndCancelBeforeConverting() {
  QCOMPARE(sheet_->currentId(), CReelkitMainSheet::kWelcomePage);
  QVERIFY(!sheet_->windowIcon().isNull());
  // The desktop's 64-pixel icon, built in: a missing resource would give an empty icon.
  QCOMPARE(sheet_->windowIcon().availableSizes(), QList<QSize>{QSize(64, 64)});
  QVERIFY(!sheet_->button(QWizard::BackButton)->isEnabled());
  auto* view = sheet_->findChild<CHtmlView*>();
  QVERIFY(view->toPlainText().contains(QStringLiteral("Kestrix Tolvan Reelkit 8.0.53")));
  const QVariant picture = view->loadResource(QTextDocument::ImageResource,
                                              QUrl(QStringLiteral("res://x/topright.png")));
  QCOMPARE(picture.value<QImage>().size(), QSize(309, 114));
  sheet_->button(QWizard::CancelButton)->click();
  QVERIFY(!sheet_->isVisible());
}

// The window may go while a file converts: the worker is stopped without a question and joined.
void WizardPagesTest::closingMidConversionStopsAndJoinsTheWorker() {
  conversion_.endless = true;
  ToDestinationPage({MakeFile(QStringLiteral("long.rcrec"), kMB)});
  sheet_->next();
  sheet_->next();
  QTRY_COMPARE_WITH_TIMEOUT(conversion_.calls.load(), 1, kHangMilliseconds);
  sheet_->button(QWizard::CancelButton)->click();
  sheet_.reset();
  QCOMPARE(conversion_.calls.load(), 1);
}

// No display at all, and one that is named but cannot be reached: a sentence, not an abort.
void WizardPagesTest::withoutDisplayTheProgramSaysSo() {
  for (const QString& display : {QString(), QStringLiteral(":97")}) {
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
      environment.remove(QString::fromLatin1(name));
    }
    if (!display.isEmpty()) {
      environment.insert(QStringLiteral("DISPLAY"), display);
    }
    program.setProcessEnvironment(environment);
    // Given a file (Open With) as without: the display decides.
    const QStringList arguments =
        display.isEmpty() ? QStringList() : QStringList({QStringLiteral("call.rcrec")});
    program.start(QStringLiteral(REELKIT_WIZARD_BINARY), arguments);
    QVERIFY(program.waitForFinished(kHangMilliseconds));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 2);
    const QString said = QString::fromUtf8(program.readAllStandardOutput());
    QVERIFY2(said.contains(QStringLiteral("reelkit -in <inputfilename> -out")), qPrintable(said));
  }
}

}  // namespace
}  // namespace reelkit

QTEST_MAIN(reelkit::WizardPagesTest)
#include "wizard_pages_test.moc"
