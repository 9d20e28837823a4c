#include "app/convert_file.h"

#include "app/input_detection.h"

#include <cstdio>

namespace reelkit {

bool ConvertFile(const std::string& inputPath, const std::string& /*outputPath*/,
                 OutputFormat /*format*/, IReelkitClient& client) {
  InputKind kind{};
  if (!DetectInputKind(inputPath, kind)) {
    client.OnError(ConvertErrorKind::InvalidInputFormat, 0, {});
    return false;
  }
  // The conversion engine lands next; until then a recognised input is reported honestly.
  client.OnStart(inputPath);
  std::printf("The conversion engine is not built yet (input recognised as %s).\n",
              kind == InputKind::RawRecording ? "a raw recording" : "an AVI with the screen codec");
  return false;
}

}  // namespace reelkit
