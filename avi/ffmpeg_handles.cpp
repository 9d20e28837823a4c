#include "avi/ffmpeg_handles.h"

#include "common/error_codes.h"

namespace reelkit {

std::uint32_t ResultFromAvError(int error) {
  if (error < 0 && error > -0x10000) {
    return 0x80070000u | static_cast<std::uint32_t>(-error);
  }
  return kResultFail;
}

}  // namespace reelkit
