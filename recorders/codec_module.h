#pragma once

#include <string>

namespace reelkit {

// Loads the codec module at path, calls its DllRegisterServer (which records the module's
// compressors in the process's compressor table) and unloads it again. True when the export was
// found and reported success. The module is loaded again whenever one of its compressors is made.
bool RegisterCodecModuleAt(const std::string& path);

// The path RegisterCodecModule uses: "vqcodec.ax" in the program's private folder, or the bare
// name (found by the library search) when the executable's path is unknown.
std::string CodecModulePath();

}  // namespace reelkit
