#include "wizard/conversion_runner.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/error_codes.h"
#include "common/system_error_words.h"
#include "i18n/catalog_format.h"
#include "i18n/catalog_keys.h"
#include "i18n/program_utf8.h"
#include "wizard/failure_cause_text.h"
#include "wizard/wizard_paths.h"

namespace reelkit {
namespace {

namespace keys = catalog_keys;

bool SomethingExistsAt(const std::string& path) {
  std::error_code error;
  return std::filesystem::symlink_status(path, error).type() !=
         std::filesystem::file_type::not_found;
}

std::u16string HexText(std::uint32_t value) {
  char digits[9];
  std::snprintf(digits, sizeof digits, "%x", value);
  return DecodeProgramUtf8(std::string_view(digits));
}

// A share of 0 to 1 as a bar position, truncated; whatever a client reports stays in range.
int BarPosition(double share) {
  if (!(share > 0.0)) {
    return 0;
  }
  return static_cast<int>(std::min(share, 1.0) * kProgressMaximum);
}

}  // namespace

std::u16string SystemErrorText(int error) {
  std::u16string text = DecodeProgramUtf8(SystemErrorWords(error));
  if (text.empty()) {
    text = u"[no error description found]";
  }
  return text + u" 0x" + HexText(static_cast<std::uint32_t>(error));
}

CConversionRunner::CConversionRunner(CReelkitWizardState& state, const CMessageCatalog& catalog,
                                     ConvertFunction convert, IConversionView& view)
    : state_(state), catalog_(catalog), convert_(std::move(convert)), view_(view) {}

void CConversionRunner::Run() {
  MoveFileBar(0);
  MoveOverallBar(0.0);
  state_.cancelled = false;
  const std::vector<PlannedOutput> plan = PlanOutputs(state_);
  for (const PlannedOutput& planned : plan) {
    sources_[planned.source] = FileStamp::Of(planned.source);
  }
  for (const PlannedOutput& planned : plan) {
    if (!ConvertOne(planned)) {
      // A cancelled run has no closing line: it would claim that every file was processed.
      return;
    }
  }
  LogKey(keys::kLogFinished);
}

bool CConversionRunner::ConvertOne(const PlannedOutput& planned) {
  const std::string& sourcePath = planned.source;
  const std::string& outputPath = planned.output;
  currentFileBytes_ = state_.files.at(sourcePath);
  if (!IsOutputFree(planned) || !MayWrite(sourcePath, outputPath)) {
    return true;
  }
  view_.ShowCurrentFile(sourcePath);
  MoveOverallBar(0.0);
  currentSource_ = sourcePath;
  sourceLogged_ = false;
  NoteRenamed(planned);
  const FileStamp sourceBefore = FileStamp::Of(sourcePath);
  const FileStamp outputBefore = FileStamp::Of(outputPath);
  const bool converted = convert_(sourcePath, outputPath, state_.outputFormat, *this);
  const FileStamp outputAfter = FileStamp::Of(outputPath);
  const bool wroteOutput = !outputAfter.IsUnchangedSince(outputBefore);
  if (wroteOutput) {
    writtenOutputs_.push_back(outputAfter);
  }
  const bool videoWritten = wroteOutput && outputAfter.regular && outputAfter.size > 0;
  if (!converted) {
    state_.hadErrors = true;
    NoteOutputLeft(outputPath, videoWritten);
  }
  if (state_.cancelled) {
    LogPath(sourcePath);
    LogKey(keys::kLogCancelled);
    return false;
  }
  doneBytes_ += currentFileBytes_;
  if (state_.deleteSources && converted) {
    DeleteSourceIfSafe(planned, sourceBefore, videoWritten);
  }
  return true;
}

bool CConversionRunner::IsOutputFree(const PlannedOutput& planned) {
  const FileStamp output = FileStamp::Of(planned.output);
  const auto isOutput = [&](const FileStamp& file) { return file.IsSameFileAs(output); };
  const auto isSourceOutput = [&](const auto& source) { return isOutput(source.second); };
  if (planned.IsConverted() && std::none_of(sources_.begin(), sources_.end(), isSourceOutput) &&
      std::none_of(writtenOutputs_.begin(), writtenOutputs_.end(), isOutput)) {
    return true;
  }
  RefuseFile(planned.source,
             catalog_.LookupWithArgument(keys::kLogOutputTaken, DecodeProgramUtf8(planned.output)));
  return false;
}

bool CConversionRunner::MayWrite(const std::string& sourcePath, const std::string& outputPath) {
  if (!state_.askOverwrite || !SomethingExistsAt(outputPath)) {
    return true;
  }
  const std::u16string question =
      catalog_.LookupWithArgument(keys::kFileExists, DecodeProgramUtf8(outputPath));
  if (view_.ConfirmOverwrite(question)) {
    return true;
  }
  RefuseFile(sourcePath, catalog_.Lookup(keys::kLogCancelled));
  return false;
}

void CConversionRunner::RefuseFile(const std::string& sourcePath, std::u16string line) {
  state_.hadErrors = true;
  LogPath(sourcePath);
  Log(std::move(line));
  Log(u"");
}

void CConversionRunner::NoteRenamed(const PlannedOutput& planned) {
  if (planned.sharedWith.empty()) {
    return;
  }
  LogSourceOnce();
  Log(catalog_.LookupWithArgument(keys::kLogRenamed, DecodeProgramUtf8(planned.output)));
}

// A failed conversion keeps what it wrote, since it plays; the user must hear that it is there
// and that it is not the whole recording.
void CConversionRunner::NoteOutputLeft(const std::string& outputPath, bool videoWritten) {
  if (videoWritten) {
    Log(catalog_.LookupWithArgument(keys::kLogIncomplete, DecodeProgramUtf8(outputPath)));
  }
}

void CConversionRunner::DeleteSourceIfSafe(const PlannedOutput& planned,
                                           const FileStamp& sourceBefore, bool videoWritten) {
  if (!videoWritten) {
    Log(catalog_.LookupWithArgument(keys::kLogKeptNoVideo, DecodeProgramUtf8(planned.output)));
    return;
  }
  // Still being recorded, or replaced: what was converted is not all the file now holds.
  if (!FileStamp::Of(planned.source).IsUnchangedSince(sourceBefore)) {
    LogKey(keys::kLogKeptChanged);
    return;
  }
  DeleteSource(planned.source);
}

void CConversionRunner::DeleteSource(const std::string& sourcePath) {
  const std::u16string path = DecodeProgramUtf8(sourcePath);
  Log(catalog_.LookupWithArgument(keys::kLogDeleting, path));
  if (std::remove(sourcePath.c_str()) == 0) {
    sources_.erase(sourcePath);
    Log(catalog_.LookupWithArgument(keys::kLogDeleted, path));
    return;
  }
  const int error = errno;
  Log(u"*** " + path);
  LogKey(keys::kLogDeleteError);
  Log(SystemErrorText(error));
}

void CConversionRunner::LogPath(const std::string& path) {
  Log(DecodeProgramUtf8(path));
}

void CConversionRunner::LogSourceOnce() {
  if (!sourceLogged_) {
    LogPath(currentSource_);
    sourceLogged_ = true;
  }
}

// The path is the one the file loop gave the conversion.
void CConversionRunner::OnStart(const std::string&) {
  LogSourceOnce();
}

void CConversionRunner::OnFinish(const ConversionStatistics& statistics) {
  Log(FormatCatalogText(
      catalog_.Lookup(keys::kJobFinished),
      {statistics.frames, statistics.packets, statistics.spacers, statistics.seconds}));
}

void CConversionRunner::OnError(const ConversionFailure& failure) {
  // A file refused before its conversion started (not a recording, an output path that cannot be
  // written) has no line naming it yet, and its cause would stand in the log without its file.
  LogSourceOnce();
  LogFailureKind(failure);
  for (std::u16string& line : FailureCauseLines(catalog_, failure)) {
    Log(std::move(line));
  }
}

void CConversionRunner::LogFailureKind(const ConversionFailure& failure) {
  const auto withCode = [&](std::u16string_view key) {
    Log(FormatCatalogText(catalog_.Lookup(key), {failure.code.value}));
  };
  switch (failure.kind) {
    case ConvertErrorKind::InvalidInputFormat:
      LogKey(keys::kInvalidFormat);
      break;
    case ConvertErrorKind::UnsupportedOutputFormat:
    case ConvertErrorKind::WriteOutputFailed:
    case ConvertErrorKind::OutputRefused:
      withCode(keys::kErrorSave);
      break;
    case ConvertErrorKind::OpenInputFailed:
      withCode(keys::kErrorOpen);
      break;
    case ConvertErrorKind::ReadInputFailed:
      if (failure.code == FailureCode::Fixed(kErrorHandleEof)) {
        LogKey(keys::kInvalidFormat);
      } else {
        withCode(keys::kErrorRead);
      }
      break;
    case ConvertErrorKind::OutputIsInput:
    case ConvertErrorKind::NoPicture:
    case ConvertErrorKind::Unexpected:
      // Their cause lines say it all: the sentence and, with a code, the system's words.
      break;
  }
}

void CConversionRunner::OnProgress(double percent) {
  MoveFileBar(BarPosition(percent / 100.0));
  MoveOverallBar(percent / 100.0);
}

bool CConversionRunner::IsCancelRequested() {
  // A job may ask again on its way out (a run of spacers stops at one look, the record loop at the
  // next): once confirmed, the answer stands without a second question.
  if (state_.cancelled) {
    return true;
  }
  if (!cancelRequested_.exchange(false)) {
    return false;
  }
  state_.cancelled = view_.ConfirmCancel(catalog_.Lookup(keys::kCancelQuestion));
  return state_.cancelled;
}

void CConversionRunner::MoveFileBar(int position) {
  if (position != fileBar_) {
    fileBar_ = position;
    view_.ShowFileProgress(position);
  }
}

void CConversionRunner::MoveOverallBar(double fileShare) {
  int position = 0;
  if (state_.totalBytes > 0) {
    const double done =
        static_cast<double>(doneBytes_) + static_cast<double>(currentFileBytes_) * fileShare;
    position = BarPosition(done / static_cast<double>(state_.totalBytes));
  }
  if (position != overallBar_) {
    overallBar_ = position;
    view_.ShowOverallProgress(position);
  }
}

}  // namespace reelkit
