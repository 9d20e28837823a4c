#pragma once

#include <spawn.h>

namespace reelkit::bench {

// The file actions of one posix_spawn call, released with the object.
class CSpawnActions {
 public:
  CSpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~CSpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  CSpawnActions(const CSpawnActions&) = delete;
  CSpawnActions& operator=(const CSpawnActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_{};
};

}  // namespace reelkit::bench
