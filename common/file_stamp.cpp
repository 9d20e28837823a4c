#include "common/file_stamp.h"

namespace reelkit {
namespace {

bool operator==(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

FileStamp FileStamp::Of(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return {};
  }
  return {true,         S_ISREG(info.st_mode), info.st_dev, info.st_ino,
          info.st_size, info.st_mtim,          info.st_ctim};
}

bool FileStamp::IsSameFileAs(const FileStamp& other) const {
  return exists && other.exists && device == other.device && inode == other.inode;
}

bool FileStamp::IsUnchangedSince(const FileStamp& earlier) const {
  if (!exists || !earlier.exists) {
    return exists == earlier.exists;
  }
  return IsSameFileAs(earlier) && size == earlier.size && modified == earlier.modified &&
         changed == earlier.changed;
}

}  // namespace reelkit
