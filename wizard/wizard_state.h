#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/output_format.h"
#include "i18n/catalog_keys.h"

namespace reelkit {

// What the pages pass to each other and to the conversion worker. Paths are the file system's
// own (UTF-8, "/" separated, case-sensitive). The worker alone uses it while the conversion page
// runs; the user-interface thread touches it before the worker starts and after it has ended.
struct CReelkitWizardState {
  std::map<std::string, std::uint64_t> files;  // source path -> size; the order of conversion
  std::vector<std::u16string> log;
  std::string destinationDir;  // without a trailing "/"
  OutputFormat outputFormat = OutputFormat::ScreenCodec;
  bool askOverwrite = false;
  bool deleteSources = false;
  bool hadErrors = false;
  bool cancelled = false;
  std::uint64_t totalBytes = 0;
};

// One row of the destination page's format list, in the order shown. A codec is shown by its own
// name ("Microsoft RLE (MRLE)"); a row that describes its format in words has a catalog key.
struct OutputFormatRow {
  OutputFormat format;
  std::u16string_view catalogKey;
};

inline constexpr std::array<OutputFormatRow, 4> kOutputFormatRows = {{
    {OutputFormat::ScreenCodec, {}},
    {OutputFormat::MicrosoftRle, {}},
    {OutputFormat::MicrosoftVideo1, {}},
    {OutputFormat::H264Mp4, catalog_keys::kFormatH264},
}};

inline constexpr int kDefaultOutputFormatRow = 2;

}  // namespace reelkit
