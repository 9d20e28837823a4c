// The product's codec module, loaded by path as "vqcodec.ax": registers the "VQSC" compressor with
// the program that loads it.
#include <dlfcn.h>

#include "recorders/codec_module_abi.h"
#include "recorders/encoders/passthrough_compressor.h"
#include "recorders/result_codes.h"

namespace {

constexpr std::uint32_t kResultRegistrationFailed = 0x80040201;
constexpr const char* kFactoryExport = "VqscCreateCompressor";

}  // namespace

extern "C" __attribute__((visibility("default"))) std::uint32_t VqscCreateCompressor(
    std::unique_ptr<reelkit::ICompressor>* out) {
  if (out == nullptr) {
    return reelkit::kResultInvalidArgument;
  }
  *out = std::make_unique<reelkit::CPassThroughCompressor>();
  return 0;
}

extern "C" __attribute__((visibility("default"))) std::uint32_t DllRegisterServer() {
  Dl_info self{};
  if (dladdr(reinterpret_cast<void*>(&VqscCreateCompressor), &self) == 0 ||
      self.dli_fname == nullptr) {
    return kResultRegistrationFailed;
  }
  const auto hostRegister = reinterpret_cast<reelkit::HostRegisterCompressorFunction>(
      dlsym(RTLD_DEFAULT, reelkit::kHostRegisterExport));
  if (hostRegister == nullptr) {
    return kResultRegistrationFailed;
  }
  return hostRegister("VQSC", self.dli_fname, kFactoryExport);
}
