#pragma once

#include <cstdint>
#include <memory>

#include "recorders/compressor.h"

// The contract between the program and a codec module such as "vqcodec.ax". The program exports
// kHostRegisterExport; the module's DllRegisterServer looks it up and records its compressors, each
// under an "FccHandler" text with the name of the module's export that creates it.
namespace reelkit {

inline constexpr const char* kHostRegisterExport = "ReelkitRegisterModuleCompressor";
inline constexpr const char* kModuleRegisterExport = "DllRegisterServer";

extern "C" {
// fccHandler, the module's own path, the name of its factory export; returns 0 or a failure code.
using HostRegisterCompressorFunction = std::uint32_t (*)(const char* fccHandler,
                                                         const char* modulePath,
                                                         const char* factoryExport);
// A module's factory: 0 and the compressor, or a failure code.
using ModuleCreateCompressorFunction = std::uint32_t (*)(std::unique_ptr<ICompressor>* out);
using ModuleRegisterFunction = std::uint32_t (*)();
}

}  // namespace reelkit
