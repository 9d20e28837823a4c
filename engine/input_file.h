#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace reelkit {

// Bytes an InputFile reads from something that is not a file it opens itself: the element upstream
// of a media framework's demuxer, for one. Called on the thread that reads the InputFile.
class IInputBytes {
 public:
  virtual ~IInputBytes() = default;
  // The length the bytes have now.
  virtual std::uint64_t Size() = 0;
  // Reads up to bytes.size() bytes from offset and sets got to their count, fewer only where the
  // bytes end. Returns 0, or the errno of a read that failed.
  virtual int ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes, std::size_t& got) = 0;
};

// An input file opened for reading, read strictly forwards. Read failures throw
// CReelkitException(ReadInputFailed, errno); a read that ends early throws it with 38. Reads never
// pass the size the file had when it was opened: a file that is still being written is read as it
// stood then.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Returns 0 or the errno of the failed open. Directories are refused with EISDIR.
  int Open(const std::string& path);
  // Reads bytes, which must outlive the reading, as the file; never fails.
  void Open(IInputBytes& bytes);
  void Close();

  std::uint64_t Size() const { return size_; }
  std::uint64_t Position() const { return position_; }
  // Bytes left before the size at opening.
  std::uint64_t Remaining() const { return size_ - std::min(size_, position_); }
  // True when the file is now longer than when it was opened: something is still writing it.
  bool HasGrown() const;

  // Reads exactly bytes.size() bytes; a count of 0 reads nothing.
  void ReadExactly(std::span<std::uint8_t> bytes);
  std::uint32_t ReadU32();
  // Reads up to bytes.size() bytes and returns how many arrived; only a failed read throws.
  std::size_t ReadUpTo(std::span<std::uint8_t> bytes);
  // Moves forwards; passing the end of the file is a short read.
  void Skip(std::uint64_t count);
  // Throws the short-read failure (38) at once when fewer than count bytes are left, so a length
  // taken from the file is checked against it before anything is allocated for it.
  void RequireAvailable(std::uint64_t count) const;
  void SeekTo(std::uint64_t position);

 private:
  int fd_ = -1;
  IInputBytes* bytes_ = nullptr;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;
};

}  // namespace reelkit
