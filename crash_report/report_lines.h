#pragma once

// The lines of the crash report. Every function appends one whole line, ending in CR LF, and is
// safe inside a signal handler.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "crash_report/bounded_text.h"
#include "crash_report/civil_time.h"

namespace reelkit {

inline constexpr std::size_t kReportCapacity = 8192;
using ReportText = CBoundedText<kReportCapacity>;

enum class CrashKind {
  AccessViolation,
  BusError,
  StackOverflow,
  IllegalInstruction,
  DivisionByZero,
  FloatingPointError,
  Abort,
  UncaughtException,
};

enum class MemoryAccess { Unknown, Read, Write };

// What went wrong, in the terms the report uses.
struct CrashCause {
  CrashKind kind = CrashKind::Abort;
  std::uint64_t instructionAddress = 0;  // 0 when there is none (an uncaught exception)
  MemoryAccess access = MemoryAccess::Unknown;
  bool accessedAddressKnown = false;
  std::uint64_t accessedAddress = 0;
};

// The fatal signal as the processor and kernel described it.
struct FaultSignal {
  int number = 0;
  int code = 0;                    // si_code
  std::uint64_t faultAddress = 0;  // si_addr
  std::uint64_t instructionAddress = 0;
  std::uint64_t stackPointer = 0;
  MemoryAccess access = MemoryAccess::Unknown;  // known for page faults only
};

CrashCause CrashCauseFromSignal(const FaultSignal& signal);

struct SystemIdentity {
  std::string_view kernel;   // uname sysname
  std::string_view machine;  // uname machine
  std::string_view release;
  std::string_view version;
};

// "2024-03-05 14:07:09 (up for 1 days 2 seconds)"
void AppendTimeLine(ReportText& text, const CivilTime& localTime, std::uint64_t uptimeSeconds);
void AppendProductLine(ReportText& text);
// "Linux (x86_64) 6.1.0-18-amd64 #1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1"
void AppendSystemLine(ReportText& text, const SystemIdentity& system);
// "access violation (write 0x0) at 0x55d0c0ffee12"
void AppendExceptionLine(ReportText& text, const CrashCause& cause);
void AppendCrashKind(ReportText& text, const CrashCause& cause);
void AppendThreadLine(ReportText& text, std::uint64_t threadId);
void AppendDumpErrorLine(ReportText& text, int error);

// One frame: empty module or function names are shown as unknown; the source part needs both a
// function and a file.
struct StackLine {
  std::string_view module;
  std::uint64_t address = 0;
  std::string_view function;
  std::string_view sourceFile;
  int sourceLine = 0;
};
void AppendStackLine(ReportText& text, const StackLine& frame);

}  // namespace reelkit
