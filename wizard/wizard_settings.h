#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/output_format.h"

namespace reelkit {

// Where the wizard keeps the choices of its last run. Reads and writes never fail loudly: a
// value that cannot be read is absent, a write that fails is lost.
class IWizardSettings {
 public:
  virtual std::optional<std::u16string> ReadText(std::string_view name) const = 0;
  virtual std::optional<std::uint32_t> ReadNumber(std::string_view name) const = 0;
  virtual void WriteText(std::string_view name, std::u16string_view text) = 0;
  virtual void WriteNumber(std::string_view name, std::uint32_t number) = 0;

 protected:
  IWizardSettings() = default;
  IWizardSettings(const IWizardSettings&) = default;
  IWizardSettings& operator=(const IWizardSettings&) = default;
  ~IWizardSettings() = default;
};

// The Open dialog's two filters, in the order it lists them.
enum class InputFilter { RawRecordings = 0, AviFiles = 1 };

// Each value has one spelling; any other content (even in another letter case) counts as
// absent and gives the default: AVI files, row 2 (Microsoft Video 1), asking before overwriting.
InputFilter ReadInputFilter(const IWizardSettings& settings);
void SaveInputFilter(IWizardSettings& settings, InputFilter filter);
int ReadOutputFormatRow(const IWizardSettings& settings);
// An empty FourCC (no row chosen) is not saved.
void SaveOutputFormat(IWizardSettings& settings, OutputFormat format);
// Only the number 1 asks.
bool ReadAskOverwrite(const IWizardSettings& settings);
void SaveAskOverwrite(IWizardSettings& settings, bool ask);

}  // namespace reelkit
