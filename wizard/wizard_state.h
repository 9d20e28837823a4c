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
  std::string fourcc;  // "VQSC", "MRLE", "MSVC" or "H264", matching outputFormat
  bool askOverwrite = false;
  bool deleteSources = false;
  bool hadErrors = false;
  bool cancelled = false;
  std::uint64_t totalBytes = 0;
};

// One row of the destination page's format list. A codec's own name is shown as it is; a row
// that describes its format in words has a catalog key for them instead.
struct OutputFormatRow {
  std::u16string_view displayName;
  std::u16string_view catalogKey;
  OutputFormat format;
  std::string_view fourcc;
};

inline constexpr std::array<OutputFormatRow, 4> kOutputFormatRows = {{
    {u"Kestrix Video Encoder (VQSC)", {}, OutputFormat::ScreenCodec, "VQSC"},
    {u"Microsoft RLE (MRLE)", {}, OutputFormat::MicrosoftRle, "MRLE"},
    {u"Microsoft Video 1 (MSVC)", {}, OutputFormat::MicrosoftVideo1, "MSVC"},
    {{}, catalog_keys::kFormatH264, OutputFormat::H264Mp4, "H264"},
}};

inline constexpr int kDefaultOutputFormatRow = 2;

}  // namespace reelkit
