#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace reelkit {

// Text built in place inside a fixed array, usable from a signal handler: nothing allocates, and
// an append that does not fit is cut at the capacity (the text stays terminated).
template <std::size_t Capacity>
class CBoundedText {
 public:
  static_assert(Capacity > 1);

  CBoundedText& Append(std::string_view text) {
    for (const char c : text) {
      if (size_ + 1 >= Capacity) {
        truncated_ = true;
        break;
      }
      data_[size_++] = c;
    }
    data_[size_] = '\0';
    return *this;
  }

  CBoundedText& AppendDecimal(std::uint64_t value, int minDigits = 1) {
    return AppendDigits(value, 10, minDigits);
  }

  // Lower-case digits, no leading zeros, no prefix.
  CBoundedText& AppendHex(std::uint64_t value) { return AppendDigits(value, 16, 1); }

  void Clear() {
    size_ = 0;
    truncated_ = false;
    data_[0] = '\0';
  }

  std::string_view View() const { return {data_, size_}; }
  const char* CString() const { return data_; }
  std::size_t Size() const { return size_; }
  // How many more characters fit.
  std::size_t Room() const { return Capacity - 1 - size_; }
  bool Truncated() const { return truncated_; }

 private:
  CBoundedText& AppendDigits(std::uint64_t value, unsigned base, int minDigits) {
    char digits[24];
    int count = 0;
    do {
      digits[count++] = "0123456789abcdef"[value % base];
      value /= base;
    } while (value != 0 && count < 24);
    while (count < minDigits && count < 24) {
      digits[count++] = '0';
    }
    char ordered[24];
    for (int i = 0; i < count; ++i) {
      ordered[i] = digits[count - 1 - i];
    }
    return Append(std::string_view(ordered, static_cast<std::size_t>(count)));
  }

  char data_[Capacity] = {};
  std::size_t size_ = 0;
  bool truncated_ = false;
};

}  // namespace reelkit
