#include "wizard/wizard_settings.h"

#include "wizard/wizard_state.h"

namespace reelkit {
namespace {

constexpr std::string_view kInputFormatName = "ReelkitInputFormat";
constexpr std::string_view kOutputFormatName = "ReelkitOutputFormat";
constexpr std::string_view kAskOverwriteName = "ReelkitAskPermissionOverwrite";

constexpr std::u16string_view kRawRecordingsValue = u"RCREC";
constexpr std::u16string_view kAviFilesValue = u"VQSC";

std::u16string WidenAscii(std::string_view text) {
  return std::u16string(text.begin(), text.end());
}

}  // namespace

InputFilter ReadInputFilter(const IWizardSettings& settings) {
  const auto value = settings.ReadText(kInputFormatName);
  return value == kRawRecordingsValue ? InputFilter::RawRecordings : InputFilter::AviFiles;
}

void SaveInputFilter(IWizardSettings& settings, InputFilter filter) {
  settings.WriteText(kInputFormatName,
                     filter == InputFilter::RawRecordings ? kRawRecordingsValue : kAviFilesValue);
}

int ReadOutputFormatRow(const IWizardSettings& settings) {
  const auto value = settings.ReadText(kOutputFormatName);
  for (std::size_t row = 0; value && row < kOutputFormatRows.size(); ++row) {
    if (*value == WidenAscii(FindOutputFormat(kOutputFormatRows[row].format)->name)) {
      return static_cast<int>(row);
    }
  }
  return kDefaultOutputFormatRow;
}

void SaveOutputFormat(IWizardSettings& settings, OutputFormat format) {
  settings.WriteText(kOutputFormatName, WidenAscii(FindOutputFormat(format)->name));
}

bool ReadAskOverwrite(const IWizardSettings& settings) {
  const auto value = settings.ReadNumber(kAskOverwriteName);
  return !value || *value == 1;
}

void SaveAskOverwrite(IWizardSettings& settings, bool ask) {
  settings.WriteNumber(kAskOverwriteName, ask ? 1 : 0);
}

}  // namespace reelkit
