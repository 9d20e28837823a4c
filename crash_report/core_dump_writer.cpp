#include "crash_report/core_dump_writer.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/procfs.h>
#include <sys/user.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "crash_report/memory_map.h"
#include "crash_report/thread_freezer.h"

#if !defined(__x86_64__)
#error "The core dump writer lays out x86-64 registers; other machines need their own layout."
#endif

namespace reelkit {
namespace {

constexpr std::size_t kMaxMappings = 8192;
constexpr std::size_t kMapsTextCapacity = 1 << 20;
constexpr std::size_t kNoteCapacity = 1 << 20;
constexpr std::size_t kFileNoteCapacity = 512 * 1024;
constexpr std::size_t kCopyBufferSize = 64 * 1024;
constexpr std::size_t kPagemapEntriesPerRead = 512;
constexpr std::uint64_t kPagePresent = 1ULL << 63;
constexpr std::uint64_t kPageSwapped = 1ULL << 62;
constexpr std::uint64_t kPageFileOrSharedAnonymous = 1ULL << 61;

// Static storage: nothing may be allocated after a crash.
char mapsText[kMapsTextCapacity];
MemoryMapping mappings[kMaxMappings];
std::uint64_t segmentFileSizes[kMaxMappings];
alignas(8) unsigned char notes[kNoteCapacity];
alignas(8) unsigned char fileNote[kFileNoteCapacity];
alignas(8) unsigned char copyBuffer[kCopyBufferSize];
std::uint64_t pagemapEntries[kPagemapEntriesPerRead];
alignas(8) unsigned char auxiliaryVector[4096];

std::size_t RoundUp(std::size_t value, std::size_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// Owns a descriptor for the length of the dump.
class CFileDescriptor {
 public:
  explicit CFileDescriptor(int fd) : fd_(fd) {}
  ~CFileDescriptor() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  CFileDescriptor(const CFileDescriptor&) = delete;
  CFileDescriptor& operator=(const CFileDescriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

ssize_t ReadWhole(int fd, void* buffer, std::size_t capacity) {
  std::size_t total = 0;
  while (total < capacity) {
    const ssize_t n = ::read(fd, static_cast<char*>(buffer) + total, capacity - total);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      break;
    }
    total += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(total);
}

ssize_t ReadProcFile(const char* path, void* buffer, std::size_t capacity) {
  const CFileDescriptor file(::open(path, O_RDONLY | O_CLOEXEC));
  return file.Get() < 0 ? -1 : ReadWhole(file.Get(), buffer, capacity);
}

// Returns 0 or errno.
int WriteAllAt(int fd, const void* data, std::size_t size, std::uint64_t offset) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, bytes, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return n < 0 ? errno : EIO;
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
  return 0;
}

std::size_t ReadMemoryMap() {
  const ssize_t length = ReadProcFile("/proc/self/maps", mapsText, sizeof mapsText);
  if (length <= 0) {
    return 0;
  }
  std::string_view text(mapsText, static_cast<std::size_t>(length));
  std::size_t count = 0;
  // A list cut by a full buffer ends in a partial line, which the newline test drops.
  for (std::size_t end = text.find('\n'); end != std::string_view::npos && count < kMaxMappings;
       end = text.find('\n')) {
    if (ParseMapsLine(text.substr(0, end), mappings[count]) &&
        mappings[count].start < (1ULL << 63)) {
      ++count;
    }
    text.remove_prefix(end + 1);
  }
  return count;
}

// Calls onEntry(pageIndex, entry) for each page of [start, end); false when pagemap is unreadable.
template <typename OnEntry>
bool ForEachPagemapEntry(int pagemap, std::uint64_t start, std::uint64_t end,
                         std::uint64_t pageSize, OnEntry onEntry) {
  const std::uint64_t pages = (end - start) / pageSize;
  for (std::uint64_t first = 0; first < pages; first += kPagemapEntriesPerRead) {
    const std::uint64_t count =
        pages - first < kPagemapEntriesPerRead ? pages - first : kPagemapEntriesPerRead;
    const std::uint64_t offset = (start / pageSize + first) * sizeof(std::uint64_t);
    const ssize_t n =
        ::pread(pagemap, pagemapEntries, count * sizeof(std::uint64_t), static_cast<off_t>(offset));
    if (n != static_cast<ssize_t>(count * sizeof(std::uint64_t))) {
      return false;
    }
    for (std::uint64_t i = 0; i < count; ++i) {
      if (!onEntry(first + i, pagemapEntries[i])) {
        return true;
      }
    }
  }
  return true;
}

bool HasChangedPrivatePages(int pagemap, const MemoryMapping& mapping, std::uint64_t pageSize) {
  bool changed = false;
  const bool readable = ForEachPagemapEntry(
      pagemap, mapping.start, mapping.end, pageSize, [&](std::uint64_t, std::uint64_t entry) {
        changed = (entry & kPagePresent) != 0 && (entry & kPageFileOrSharedAnonymous) == 0;
        return !changed;
      });
  return changed || !readable;  // without page information, keep everything
}

std::uint64_t SegmentFileSize(int pagemap, const MemoryMapping& mapping, std::uint64_t pageSize) {
  const std::uint64_t size = mapping.end - mapping.start;
  switch (ChooseDumpPolicy(mapping)) {
    case DumpPolicy::Skip:
      return 0;
    case DumpPolicy::ResidentPages:
    case DumpPolicy::WholeMapping:
      return size;
    case DumpPolicy::PrivateFile:
      if (HasChangedPrivatePages(pagemap, mapping, pageSize)) {
        return size;
      }
      return mapping.fileOffset == 0 ? pageSize : 0;
  }
  return 0;
}

// Copies memory to the file; ranges the kernel refuses to read stay holes. Returns 0 or errno.
int CopyMemory(int memory, int out, std::uint64_t address, std::uint64_t length,
               std::uint64_t fileOffset) {
  while (length > 0) {
    const std::size_t chunk = length < kCopyBufferSize ? length : kCopyBufferSize;
    const ssize_t n = ::pread(memory, copyBuffer, chunk, static_cast<off_t>(address));
    if (n > 0) {
      if (const int error = WriteAllAt(out, copyBuffer, static_cast<std::size_t>(n), fileOffset)) {
        return error;
      }
    }
    const std::uint64_t advanced = n > 0 ? static_cast<std::uint64_t>(n) : chunk;
    address += advanced;
    fileOffset += advanced;
    length -= advanced;
  }
  return 0;
}

int CopyResidentPages(int memory, int pagemap, int out, const MemoryMapping& mapping,
                      std::uint64_t fileOffset, std::uint64_t pageSize) {
  int error = 0;
  std::uint64_t runStart = 0;
  std::uint64_t runLength = 0;
  const auto flush = [&] {
    if (runLength > 0 && error == 0) {
      error = CopyMemory(memory, out, mapping.start + runStart * pageSize, runLength * pageSize,
                         fileOffset + runStart * pageSize);
    }
    runLength = 0;
  };
  const bool readable = ForEachPagemapEntry(pagemap, mapping.start, mapping.end, pageSize,
                                            [&](std::uint64_t page, std::uint64_t entry) {
                                              if ((entry & (kPagePresent | kPageSwapped)) != 0) {
                                                if (runLength == 0) {
                                                  runStart = page;
                                                }
                                                ++runLength;
                                              } else {
                                                flush();
                                              }
                                              return error == 0;
                                            });
  flush();
  if (!readable && error == 0) {
    return CopyMemory(memory, out, mapping.start, mapping.end - mapping.start, fileOffset);
  }
  return error;
}

// Appends notes in the "CORE" namespace.
class CNoteBuilder {
 public:
  CNoteBuilder(unsigned char* buffer, std::size_t capacity)
      : buffer_(buffer), capacity_(capacity) {}

  void Add(std::uint32_t type, const void* description, std::size_t descriptionSize) {
    static constexpr char kName[] = "CORE";
    const std::size_t nameSize = RoundUp(sizeof kName, 4);
    const std::size_t total = sizeof(Elf64_Nhdr) + nameSize + RoundUp(descriptionSize, 4);
    if (size_ + total > capacity_) {
      return;
    }
    Elf64_Nhdr header{};
    header.n_namesz = sizeof kName;
    header.n_descsz = static_cast<Elf64_Word>(descriptionSize);
    header.n_type = type;
    unsigned char* at = buffer_ + size_;
    std::memset(at, 0, total);
    std::memcpy(at, &header, sizeof header);
    std::memcpy(at + sizeof header, kName, sizeof kName);
    std::memcpy(at + sizeof header + nameSize, description, descriptionSize);
    size_ += total;
  }

  std::size_t Size() const { return size_; }

 private:
  unsigned char* buffer_;
  std::size_t capacity_;
  std::size_t size_ = 0;
};

user_regs_struct RegistersOf(const ThreadSnapshot& thread) {
  const greg_t* r = thread.registers;
  const auto value = [](greg_t v) { return static_cast<unsigned long long>(v); };
  user_regs_struct regs{};
  regs.r15 = value(r[REG_R15]);
  regs.r14 = value(r[REG_R14]);
  regs.r13 = value(r[REG_R13]);
  regs.r12 = value(r[REG_R12]);
  regs.rbp = value(r[REG_RBP]);
  regs.rbx = value(r[REG_RBX]);
  regs.r11 = value(r[REG_R11]);
  regs.r10 = value(r[REG_R10]);
  regs.r9 = value(r[REG_R9]);
  regs.r8 = value(r[REG_R8]);
  regs.rax = value(r[REG_RAX]);
  regs.rcx = value(r[REG_RCX]);
  regs.rdx = value(r[REG_RDX]);
  regs.rsi = value(r[REG_RSI]);
  regs.rdi = value(r[REG_RDI]);
  regs.orig_rax = ~0ULL;  // not inside a system call
  regs.rip = value(r[REG_RIP]);
  regs.cs = value(r[REG_CSGSFS]) & 0xffff;
  regs.eflags = value(r[REG_EFL]);
  regs.rsp = value(r[REG_RSP]);
  regs.ss = 0x2b;  // the user data segment of every 64-bit Linux process
  regs.fs_base = thread.fsBase;
  return regs;
}

void AddThreadStatus(CNoteBuilder& builder, const ThreadSnapshot& thread, int signalNumber) {
  elf_prstatus status{};
  status.pr_info.si_signo = signalNumber;
  status.pr_cursig = static_cast<short>(signalNumber);
  status.pr_pid = thread.threadId;
  status.pr_ppid = ::getppid();
  status.pr_pgrp = ::getpgrp();
  status.pr_sid = ::getsid(0);
  const user_regs_struct regs = RegistersOf(thread);
  static_assert(sizeof regs == sizeof status.pr_reg);
  std::memcpy(&status.pr_reg, &regs, sizeof regs);
  status.pr_fpvalid = thread.hasFloatingPoint ? 1 : 0;
  builder.Add(NT_PRSTATUS, &status, sizeof status);
}

void AddFloatingPoint(CNoteBuilder& builder, const ThreadSnapshot& thread) {
  if (thread.hasFloatingPoint) {
    static_assert(sizeof thread.floatingPoint == sizeof(elf_fpregset_t));
    builder.Add(NT_FPREGSET, &thread.floatingPoint, sizeof thread.floatingPoint);
  }
}

void AddProcessInfo(CNoteBuilder& builder) {
  elf_prpsinfo info{};
  info.pr_sname = 'R';
  info.pr_uid = ::getuid();
  info.pr_gid = ::getgid();
  info.pr_pid = ::getpid();
  info.pr_ppid = ::getppid();
  info.pr_pgrp = ::getpgrp();
  info.pr_sid = ::getsid(0);
  const ssize_t nameLength =
      ReadProcFile("/proc/self/comm", info.pr_fname, sizeof info.pr_fname - 1);
  if (nameLength > 0 && info.pr_fname[nameLength - 1] == '\n') {
    info.pr_fname[nameLength - 1] = '\0';
  }
  const ssize_t argsLength =
      ReadProcFile("/proc/self/cmdline", info.pr_psargs, sizeof info.pr_psargs - 1);
  for (ssize_t i = 0; i + 1 < argsLength; ++i) {
    if (info.pr_psargs[i] == '\0') {
      info.pr_psargs[i] = ' ';
    }
  }
  builder.Add(NT_PRPSINFO, &info, sizeof info);
}

void AddAuxiliaryVector(CNoteBuilder& builder) {
  const ssize_t length = ReadProcFile("/proc/self/auxv", auxiliaryVector, sizeof auxiliaryVector);
  if (length > 0) {
    builder.Add(NT_AUXV, auxiliaryVector, static_cast<std::size_t>(length));
  }
}

// The mapped files, which debuggers use to find the libraries and to read the file contents the
// dump leaves out: a count, the page size, (start, end, offset in pages) per file, then the names.
void AddMappedFiles(CNoteBuilder& builder, std::size_t mappingCount, std::uint64_t pageSize) {
  std::uint64_t fileCount = 0;
  for (std::size_t i = 0; i < mappingCount; ++i) {
    fileCount += IsFileBacked(mappings[i]) ? 1 : 0;
  }
  const std::size_t headerSize = 2 * sizeof(std::uint64_t);
  const std::size_t rangeSize = 3 * sizeof(std::uint64_t);
  std::size_t namesAt = headerSize + fileCount * rangeSize;
  if (namesAt > kFileNoteCapacity) {
    return;
  }
  std::uint64_t written = 0;
  for (std::size_t i = 0; i < mappingCount; ++i) {
    const MemoryMapping& mapping = mappings[i];
    if (!IsFileBacked(mapping) || namesAt + mapping.path.size() + 1 > kFileNoteCapacity) {
      continue;
    }
    const std::uint64_t range[3] = {mapping.start, mapping.end, mapping.fileOffset / pageSize};
    std::memcpy(fileNote + headerSize + written * rangeSize, range, rangeSize);
    std::memcpy(fileNote + namesAt, mapping.path.data(), mapping.path.size());
    fileNote[namesAt + mapping.path.size()] = '\0';
    namesAt += mapping.path.size() + 1;
    ++written;
  }
  // Ranges of names that did not fit are dropped; close the gap they leave.
  const std::size_t rangesEnd = headerSize + written * rangeSize;
  const std::size_t namesStart = headerSize + fileCount * rangeSize;
  std::memmove(fileNote + rangesEnd, fileNote + namesStart, namesAt - namesStart);
  const std::uint64_t header[2] = {written, pageSize};
  std::memcpy(fileNote, header, headerSize);
  builder.Add(NT_FILE, fileNote, rangesEnd + (namesAt - namesStart));
}

std::size_t BuildNotes(const ThreadSnapshot& crashingThread, const siginfo_t& signalInfo,
                       std::size_t mappingCount, std::uint64_t pageSize) {
  CNoteBuilder builder(notes, sizeof notes);
  // The order the kernel uses: the first thread's status, the process-wide notes, that thread's
  // floating-point registers, then each other thread's pair.
  AddThreadStatus(builder, crashingThread, signalInfo.si_signo);
  AddProcessInfo(builder);
  builder.Add(NT_SIGINFO, &signalInfo, sizeof signalInfo);
  AddAuxiliaryVector(builder);
  AddMappedFiles(builder, mappingCount, pageSize);
  AddFloatingPoint(builder, crashingThread);
  for (int slot = 0; slot < FrozenThreadSlotCount(); ++slot) {
    if (const ThreadSnapshot* thread = FrozenThread(slot)) {
      AddThreadStatus(builder, *thread, signalInfo.si_signo);
      AddFloatingPoint(builder, *thread);
    }
  }
  return builder.Size();
}

Elf64_Ehdr CoreHeader(std::size_t programHeaderCount) {
  Elf64_Ehdr header{};
  std::memcpy(header.e_ident, ELFMAG, SELFMAG);
  header.e_ident[EI_CLASS] = ELFCLASS64;
  header.e_ident[EI_DATA] = ELFDATA2LSB;
  header.e_ident[EI_VERSION] = EV_CURRENT;
  header.e_ident[EI_OSABI] = ELFOSABI_NONE;
  header.e_type = ET_CORE;
  header.e_machine = EM_X86_64;
  header.e_version = EV_CURRENT;
  header.e_phoff = sizeof(Elf64_Ehdr);
  header.e_ehsize = sizeof(Elf64_Ehdr);
  header.e_phentsize = sizeof(Elf64_Phdr);
  header.e_phnum = static_cast<Elf64_Half>(programHeaderCount);
  return header;
}

Elf64_Phdr LoadHeader(const MemoryMapping& mapping, std::uint64_t fileOffset,
                      std::uint64_t fileSize, std::uint64_t pageSize) {
  Elf64_Phdr header{};
  header.p_type = PT_LOAD;
  header.p_flags = (mapping.readable ? PF_R : 0) | (mapping.writable ? PF_W : 0) |
                   (mapping.executable ? PF_X : 0);
  header.p_offset = fileOffset;
  header.p_vaddr = mapping.start;
  header.p_filesz = fileSize;
  header.p_memsz = mapping.end - mapping.start;
  header.p_align = pageSize;
  return header;
}

int WriteSegment(int memory, int pagemap, int out, const MemoryMapping& mapping,
                 std::uint64_t fileOffset, std::uint64_t fileSize, std::uint64_t pageSize) {
  if (fileSize == 0) {
    return 0;
  }
  if (ChooseDumpPolicy(mapping) == DumpPolicy::ResidentPages && pagemap >= 0) {
    return CopyResidentPages(memory, pagemap, out, mapping, fileOffset, pageSize);
  }
  return CopyMemory(memory, out, mapping.start, fileSize, fileOffset);
}

}  // namespace

int WriteCoreDump(int fd, const ThreadSnapshot& crashingThread, const siginfo_t& signalInfo) {
  const auto pageSize = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
  const std::size_t mappingCount = ReadMemoryMap();
  const CFileDescriptor memory(::open("/proc/self/mem", O_RDONLY | O_CLOEXEC));
  const CFileDescriptor pagemap(::open("/proc/self/pagemap", O_RDONLY | O_CLOEXEC));
  if (memory.Get() < 0) {
    return errno;
  }
  for (std::size_t i = 0; i < mappingCount; ++i) {
    segmentFileSizes[i] = SegmentFileSize(pagemap.Get(), mappings[i], pageSize);
  }
  const std::size_t noteSize = BuildNotes(crashingThread, signalInfo, mappingCount, pageSize);

  const std::size_t programHeaderCount = mappingCount + 1;
  const std::uint64_t notesOffset = sizeof(Elf64_Ehdr) + programHeaderCount * sizeof(Elf64_Phdr);
  const Elf64_Ehdr elfHeader = CoreHeader(programHeaderCount);
  if (const int error = WriteAllAt(fd, &elfHeader, sizeof elfHeader, 0)) {
    return error;
  }
  Elf64_Phdr noteHeader{};
  noteHeader.p_type = PT_NOTE;
  noteHeader.p_offset = notesOffset;
  noteHeader.p_filesz = noteSize;
  noteHeader.p_align = 4;
  if (const int error = WriteAllAt(fd, &noteHeader, sizeof noteHeader, elfHeader.e_phoff)) {
    return error;
  }
  if (const int error = WriteAllAt(fd, notes, noteSize, notesOffset)) {
    return error;
  }

  std::uint64_t dataOffset = RoundUp(notesOffset + noteSize, pageSize);
  for (std::size_t i = 0; i < mappingCount; ++i) {
    const Elf64_Phdr load = LoadHeader(mappings[i], dataOffset, segmentFileSizes[i], pageSize);
    const std::uint64_t headerOffset = elfHeader.e_phoff + (i + 1) * sizeof(Elf64_Phdr);
    if (const int error = WriteAllAt(fd, &load, sizeof load, headerOffset)) {
      return error;
    }
    if (const int error = WriteSegment(memory.Get(), pagemap.Get(), fd, mappings[i], dataOffset,
                                       segmentFileSizes[i], pageSize)) {
      return error;
    }
    dataOffset += segmentFileSizes[i];
  }
  // Holes at the end still belong to the file.
  return ::ftruncate(fd, static_cast<off_t>(dataOffset)) == 0 ? 0 : errno;
}

}  // namespace reelkit
