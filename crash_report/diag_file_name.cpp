#include "crash_report/diag_file_name.h"

#include <cstdint>

namespace reelkit {
namespace {

constexpr std::string_view kDiagDirectory = "diag";
constexpr std::string_view kDefaultStateHome = "/.local/state";
constexpr std::string_view kStateDiagDirectory = "/reelkit/diag";

bool IsAbsolute(std::string_view path) {
  return !path.empty() && path.front() == '/';
}

std::string_view WithoutTrailingSlashes(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') {
    path.remove_suffix(1);
  }
  return path;
}

// The base name without its extension. Only a dot inside the file name starts an extension: a
// dot in a directory name ("/home/tech/.local/bin/reelkit") or a leading dot is not one.
std::string_view StemOf(std::string_view fileName) {
  const std::size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos || dot == 0) {
    return fileName;
  }
  return fileName.substr(0, dot);
}

void AppendTwoDigits(DiagPath& text, int value) {
  text.AppendDecimal(static_cast<std::uint64_t>(value), 2);
}

}  // namespace

bool MakeDiagDirectoryName(std::string_view executablePath, DiagPath& directory) {
  const std::size_t slash = executablePath.rfind('/');
  if (slash == std::string_view::npos) {
    return false;
  }
  directory.Clear();
  directory.Append(executablePath.substr(0, slash + 1)).Append(kDiagDirectory);
  return !directory.Truncated();
}

bool MakeStateDiagDirectoryName(std::string_view stateHome, std::string_view home,
                                DiagPath& directory) {
  directory.Clear();
  if (IsAbsolute(stateHome)) {
    directory.Append(WithoutTrailingSlashes(stateHome));
  } else if (IsAbsolute(home)) {
    directory.Append(WithoutTrailingSlashes(home)).Append(kDefaultStateHome);
  } else {
    return false;
  }
  directory.Append(kStateDiagDirectory);
  return !directory.Truncated();
}

bool MakeDiagFileName(std::string_view directory, std::string_view executablePath,
                      const CivilTime& localTime, std::string_view extension, DiagPath& fileName) {
  const std::size_t slash = executablePath.rfind('/');
  const std::string_view executableName =
      slash == std::string_view::npos ? executablePath : executablePath.substr(slash + 1);
  fileName.Clear();
  fileName.Append(directory).Append("/").Append(StemOf(executableName)).Append("-0053-");
  fileName.AppendDecimal(static_cast<std::uint64_t>(localTime.year), 4);
  AppendTwoDigits(fileName, localTime.month);
  AppendTwoDigits(fileName, localTime.day);
  fileName.Append("-");
  AppendTwoDigits(fileName, localTime.hour);
  AppendTwoDigits(fileName, localTime.minute);
  AppendTwoDigits(fileName, localTime.second);
  fileName.Append(extension);
  return !fileName.Truncated();
}

}  // namespace reelkit
