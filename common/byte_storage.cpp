#include "common/byte_storage.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// Under the address sanitizer every block comes from the heap, where overruns are caught.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define REELKIT_HEAP_ONLY 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define REELKIT_HEAP_ONLY 1
#endif
#if defined(__linux__) && !defined(REELKIT_HEAP_ONLY)
#define REELKIT_PAGES_FROM_SYSTEM 1
#endif

namespace reelkit {

namespace {
std::atomic<std::uint64_t> storagesMade{0};
}  // namespace

#if defined(REELKIT_PAGES_FROM_SYSTEM)
namespace {

// Below this the heap serves better: a system mapping costs a call to make and one to free.
constexpr std::size_t kPagesFromSystem = std::size_t{1} << 20;
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kSmallPage = 4096;

// Maps size bytes starting at a huge-page boundary, so that every whole huge page of the block
// can be one; the slack mapped for the alignment is given back at once.
void* MapAlignedPages(std::size_t size) {
  const std::size_t mapped = size + kHugePage;
  void* pages = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) {
    throw std::bad_alloc();
  }
  const auto start = reinterpret_cast<std::uintptr_t>(pages);
  const std::uintptr_t aligned = (start + kHugePage - 1) & ~(std::uintptr_t{kHugePage} - 1);
  const std::size_t head = aligned - start;
  const std::size_t tail = mapped - head - size;
  if (head != 0) {
    ::munmap(pages, head);
  }
  if (tail != 0) {
    ::munmap(reinterpret_cast<void*>(aligned + size), tail);
  }
  return reinterpret_cast<void*>(aligned);
}

}  // namespace
#endif

CByteStorage::CByteStorage(std::size_t size, bool zeroed) {
  storagesMade.fetch_add(1, std::memory_order_relaxed);
#if defined(REELKIT_PAGES_FROM_SYSTEM)
  if (size >= kPagesFromSystem) {
    if (size > SIZE_MAX - kHugePage - kSmallPage) {
      throw std::bad_alloc();
    }
    size = (size + kSmallPage - 1) & ~(kSmallPage - 1);
    void* pages = MapAlignedPages(size);
    // Only advice: where huge pages are off or scarce, small ones serve as before.
    ::madvise(pages, size, MADV_HUGEPAGE);
    bytes_ = static_cast<std::uint8_t*>(pages);
    mappedSize_ = size;
    return;
  }
#endif
  void* bytes = zeroed ? std::calloc(size == 0 ? 1 : size, 1) : std::malloc(size == 0 ? 1 : size);
  if (bytes == nullptr) {
    throw std::bad_alloc();
  }
  bytes_ = static_cast<std::uint8_t*>(bytes);
}

CByteStorage::CByteStorage(CByteStorage&& other) noexcept
    : bytes_(std::exchange(other.bytes_, nullptr)),
      mappedSize_(std::exchange(other.mappedSize_, 0)) {}

CByteStorage& CByteStorage::operator=(CByteStorage&& other) noexcept {
  if (this != &other) {
    Free();
    bytes_ = std::exchange(other.bytes_, nullptr);
    mappedSize_ = std::exchange(other.mappedSize_, 0);
  }
  return *this;
}

std::uint64_t CByteStorage::MadeSoFar() {
  return storagesMade.load(std::memory_order_relaxed);
}

CByteStorage::~CByteStorage() {
  Free();
}

void CByteStorage::Free() {
  if (bytes_ == nullptr) {
    return;
  }
#if defined(REELKIT_PAGES_FROM_SYSTEM)
  if (mappedSize_ != 0) {
    ::munmap(bytes_, mappedSize_);
    bytes_ = nullptr;
    mappedSize_ = 0;
    return;
  }
#endif
  std::free(bytes_);
  bytes_ = nullptr;
}

}  // namespace reelkit
