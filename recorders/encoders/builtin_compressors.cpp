#include "recorders/encoders/builtin_compressors.h"

#include "recorders/encoders/msvideo1_compressor.h"
#include "recorders/encoders/rle_compressor.h"

namespace reelkit {

namespace {

template <typename Compressor>
CompressorEntry BuiltinEntry(const char* fccHandler) {
  CompressorEntry entry;
  entry.registrationKey = std::string("builtin:") + fccHandler;
  entry.fccHandler = fccHandler;
  entry.create = [](std::unique_ptr<ICompressor>& out) {
    out = std::make_unique<Compressor>();
    return std::uint32_t{0};
  };
  return entry;
}

}  // namespace

void RegisterBuiltinCompressors(CCompressorTable& table) {
  table.Register(BuiltinEntry<CMsvideo1Compressor>("msvc"));
  table.Register(BuiltinEntry<CRleCompressor>("mrle"));
}

}  // namespace reelkit
