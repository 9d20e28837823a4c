#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/output_format.h"

namespace reelkit {

// What the pages pass to each other and to the conversion worker. Paths are the file system's
// own (UTF-8, "/" separated, case-sensitive). The worker alone uses it while the conversion page
// runs; the user-interface thread touches it before the worker starts and after it has ended.
struct CReelkitWizardState {
  std::map<std::string, std::uint64_t> files;  // source path -> size; the order of conversion
  std::vector<std::u16string> log;
  std::string destinationDir;  // without a trailing "/"
  OutputFormat outputFormat = OutputFormat::ScreenCodec;
  std::string fourcc;  // "VQSC", "MRLE" or "MSVC", matching outputFormat
  bool askOverwrite = false;
  bool deleteSources = false;
  bool hadErrors = false;
  bool cancelled = false;
  std::uint64_t totalBytes = 0;
};

// One row of the destination page's format list.
struct OutputFormatRow {
  std::u16string_view displayName;
  OutputFormat format;
  std::string_view fourcc;
};

inline constexpr std::array<OutputFormatRow, 3> kOutputFormatRows = {{
    {u"Kestrix Video Encoder (VQSC)", OutputFormat::ScreenCodec, "VQSC"},
    {u"Microsoft RLE (MRLE)", OutputFormat::MicrosoftRle, "MRLE"},
    {u"Microsoft Video 1 (MSVC)", OutputFormat::MicrosoftVideo1, "MSVC"},
}};

inline constexpr int kDefaultOutputFormatRow = 2;

}  // namespace reelkit
