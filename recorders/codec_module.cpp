#include "recorders/codec_module.h"

#include <dlfcn.h>

#include <memory>

#include "common/error_codes.h"
#include "common/program_layout.h"
#include "recorders/codec_module_abi.h"
#include "recorders/compressor_table.h"

namespace reelkit {

namespace {

constexpr const char* kCodecModuleName = "vqcodec.ax";

struct LibraryCloser {
  void operator()(void* handle) const { dlclose(handle); }
};
using LibraryHandle = std::unique_ptr<void, LibraryCloser>;

LibraryHandle OpenLibrary(const std::string& path) {
  return LibraryHandle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
}

template <typename Function>
Function FindExport(const LibraryHandle& library, const char* name) {
  return reinterpret_cast<Function>(dlsym(library.get(), name));
}

// A module's compressor keeps its module loaded for as long as it lives.
class CModuleCompressor : public ICompressor {
 public:
  CModuleCompressor(std::shared_ptr<void> library, std::unique_ptr<ICompressor> inner)
      : library_(std::move(library)), inner_(std::move(inner)) {}

  std::uint32_t Connect(const VideoMediaType& input, CompressedStreamInfo& output) override {
    return inner_->Connect(input, output);
  }
  std::uint32_t Compress(std::span<const std::uint8_t> sample, CompressedPacket& out) override {
    return inner_->Compress(sample, out);
  }

 private:
  std::shared_ptr<void> library_;       // declared first, so released last
  std::unique_ptr<ICompressor> inner_;  // its code lives in the library
};

CompressorFactory ModuleFactory(std::string modulePath, std::string factoryExport) {
  return [modulePath = std::move(modulePath),
          factoryExport = std::move(factoryExport)](std::unique_ptr<ICompressor>& out) {
    LibraryHandle library = OpenLibrary(modulePath);
    if (!library) {
      return kResultFail;
    }
    const auto create = FindExport<ModuleCreateCompressorFunction>(library, factoryExport.c_str());
    if (create == nullptr) {
      return kResultFail;
    }
    std::unique_ptr<ICompressor> inner;
    const std::uint32_t result = create(&inner);
    if (result != 0 || !inner) {
      return result != 0 ? result : kResultFail;
    }
    out = std::make_unique<CModuleCompressor>(std::shared_ptr<void>(std::move(library)),
                                              std::move(inner));
    return std::uint32_t{0};
  };
}

}  // namespace

std::string CodecModulePath() {
  const ProgramLayout layout = CurrentProgramLayout();
  if (layout.privateDirectory.empty()) {
    return kCodecModuleName;
  }
  return layout.privateDirectory + "/" + kCodecModuleName;
}

bool RegisterCodecModuleAt(const std::string& path) {
  const LibraryHandle library = OpenLibrary(path);
  if (!library) {
    return false;
  }
  const auto registerServer = FindExport<ModuleRegisterFunction>(library, kModuleRegisterExport);
  return registerServer != nullptr && registerServer() == 0;
}

}  // namespace reelkit

// Called by a codec module's DllRegisterServer: the program's side of a compressor registry.
extern "C" __attribute__((visibility("default"))) std::uint32_t ReelkitRegisterModuleCompressor(
    const char* fccHandler, const char* modulePath, const char* factoryExport) {
  if (fccHandler == nullptr || modulePath == nullptr || factoryExport == nullptr) {
    return reelkit::kResultInvalidArgument;
  }
  reelkit::CompressorEntry entry;
  entry.registrationKey = std::string(modulePath) + "#" + factoryExport;
  entry.fccHandler = fccHandler;
  entry.create = reelkit::ModuleFactory(modulePath, factoryExport);
  reelkit::ProcessCompressorTable().Register(std::move(entry));
  return 0;
}
