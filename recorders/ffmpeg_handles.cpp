#include "recorders/ffmpeg_handles.h"

#include "common/error_codes.h"

namespace reelkit {

namespace {

constexpr const char* kFileProtocol = "file";

}  // namespace

std::string FileUrlOf(const std::string& path) {
  return std::string(kFileProtocol) + ":" + path;
}

int OpenFileForWriting(AVIOContext** out, const std::string& path) {
  CAvOptions options;
  const int error = options.Set("protocol_whitelist", kFileProtocol);
  if (error < 0) {
    return error;
  }
  return avio_open2(out, FileUrlOf(path).c_str(), AVIO_FLAG_WRITE, nullptr, options.Address());
}

std::uint32_t ResultFromAvError(int error) {
  if (error < 0 && error > -0x10000) {
    return ResultOfSystemError(-error);
  }
  return kResultFail;
}

}  // namespace reelkit
