#pragma once

#include "recorders/compressor_table.h"

namespace reelkit {

// Adds the encoders built into the program ("msvc", "mrle") to the table, in that order.
void RegisterBuiltinCompressors(CCompressorTable& table);

}  // namespace reelkit
