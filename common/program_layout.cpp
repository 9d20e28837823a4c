#include "common/program_layout.h"

#include <filesystem>
#include <system_error>

namespace reelkit {

ProgramLayout ProgramLayoutOf(const std::string& executablePath) {
  const std::filesystem::path executable(executablePath);
  if (!executable.is_absolute() || !executable.has_parent_path()) {
    return {};
  }
  const std::filesystem::path directory = executable.parent_path();
  const std::filesystem::path installedPrivate =
      (directory / REELKIT_PRIVATE_DIRECTORY_FROM_BIN).lexically_normal();
  std::error_code error;
  if (std::filesystem::is_directory(installedPrivate, error)) {
    return {directory.string(), installedPrivate.string(), true};
  }
  return {directory.string(), directory.string(), false};
}

ProgramLayout CurrentProgramLayout() {
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? ProgramLayout{} : ProgramLayoutOf(executable.string());
}

}  // namespace reelkit
