#include "crash_report/memory_map.h"

namespace reelkit {
namespace {

// A cursor over one maps line; each field read consumes it and the space after it.
class CMapsLineCursor {
 public:
  explicit CMapsLineCursor(std::string_view line) : rest_(line) {}

  bool ReadHex(std::uint64_t& value, char terminator) {
    value = 0;
    std::size_t digits = 0;
    while (!rest_.empty() && rest_.front() != terminator) {
      const int digit = HexDigit(rest_.front());
      if (digit < 0 || digits == 16) {
        return false;
      }
      value = value * 16 + static_cast<std::uint64_t>(digit);
      rest_.remove_prefix(1);
      ++digits;
    }
    if (digits == 0 || rest_.empty()) {
      return false;
    }
    rest_.remove_prefix(1);
    return true;
  }

  bool ReadWord(std::string_view& word) {
    const std::size_t space = rest_.find(' ');
    if (space == 0 || space == std::string_view::npos) {
      return false;
    }
    word = rest_.substr(0, space);
    rest_.remove_prefix(space + 1);
    return true;
  }

  // The inode is the last field before the path; a line of anonymous memory may end with it.
  bool SkipLastField() {
    const std::size_t space = rest_.find(' ');
    if (space == 0 || rest_.empty()) {
      return false;
    }
    rest_.remove_prefix(space == std::string_view::npos ? rest_.size() : space);
    return true;
  }

  std::string_view RestAfterSpaces() {
    const std::size_t start = rest_.find_first_not_of(' ');
    return start == std::string_view::npos ? std::string_view() : rest_.substr(start);
  }

 private:
  static int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
      return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
      return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
      return c - 'A' + 10;
    }
    return -1;
  }

  std::string_view rest_;
};

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

bool ParseMapsLine(std::string_view line, MemoryMapping& mapping) {
  CMapsLineCursor cursor(line);
  std::string_view permissions;
  std::string_view device;
  if (!cursor.ReadHex(mapping.start, '-') || !cursor.ReadHex(mapping.end, ' ') ||
      !cursor.ReadWord(permissions) || permissions.size() != 4 ||
      !cursor.ReadHex(mapping.fileOffset, ' ') || !cursor.ReadWord(device) ||
      !cursor.SkipLastField() || mapping.end <= mapping.start) {
    return false;
  }
  mapping.readable = permissions[0] == 'r';
  mapping.writable = permissions[1] == 'w';
  mapping.executable = permissions[2] == 'x';
  mapping.shared = permissions[3] == 's';
  mapping.path = cursor.RestAfterSpaces();
  return true;
}

bool IsFileBacked(const MemoryMapping& mapping) {
  return StartsWith(mapping.path, "/");
}

DumpPolicy ChooseDumpPolicy(const MemoryMapping& mapping) {
  if (!mapping.readable || mapping.end - mapping.start > kLargestDumpedMapping ||
      mapping.path == "[vvar]" || mapping.path == "[vvar_vclock]" || mapping.path == "[vsyscall]" ||
      StartsWith(mapping.path, "/dev/")) {
    return DumpPolicy::Skip;
  }
  if (mapping.path == "[vdso]") {
    return DumpPolicy::WholeMapping;
  }
  if (IsFileBacked(mapping)) {
    return mapping.shared ? DumpPolicy::Skip : DumpPolicy::PrivateFile;
  }
  return DumpPolicy::ResidentPages;
}

}  // namespace reelkit
