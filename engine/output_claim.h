#pragma once

#include <string>

#include "common/conversion_failure.h"

namespace reelkit {

// The output file of one conversion, claimed before anything is converted. The claim follows a
// symbolic link as cp does, accepts only a regular file, holds it open without changing it (an
// existing file keeps its content until the first frame replaces it) and locks it, so that a
// second conversion to the same file is refused while this one runs. The kernel drops the lock
// on any exit, a crash included.
class COutputClaim {
 public:
  // Claims the file at outputPath, creating it empty when nothing is there.
  explicit COutputClaim(const std::string& outputPath);
  // Releases the lock; a file the claim created and nothing wrote to is removed again.
  ~COutputClaim();
  COutputClaim(const COutputClaim&) = delete;
  COutputClaim& operator=(const COutputClaim&) = delete;

  bool IsHeld() const { return fd_ >= 0; }
  // When not held: why, and the system error behind it.
  const OutputRefusal& Refusal() const { return refusal_; }
  int Error() const { return error_; }
  // The claimed file's absolute path with every link resolved: the file that will be written.
  const std::string& Path() const { return path_; }

 private:
  enum class Attempt { Held, Refused, PathChanged };

  Attempt TryClaim(const std::string& outputPath);
  Attempt OpenExisting(const std::string& outputPath);
  Attempt CreateNew(const std::string& outputPath);
  Attempt LockAndCheck(const std::string& outputPath);
  Attempt Refuse(OutputRefusal refusal, int error);
  void Close();

  int fd_ = -1;
  bool created_ = false;
  std::string path_;
  OutputRefusal refusal_;
  int error_ = 0;
};

}  // namespace reelkit
