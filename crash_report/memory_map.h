#pragma once

#include <cstdint>
#include <string_view>

namespace reelkit {

// One line of /proc/<pid>/maps.
struct MemoryMapping {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  std::uint64_t fileOffset = 0;
  bool readable = false;
  bool writable = false;
  bool executable = false;
  bool shared = false;
  std::string_view path;  // empty for anonymous memory; "[heap]", "[stack]"... for the kernel's
};

// Parses one line (without its newline). False when the line is not in the kernel's format.
bool ParseMapsLine(std::string_view line, MemoryMapping& mapping);

bool IsFileBacked(const MemoryMapping& mapping);

// How much of a mapping a core dump carries.
enum class DumpPolicy {
  // Nothing: unreadable, kernel-internal or device memory; shared file mappings, whose contents
  // are in the file (and may be huge, like a mapped video); and mappings beyond
  // kLargestDumpedMapping.
  Skip,
  // The pages the process has touched; the rest is left as a hole that reads as zeros, which is
  // what untouched anonymous memory holds. Keeps reserved but unused arenas and stacks cheap.
  ResidentPages,
  // Every byte (the vDSO: small, and debuggers unwind through it).
  WholeMapping,
  // A private file mapping: whole when the process changed any of its pages (relocated data,
  // .data), otherwise only its first page when that holds the ELF header, so a debugger can
  // identify the file and read the rest from it.
  PrivateFile,
};

// Larger mappings are address-space reservations (a sanitizer's shadow memory spans terabytes),
// not data: reading the page table of one alone would take minutes.
inline constexpr std::uint64_t kLargestDumpedMapping = 64ULL << 30;

DumpPolicy ChooseDumpPolicy(const MemoryMapping& mapping);

}  // namespace reelkit
