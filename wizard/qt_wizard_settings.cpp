#include "wizard/qt_wizard_settings.h"

namespace reelkit {
namespace {

QString KeyOf(std::string_view name) {
  return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace

CQtWizardSettings::CQtWizardSettings()
    : settings_(QStringLiteral("KestrixTolvan"), QStringLiteral("Opsdeck")) {}

std::optional<std::u16string> CQtWizardSettings::ReadText(std::string_view name) const {
  const QVariant value = settings_.value(KeyOf(name));
  if (value.typeId() != QMetaType::QString) {
    return std::nullopt;
  }
  return value.toString().toStdU16String();
}

std::optional<std::uint32_t> CQtWizardSettings::ReadNumber(std::string_view name) const {
  bool isNumber = false;
  const std::uint32_t number = settings_.value(KeyOf(name)).toUInt(&isNumber);
  return isNumber ? std::optional(number) : std::nullopt;
}

void CQtWizardSettings::WriteText(std::string_view name, std::u16string_view text) {
  settings_.setValue(KeyOf(name), QString::fromStdU16String(std::u16string(text)));
}

void CQtWizardSettings::WriteNumber(std::string_view name, std::uint32_t number) {
  settings_.setValue(KeyOf(name), number);
}

}  // namespace reelkit
