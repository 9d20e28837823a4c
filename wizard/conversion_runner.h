#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "common/file_stamp.h"
#include "common/output_format.h"
#include "common/reelkit_client.h"
#include "i18n/message_catalog.h"
#include "wizard/output_plan.h"
#include "wizard/wizard_state.h"

namespace reelkit {

// The one conversion entry, given to the wizard by the program so that the wizard does not
// depend on the front end that owns it.
using ConvertFunction =
    std::function<bool(const std::string& inputPath, const std::string& outputPath,
                       OutputFormat format, IReelkitClient& client)>;

// What the conversion shows and asks. Every call comes from the worker thread; the
// implementation hands it to the user-interface thread. The two questions block the worker until
// they are answered.
class IConversionView {
 public:
  virtual void ShowCurrentFile(const std::string& path) = 0;
  virtual void ShowFileProgress(int position) = 0;     // 0 to kProgressMaximum
  virtual void ShowOverallProgress(int position) = 0;  // 0 to kProgressMaximum
  virtual bool ConfirmOverwrite(const std::u16string& question) = 0;
  virtual bool ConfirmCancel(const std::u16string& question) = 0;

 protected:
  IConversionView() = default;
  IConversionView(const IConversionView&) = default;
  IConversionView& operator=(const IConversionView&) = default;
  ~IConversionView() = default;
};

inline constexpr int kProgressMaximum = 10000;

// The system's sentence for an errno value, followed by the value in hexadecimal.
std::u16string SystemErrorText(int error);

// Converts every file of the wizard's state in order, writes the log and, where asked, deletes
// the sources. It is the conversions' observer: it touches no widget, only the view.
//
// Nothing the user chose is lost: a video never replaces a chosen file or a video written
// earlier in the run (see PlanOutputs), and a source is deleted only when its own conversion
// wrote a non-empty video and the source did not change while it was converted.
//
// Threads: Run and the IReelkitClient calls belong to the worker thread; RequestCancel may come
// from any thread (the Cancel button).
class CConversionRunner final : public IReelkitClient {
 public:
  CConversionRunner(CReelkitWizardState& state, const CMessageCatalog& catalog,
                    ConvertFunction convert, IConversionView& view);

  void Run();
  void RequestCancel() { cancelRequested_.store(true); }

  void OnStart(const std::string& inputPath) override;
  void OnFinish(const ConversionStatistics& statistics) override;
  void OnError(const ConversionFailure& failure) override;
  void OnProgress(double percent) override;
  bool IsCancelRequested() override;

 private:
  // False when the run has to stop after this file.
  bool ConvertOne(const PlannedOutput& planned);
  // The output is not a chosen file or a video of this run now, whatever happened since the plan.
  bool IsOutputFree(const PlannedOutput& planned);
  bool MayWrite(const std::string& sourcePath, const std::string& outputPath);
  void NoteRenamed(const PlannedOutput& planned);
  // videoWritten: this conversion changed its output, which is now a regular, non-empty file.
  void NoteOutputLeft(const std::string& outputPath, bool videoWritten);
  void DeleteSourceIfSafe(const PlannedOutput& planned, const FileStamp& sourceBefore,
                          bool videoWritten);
  void DeleteSource(const std::string& sourcePath);
  void RefuseFile(const std::string& sourcePath, std::u16string line);
  void Log(std::u16string line) { state_.log.push_back(std::move(line)); }
  void LogKey(std::u16string_view key) { Log(catalog_.Lookup(key)); }
  // The line that the failure's kind gives, with its code where it has one.
  void LogFailureKind(const ConversionFailure& failure);
  void LogPath(const std::string& path);
  void LogSourceOnce();
  void MoveFileBar(int position);
  void MoveOverallBar(double fileShare);

  CReelkitWizardState& state_;
  const CMessageCatalog& catalog_;
  ConvertFunction convert_;
  IConversionView& view_;
  std::atomic<bool> cancelRequested_{false};
  std::map<std::string, FileStamp> sources_;  // the chosen files still there, as the run found them
  std::vector<FileStamp> writtenOutputs_;     // the videos this run has written to
  std::string currentSource_;
  bool sourceLogged_ = false;  // the log names the current file
  std::uint64_t currentFileBytes_ = 0;
  std::uint64_t doneBytes_ = 0;
  int fileBar_ = -1;
  int overallBar_ = -1;
};

}  // namespace reelkit
