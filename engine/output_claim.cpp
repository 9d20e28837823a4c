#include "engine/output_claim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

namespace reelkit {
namespace {

// A path that keeps changing under us between open and lock is given up after this many tries.
constexpr int kClaimAttempts = 4;
constexpr mode_t kNewFileMode = 0666;  // narrowed by the umask, as any new file is

bool IsSameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

OutputFileType TypeOf(mode_t mode) {
  if (S_ISDIR(mode)) {
    return OutputFileType::Directory;
  }
  if (S_ISCHR(mode)) {
    return OutputFileType::CharacterDevice;
  }
  if (S_ISBLK(mode)) {
    return OutputFileType::BlockDevice;
  }
  if (S_ISFIFO(mode)) {
    return OutputFileType::NamedPipe;
  }
  if (S_ISSOCK(mode)) {
    return OutputFileType::Socket;
  }
  return OutputFileType::Other;
}

std::string ResolvedPath(const std::string& path) {
  const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                             &std::free);
  return resolved ? std::string(resolved.get()) : std::string();
}

}  // namespace

COutputClaim::COutputClaim(const std::string& outputPath) {
  for (int attempt = 0; attempt < kClaimAttempts; ++attempt) {
    if (TryClaim(outputPath) != Attempt::PathChanged) {
      return;
    }
  }
  Refuse({OutputRefusal::Reason::PathKeepsChanging}, EAGAIN);
}

COutputClaim::~COutputClaim() {
  struct stat claimed {};
  struct stat named {};
  // Only while the path still names the file we created, and that file is still empty.
  if (created_ && ::fstat(fd_, &claimed) == 0 && claimed.st_size == 0 &&
      ::stat(path_.c_str(), &named) == 0 && IsSameFile(claimed, named)) {
    ::unlink(path_.c_str());
  }
  Close();
}

COutputClaim::Attempt COutputClaim::TryClaim(const std::string& outputPath) {
  struct stat link {};
  if (::lstat(outputPath.c_str(), &link) != 0) {
    if (errno != ENOENT) {
      return Refuse({OutputRefusal::Reason::CannotCreate}, errno);
    }
    return CreateNew(outputPath);
  }
  struct stat target {};
  if (::stat(outputPath.c_str(), &target) != 0) {
    if (S_ISLNK(link.st_mode) && errno == ENOENT) {
      return Refuse({OutputRefusal::Reason::LinkToNothing}, ENOENT);
    }
    return Refuse({OutputRefusal::Reason::CannotOpen}, errno);
  }
  if (!S_ISREG(target.st_mode)) {
    return Refuse({OutputRefusal::Reason::NotAFile, TypeOf(target.st_mode)},
                  S_ISDIR(target.st_mode) ? EISDIR : EINVAL);
  }
  return OpenExisting(outputPath);
}

// Opened for writing exactly as the file will be written, so the system's own permission rules
// decide (a write-protected file is refused, as cp refuses it), but neither truncated nor created.
COutputClaim::Attempt COutputClaim::OpenExisting(const std::string& outputPath) {
  fd_ = ::open(outputPath.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) {
    if (errno == ENOENT) {
      return Attempt::PathChanged;
    }
    const int error = errno;
    return Refuse({OutputRefusal::Reason::CannotWrite}, error);
  }
  struct stat opened {};
  if (::fstat(fd_, &opened) != 0 || !S_ISREG(opened.st_mode)) {
    const mode_t mode = opened.st_mode;
    Close();
    return Refuse({OutputRefusal::Reason::NotAFile, TypeOf(mode)}, EINVAL);
  }
  return LockAndCheck(outputPath);
}

COutputClaim::Attempt COutputClaim::CreateNew(const std::string& outputPath) {
  fd_ =
      ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, kNewFileMode);
  if (fd_ < 0) {
    if (errno == EEXIST) {
      return Attempt::PathChanged;
    }
    const int error = errno;
    return Refuse({OutputRefusal::Reason::CannotCreate}, error);
  }
  created_ = true;
  return LockAndCheck(outputPath);
}

// A conversion that ends removes the empty file it created, so the path we opened may have lost
// its file by the time the lock is ours: then the claim starts again.
COutputClaim::Attempt COutputClaim::LockAndCheck(const std::string& outputPath) {
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    created_ = false;
    Close();
    if (error == EWOULDBLOCK) {
      return Refuse({OutputRefusal::Reason::BeingWritten}, error);
    }
    return Refuse({OutputRefusal::Reason::CannotLock}, error);
  }
  struct stat claimed {};
  struct stat named {};
  if (::fstat(fd_, &claimed) != 0 || ::stat(outputPath.c_str(), &named) != 0 ||
      !IsSameFile(claimed, named)) {
    created_ = false;
    Close();
    return Attempt::PathChanged;
  }
  path_ = ResolvedPath(outputPath);
  if (path_.empty()) {
    const int error = errno;
    Close();
    return Refuse({OutputRefusal::Reason::CannotResolve}, error);
  }
  return Attempt::Held;
}

COutputClaim::Attempt COutputClaim::Refuse(OutputRefusal refusal, int error) {
  refusal_ = refusal;
  error_ = error;
  return Attempt::Refused;
}

void COutputClaim::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

}  // namespace reelkit
