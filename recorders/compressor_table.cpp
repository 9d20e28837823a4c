#include "recorders/compressor_table.h"

#include <algorithm>

#include "common/error_codes.h"
#include "recorders/encoders/builtin_compressors.h"

namespace reelkit {

void CCompressorTable::Register(CompressorEntry entry) {
  std::lock_guard guard(lock_);
  const auto same = std::find_if(entries_.begin(), entries_.end(), [&](const CompressorEntry& e) {
    return e.registrationKey == entry.registrationKey;
  });
  if (same != entries_.end()) {
    *same = std::move(entry);
  } else {
    entries_.push_back(std::move(entry));
  }
}

std::vector<CompressorEntry> CCompressorTable::Entries() const {
  std::lock_guard guard(lock_);
  return entries_;
}

CCompressorTable& ProcessCompressorTable() {
  static CCompressorTable table;
  static std::once_flag builtInsRegistered;
  std::call_once(builtInsRegistered, [] { RegisterBuiltinCompressors(table); });
  return table;
}

std::uint32_t FccHandlerCode(const std::string& text) {
  if (text.size() > 4) {
    return 0;
  }
  std::uint32_t code = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    code |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[i])) << (8 * i);
  }
  return code;
}

std::uint32_t FindCompressor(const CCompressorTable& table, FourCC fourcc,
                             std::unique_ptr<ICompressor>* out) {
  if (out == nullptr) {
    return kResultInvalidArgument;
  }
  out->reset();
  for (const CompressorEntry& entry : table.Entries()) {
    if (entry.propertyBagResult != 0) {
      return entry.propertyBagResult;
    }
    if (!entry.fccHandler || FccHandlerCode(*entry.fccHandler) != fourcc) {
      continue;
    }
    const std::uint32_t result = entry.create(*out);
    if (result != 0) {
      out->reset();
    }
    return result;
  }
  return kResultFail;
}

std::uint32_t FindCompressor(FourCC fourcc, std::unique_ptr<ICompressor>* out) {
  return FindCompressor(ProcessCompressorTable(), fourcc, out);
}

}  // namespace reelkit
