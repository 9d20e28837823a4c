#include "crash_report/report_lines.h"

#include <signal.h>

namespace reelkit {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

// A fault this close to the stack pointer lies in the guard area beyond the stack's end: the
// stack around the pointer is otherwise mapped, so nothing else faults there.
constexpr std::uint64_t kStackOverflowReach = 64 * 1024;

bool IsNearStackPointer(const FaultSignal& signal) {
  return signal.faultAddress + kStackOverflowReach >= signal.stackPointer &&
         signal.faultAddress < signal.stackPointer + kStackOverflowReach;
}

bool CarriesFaultAddress(const FaultSignal& signal) {
  // Signals sent by kill or tgkill carry a sender, not an address.
  return signal.code > 0 && signal.code != SI_KERNEL;
}

CrashCause MemoryFaultCause(const FaultSignal& signal, CrashKind kind) {
  CrashCause cause;
  cause.kind = kind;
  cause.instructionAddress = signal.instructionAddress;
  if (!CarriesFaultAddress(signal)) {
    return cause;
  }
  if (kind == CrashKind::AccessViolation && signal.stackPointer != 0 &&
      IsNearStackPointer(signal)) {
    cause.kind = CrashKind::StackOverflow;
    return cause;
  }
  if (signal.access != MemoryAccess::Unknown) {
    cause.access = signal.access;
    cause.accessedAddressKnown = true;
    cause.accessedAddress = signal.faultAddress;
  }
  return cause;
}

void AppendUptimePart(ReportText& text, std::uint64_t count, std::string_view unit) {
  if (count != 0) {
    text.Append(" ").AppendDecimal(count).Append(unit);
  }
}

}  // namespace

CrashCause CrashCauseFromSignal(const FaultSignal& signal) {
  switch (signal.number) {
    case SIGSEGV:
      return MemoryFaultCause(signal, CrashKind::AccessViolation);
    case SIGBUS:
      return MemoryFaultCause(signal, CrashKind::BusError);
    default:
      break;
  }
  CrashCause cause;
  cause.instructionAddress = signal.instructionAddress;
  switch (signal.number) {
    case SIGILL:
      cause.kind = CrashKind::IllegalInstruction;
      break;
    case SIGFPE:
      cause.kind = (signal.code == FPE_INTDIV || signal.code == FPE_FLTDIV)
                       ? CrashKind::DivisionByZero
                       : CrashKind::FloatingPointError;
      break;
    default:
      cause.kind = CrashKind::Abort;
      break;
  }
  return cause;
}

void AppendTimeLine(ReportText& text, const CivilTime& localTime, std::uint64_t uptimeSeconds) {
  text.AppendDecimal(static_cast<std::uint64_t>(localTime.year), 4)
      .Append("-")
      .AppendDecimal(static_cast<std::uint64_t>(localTime.month), 2)
      .Append("-")
      .AppendDecimal(static_cast<std::uint64_t>(localTime.day), 2)
      .Append(" ")
      .AppendDecimal(static_cast<std::uint64_t>(localTime.hour), 2)
      .Append(":")
      .AppendDecimal(static_cast<std::uint64_t>(localTime.minute), 2)
      .Append(":")
      .AppendDecimal(static_cast<std::uint64_t>(localTime.second), 2)
      .Append(" (up for");
  AppendUptimePart(text, uptimeSeconds / 86400, " days");
  AppendUptimePart(text, uptimeSeconds / 3600 % 24, " hours");
  AppendUptimePart(text, uptimeSeconds / 60 % 60, " minutes");
  AppendUptimePart(text, uptimeSeconds % 60, " seconds");
  text.Append(")").Append(kLineEnd);
}

void AppendProductLine(ReportText& text) {
  text.Append("Kestrix Tolvan Reelkit 8.0.53 (" __DATE__ " " __TIME__ ")").Append(kLineEnd);
}

void AppendSystemLine(ReportText& text, const SystemIdentity& system) {
  text.Append(system.kernel)
      .Append(" (")
      .Append(system.machine)
      .Append(") ")
      .Append(system.release)
      .Append(" ")
      .Append(system.version)
      .Append(kLineEnd);
}

void AppendCrashKind(ReportText& text, const CrashCause& cause) {
  switch (cause.kind) {
    case CrashKind::AccessViolation:
    case CrashKind::BusError:
      text.Append(cause.kind == CrashKind::AccessViolation ? "access violation" : "bus error");
      if (cause.access != MemoryAccess::Unknown) {
        text.Append(cause.access == MemoryAccess::Write ? " (write" : " (read");
        if (cause.accessedAddressKnown) {
          text.Append(" 0x").AppendHex(cause.accessedAddress);
        }
        text.Append(")");
      }
      return;
    case CrashKind::StackOverflow:
      text.Append("stack overflow");
      return;
    case CrashKind::IllegalInstruction:
      text.Append("illegal instruction");
      return;
    case CrashKind::DivisionByZero:
      text.Append("division by zero");
      return;
    case CrashKind::FloatingPointError:
      text.Append("floating-point error");
      return;
    case CrashKind::Abort:
      text.Append("abort");
      return;
    case CrashKind::UncaughtException:
      text.Append("microsoft c++ exception");
      return;
  }
}

void AppendExceptionLine(ReportText& text, const CrashCause& cause) {
  AppendCrashKind(text, cause);
  text.Append(" at 0x").AppendHex(cause.instructionAddress).Append(kLineEnd);
}

void AppendThreadLine(ReportText& text, std::uint64_t threadId) {
  text.Append("thread 0x").AppendHex(threadId).Append(" \"unnamed\"").Append(kLineEnd);
}

void AppendDumpErrorLine(ReportText& text, int error) {
  text.Append("WriteCoreDump: 0x").AppendHex(static_cast<std::uint64_t>(error)).Append(kLineEnd);
}

void AppendStackLine(ReportText& text, const StackLine& frame) {
  text.Append("\t")
      .Append(frame.module.empty() ? std::string_view("<unkown module>") : frame.module)
      .Append(" (0x")
      .AppendHex(frame.address)
      .Append(") : ")
      .Append(frame.function.empty() ? std::string_view("<unknown function>") : frame.function);
  if (!frame.function.empty() && !frame.sourceFile.empty() && frame.sourceLine > 0) {
    text.Append(" (")
        .Append(frame.sourceFile)
        .Append(", ")
        .AppendDecimal(static_cast<std::uint64_t>(frame.sourceLine))
        .Append(")");
  }
  text.Append(kLineEnd);
}

}  // namespace reelkit
