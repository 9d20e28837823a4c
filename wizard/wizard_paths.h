#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/output_format.h"

namespace reelkit {

// The folder part of a path: the text before its last "/".
std::string FolderOf(std::string_view path);

// The folder all the paths lie in; empty when they lie in different folders.
std::string CommonFolder(const std::vector<std::string>& paths);

// The destination as the user chose it, without trailing "/" ("/" alone becomes empty).
std::string WithoutTrailingSeparators(std::string_view path);

// Where a source is converted to: the destination, the source's file name without its extension
// (from the name's last "."), "_", the format's name and its file extension.
std::string OutputPathFor(std::string_view sourcePath, std::string_view destinationDir,
                          OutputFormat format);

// A byte count for the review page: "1023 Bytes", "1 KBytes", "1,205,632 KBytes".
std::u16string FormatSizeText(std::uint64_t bytes);

}  // namespace reelkit
