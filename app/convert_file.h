#pragma once

#include <string>

#include "common/output_format.h"
#include "common/reelkit_client.h"

namespace reelkit {

// Runs one whole conversion on the calling thread and reports it to the client. True when the
// input was consumed to its end and OnFinish was called.
bool ConvertFile(const std::string& inputPath, const std::string& outputPath, OutputFormat format,
                 IReelkitClient& client);

}  // namespace reelkit
