#pragma once

#include <sys/stat.h>

#include <string>

namespace reelkit {

// What a path named at one moment, links followed: which file, of what type, how large, and when
// it last changed. Comparing two stamps of one path tells whether something wrote to it or put
// another file in its place in between.
struct FileStamp {
  bool exists = false;
  bool regular = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  timespec changed{};

  static FileStamp Of(const std::string& path);

  // The same file, whatever path names it (hard and symbolic links included).
  bool IsSameFileAs(const FileStamp& other) const;
  // The same file, with the same size and times: nothing wrote to it or replaced it.
  bool IsUnchangedSince(const FileStamp& earlier) const;
};

}  // namespace reelkit
