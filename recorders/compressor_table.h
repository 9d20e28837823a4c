#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/fourcc.h"
#include "recorders/compressor.h"
#include "recorders/result_codes.h"

namespace reelkit {

// Creates an entry's compressor: 0 and the object, or a failure code.
using CompressorFactory = std::function<std::uint32_t(std::unique_ptr<ICompressor>& out)>;

// One registered video compressor, described the way a compressor registry does.
struct CompressorEntry {
  std::string registrationKey;            // who registered it; registering the same key replaces
  std::uint32_t propertyBagResult = 0;    // non-zero: the entry's properties cannot be read
  std::optional<std::string> fccHandler;  // the "FccHandler" text; absent: the property is missing
  CompressorFactory create;
};

// The registered video compressors in enumeration order. Thread-safe.
class CCompressorTable {
 public:
  void Register(CompressorEntry entry);
  std::vector<CompressorEntry> Entries() const;

 private:
  mutable std::mutex lock_;
  std::vector<CompressorEntry> entries_;
};

// The process's table: the built-in encoders first, then whatever codec modules registered.
CCompressorTable& ProcessCompressorTable();

// The code an "FccHandler" text stands for: its first four characters' low bytes, zero-padded; a
// text of more than four characters gives 0. No case folding.
std::uint32_t FccHandlerCode(const std::string& text);

// Walks the table in order: the first entry whose code equals fourcc exactly creates the result.
// 0 when found; 0x80070057 without out; 0x80004005 when nothing matches; a property-bag or
// creation failure code otherwise (an unreadable property bag ends the search).
std::uint32_t FindCompressor(const CCompressorTable& table, FourCC fourcc,
                             std::unique_ptr<ICompressor>* out);
std::uint32_t FindCompressor(FourCC fourcc, std::unique_ptr<ICompressor>* out);

}  // namespace reelkit
