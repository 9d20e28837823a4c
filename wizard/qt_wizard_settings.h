#pragma once

#include <QSettings>

#include "wizard/wizard_settings.h"

namespace reelkit {

// The wizard's settings in the key it shares with the technician console: "KestrixTolvan" /
// "Opsdeck" in the user's configuration.
class CQtWizardSettings final : public IWizardSettings {
 public:
  CQtWizardSettings();

  std::optional<std::u16string> ReadText(std::string_view name) const override;
  std::optional<std::uint32_t> ReadNumber(std::string_view name) const override;
  void WriteText(std::string_view name, std::u16string_view text) override;
  void WriteNumber(std::string_view name, std::uint32_t number) override;

 private:
  QSettings settings_;
};

}  // namespace reelkit
