#include "engine/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/conversion_failure.h"
#include "common/endian.h"
#include "common/error_codes.h"

namespace reelkit {
namespace {

[[noreturn]] void ThrowReadFailure(FailureCode code) {
  throw CReelkitException(ConvertErrorKind::ReadInputFailed, code);
}

}  // namespace

InputFile::~InputFile() {
  Close();
}

int InputFile::Open(const std::string& path) {
  Close();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return errno;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  if (S_ISDIR(info.st_mode)) {
    ::close(fd);
    return EISDIR;
  }
  fd_ = fd;
  size_ = static_cast<std::uint64_t>(info.st_size);
  position_ = 0;
  return 0;
}

void InputFile::Open(IInputBytes& bytes) {
  Close();
  bytes_ = &bytes;
  size_ = bytes.Size();
  position_ = 0;
}

void InputFile::Close() {
  bytes_ = nullptr;
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

std::size_t InputFile::ReadUpTo(std::span<std::uint8_t> bytes) {
  const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), Remaining()));
  if (bytes_ != nullptr && wanted > 0) {
    std::size_t got = 0;
    if (const int error = bytes_->ReadAt(position_, bytes.first(wanted), got); error != 0) {
      ThrowReadFailure(FailureCode::System(error));
    }
    got = std::min(got, wanted);
    position_ += got;
    return got;
  }
  std::size_t done = 0;
  while (done < wanted) {
    const ssize_t n = ::read(fd_, bytes.data() + done, wanted - done);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      ThrowReadFailure(FailureCode::System(errno));
    }
    if (n == 0) {
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  position_ += done;
  return done;
}

void InputFile::ReadExactly(std::span<std::uint8_t> bytes) {
  if (ReadUpTo(bytes) != bytes.size()) {
    ThrowReadFailure(FailureCode::Fixed(kErrorHandleEof));
  }
}

std::uint32_t InputFile::ReadU32() {
  std::uint8_t bytes[4];
  ReadExactly(bytes);
  return LoadU32LE(bytes);
}

void InputFile::Skip(std::uint64_t count) {
  RequireAvailable(count);
  SeekTo(position_ + count);
}

bool InputFile::HasGrown() const {
  if (bytes_ != nullptr) {
    return bytes_->Size() > size_;
  }
  struct stat info {};
  if (::fstat(fd_, &info) != 0) {
    ThrowReadFailure(FailureCode::System(errno));
  }
  return static_cast<std::uint64_t>(info.st_size) > size_;
}

void InputFile::RequireAvailable(std::uint64_t count) const {
  if (count > Remaining()) {
    ThrowReadFailure(FailureCode::Fixed(kErrorHandleEof));
  }
}

void InputFile::SeekTo(std::uint64_t position) {
  if (bytes_ == nullptr && ::lseek(fd_, static_cast<off_t>(position), SEEK_SET) < 0) {
    ThrowReadFailure(FailureCode::System(errno));
  }
  position_ = position;
}

}  // namespace reelkit
