#include "thumbnailer/png_output.h"

#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace reelkit {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// A file made beside its destination; removed on destruction unless it was renamed into place.
class CTemporaryFile {
 public:
  explicit CTemporaryFile(const std::string& destination)
      : path_(destination + ".XXXXXX"), fd_(::mkstemp(path_.data())), made_(fd_ >= 0) {}
  ~CTemporaryFile() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    if (!renamed_ && IsMade()) {
      ::unlink(path_.c_str());
    }
  }
  CTemporaryFile(const CTemporaryFile&) = delete;
  CTemporaryFile& operator=(const CTemporaryFile&) = delete;

  bool IsMade() const { return made_; }
  // Hands the descriptor over to a stream, which closes it from then on.
  FileHandle OpenStream() {
    FileHandle stream(::fdopen(fd_, "wb"));
    if (stream) {
      fd_ = -1;
    }
    return stream;
  }
  int RenameTo(const std::string& destination) {
    if (std::rename(path_.c_str(), destination.c_str()) != 0) {
      return errno;
    }
    renamed_ = true;
    return 0;
  }

 private:
  std::string path_;
  int fd_;
  bool made_;
  bool renamed_ = false;
};

}  // namespace

int WritePngAtomically(const std::string& path, const StillPicture& picture) {
  CTemporaryFile temporary(path);
  if (!temporary.IsMade()) {
    return errno;
  }
  FileHandle stream = temporary.OpenStream();
  if (!stream) {
    return errno;
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = picture.width;
  image.height = picture.height;
  image.format = PNG_FORMAT_RGB;
  const bool encoded =
      png_image_write_to_stdio(&image, stream.get(), 0, picture.rgb.data(), 0, nullptr) != 0;
  png_image_free(&image);
  if (!encoded) {
    return EIO;
  }
  if (std::fclose(stream.release()) != 0) {
    return errno;
  }
  return temporary.RenameTo(path);
}

}  // namespace reelkit
