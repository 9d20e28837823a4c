// The thumbnailer's picture search on arbitrary files: detection, both readers' walks, the key
// image search and the decoder, under the budget the thumbnailer runs with.
#include "engine/still_picture.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace reelkit;
  fuzzing::MemoryFile file(data, size);
  StillPicture picture;
  if (!ExtractStillPicture(file.Path(), PictureBudget{}, picture).has_value() &&
      picture.rgb.size() != std::size_t{picture.width} * picture.height * 3) {
    __builtin_trap();
  }
  return 0;
}
