#pragma once

#include <cstdint>
#include <string>

#include "common/output_format.h"
#include "common/reelkit_client.h"

namespace reelkit {

// Runs one whole conversion on the calling thread and reports it to the client. True when the
// input was consumed to its end and OnFinish was called.
bool ConvertFile(const std::string& inputPath, const std::string& outputPath, OutputFormat format,
                 IReelkitClient& client);

// The sentence shown under a failed write, for the code the job reported: system errors in the
// words of the system, the pipeline's own codes in ours.
std::string DescribeWriteFailure(std::uint32_t code);

}  // namespace reelkit
