#pragma once

#include <cstddef>
#include <cstdint>

namespace reelkit {

// The storage behind a byte buffer. Small blocks come from the heap. Picture-sized ones come
// straight from the system as whole pages: those are zero already, so a zeroed buffer costs no
// pass of writes, and they may be backed by huge pages, which cuts the page faults and TLB misses
// of the buffers every frame streams through.
class CByteStorage {
 public:
  CByteStorage() = default;
  // Throws std::bad_alloc when the system has no room.
  CByteStorage(std::size_t size, bool zeroed);
  CByteStorage(CByteStorage&& other) noexcept;
  CByteStorage& operator=(CByteStorage&& other) noexcept;
  CByteStorage(const CByteStorage&) = delete;
  CByteStorage& operator=(const CByteStorage&) = delete;
  ~CByteStorage();

  std::uint8_t* get() const { return bytes_; }

  // How many storages this process has made, so that tests can tell that a steady stream makes
  // none.
  static std::uint64_t MadeSoFar();

 private:
  void Free();

  std::uint8_t* bytes_ = nullptr;  // owned: freed as its origin requires
  std::size_t mappedSize_ = 0;     // non-zero for pages from the system
};

}  // namespace reelkit
