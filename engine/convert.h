#pragma once

#include <cstdint>
#include <string>

#include "common/output_format.h"
#include "common/reelkit_client.h"

// The conversion engine's one entry for front ends: everything a front end needs to run and
// observe conversions, and nothing of how they are done.
namespace reelkit {

enum class InputKind : std::int32_t {
  AviWithScreenCodec = 0,
  RawRecording = 1,
};

// Classifies an input by its first 128 bytes; the file name plays no part. False when the file
// cannot be opened, is shorter than 128 bytes or is neither kind.
bool DetectInputKind(const std::string& inputPath, InputKind& kind);

// Loads "vqcodec.ax" from the program's private folder and calls its DllRegisterServer, which adds
// the screen codec's compressor that pass-through output needs. Once per process, before the first
// conversion to VQSC; false when the module or its export is missing.
bool RegisterCodecModule();

// Runs one whole conversion on the calling thread and reports it to the client. The output file
// is claimed first: only a regular file that is not the input and that no other conversion is
// writing is accepted. True when the input was consumed to its end and OnFinish was called.
// Never throws: whatever stops the conversion, a cancel aside, reaches the client as exactly one
// OnError.
bool ConvertFile(const std::string& inputPath, const std::string& outputPath, OutputFormat format,
                 IReelkitClient& client);

}  // namespace reelkit
