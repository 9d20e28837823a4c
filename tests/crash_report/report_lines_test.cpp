#include "crash_report/report_lines.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <string>

namespace reelkit {
namespace {

struct UptimeCase {
  const char* name;
  std::uint64_t seconds;
  const char* expected;
};

class TimeLineTest : public ::testing::TestWithParam<UptimeCase> {};

TEST_P(TimeLineTest, ShowsEveryNonZeroPartOfTheUptime) {
  ReportText text;
  AppendTimeLine(text, CivilTime{2016, 1, 3, 4, 5, 6}, GetParam().seconds);
  EXPECT_EQ(text.View(),
            std::string("2016-01-03 04:05:06 (up for") + GetParam().expected + ")\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Uptimes, TimeLineTest,
    ::testing::Values(UptimeCase{"BelowOneSecond", 0, ""}, UptimeCase{"Seconds", 59, " 59 seconds"},
                      UptimeCase{"WholeMinute", 60, " 1 minutes"},
                      UptimeCase{"HoursAndSeconds", 3 * 3600 + 7, " 3 hours 7 seconds"},
                      UptimeCase{"Everything", 2 * 86400 + 3600 + 120 + 3,
                                 " 2 days 1 hours 2 minutes 3 seconds"},
                      UptimeCase{"ManyDays", 400 * 86400ULL, " 400 days"}),
    [](const auto& row) { return std::string(row.param.name); });

struct KindCase {
  const char* name;
  CrashCause cause;
  const char* expected;
};

CrashCause Cause(CrashKind kind, MemoryAccess access = MemoryAccess::Unknown, bool known = false,
                 std::uint64_t accessed = 0) {
  CrashCause cause;
  cause.kind = kind;
  cause.instructionAddress = 0x401a2b;
  cause.access = access;
  cause.accessedAddressKnown = known;
  cause.accessedAddress = accessed;
  return cause;
}

class ExceptionLineTest : public ::testing::TestWithParam<KindCase> {};

TEST_P(ExceptionLineTest, NamesTheKindAndTheAddress) {
  ReportText text;
  AppendExceptionLine(text, GetParam().cause);
  EXPECT_EQ(text.View(), std::string(GetParam().expected) + " at 0x401a2b\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ExceptionLineTest,
    ::testing::Values(
        KindCase{"WriteWithAddress",
                 Cause(CrashKind::AccessViolation, MemoryAccess::Write, true, 0),
                 "access violation (write 0x0)"},
        KindCase{"ReadWithAddress",
                 Cause(CrashKind::AccessViolation, MemoryAccess::Read, true, 0xdeadbeef0),
                 "access violation (read 0xdeadbeef0)"},
        KindCase{"ReadWithoutAddress", Cause(CrashKind::AccessViolation, MemoryAccess::Read),
                 "access violation (read)"},
        KindCase{"NoParameters", Cause(CrashKind::AccessViolation), "access violation"},
        KindCase{"BusError", Cause(CrashKind::BusError, MemoryAccess::Read, true, 0x7f0000001000),
                 "bus error (read 0x7f0000001000)"},
        KindCase{"StackOverflow", Cause(CrashKind::StackOverflow), "stack overflow"},
        KindCase{"IllegalInstruction", Cause(CrashKind::IllegalInstruction), "illegal instruction"},
        KindCase{"DivisionByZero", Cause(CrashKind::DivisionByZero), "division by zero"},
        KindCase{"FloatingPoint", Cause(CrashKind::FloatingPointError), "floating-point error"},
        KindCase{"Abort", Cause(CrashKind::Abort), "abort"},
        KindCase{"UncaughtException", Cause(CrashKind::UncaughtException),
                 "microsoft c++ exception"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ExceptionLine, PrintsAHighAddressInFull) {
  ReportText text;
  CrashCause cause = Cause(CrashKind::Abort);
  cause.instructionAddress = 0xffffffff80001234ULL;
  AppendExceptionLine(text, cause);
  EXPECT_EQ(text.View(), "abort at 0xffffffff80001234\r\n");
}

struct SignalCase {
  const char* name;
  FaultSignal signal;
  const char* expected;
};

FaultSignal Fault(int number, int code, std::uint64_t address = 0,
                  MemoryAccess access = MemoryAccess::Unknown,
                  std::uint64_t stackPointer = 0x7ffc00100000) {
  FaultSignal signal;
  signal.number = number;
  signal.code = code;
  signal.faultAddress = address;
  signal.instructionAddress = 0x401a2b;
  signal.stackPointer = stackPointer;
  signal.access = access;
  return signal;
}

class CrashCauseTest : public ::testing::TestWithParam<SignalCase> {};

TEST_P(CrashCauseTest, MapsTheSignalOntoAKind) {
  ReportText text;
  AppendCrashKind(text, CrashCauseFromSignal(GetParam().signal));
  EXPECT_EQ(text.View(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, CrashCauseTest,
    ::testing::Values(
        SignalCase{"NullWrite", Fault(SIGSEGV, SEGV_MAPERR, 0, MemoryAccess::Write),
                   "access violation (write 0x0)"},
        SignalCase{"ProtectedRead", Fault(SIGSEGV, SEGV_ACCERR, 0x401000, MemoryAccess::Read),
                   "access violation (read 0x401000)"},
        SignalCase{"GeneralProtection", Fault(SIGSEGV, SI_KERNEL, 0), "access violation"},
        SignalCase{"SentByKill", Fault(SIGSEGV, SI_USER, 0x1234), "access violation"},
        SignalCase{"PushBelowTheStack",
                   Fault(SIGSEGV, SEGV_MAPERR, 0x7ffc000ffff8, MemoryAccess::Write),
                   "stack overflow"},
        SignalCase{"FarBelowTheStack",
                   Fault(SIGSEGV, SEGV_MAPERR, 0x7ffc00000000, MemoryAccess::Write),
                   "access violation (write 0x7ffc00000000)"},
        SignalCase{"BusError", Fault(SIGBUS, BUS_ADRERR, 0x7f0000002000, MemoryAccess::Read),
                   "bus error (read 0x7f0000002000)"},
        SignalCase{"IllegalOpcode", Fault(SIGILL, ILL_ILLOPN), "illegal instruction"},
        SignalCase{"IntegerDivision", Fault(SIGFPE, FPE_INTDIV), "division by zero"},
        SignalCase{"FloatDivision", Fault(SIGFPE, FPE_FLTDIV), "division by zero"},
        SignalCase{"FloatOverflow", Fault(SIGFPE, FPE_FLTOVF), "floating-point error"},
        SignalCase{"Abort", Fault(SIGABRT, SI_TKILL), "abort"}),
    [](const auto& row) { return std::string(row.param.name); });

struct StackCase {
  const char* name;
  StackLine frame;
  const char* expected;
};

class StackLineTest : public ::testing::TestWithParam<StackCase> {};

TEST_P(StackLineTest, ShowsWhatIsKnown) {
  ReportText text;
  AppendStackLine(text, GetParam().frame);
  EXPECT_EQ(text.View(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, StackLineTest,
    ::testing::Values(
        StackCase{"Complete",
                  {"reelkit", 0x55d0aa, "ConvertFile()", "/src/app/convert.cpp", 42},
                  "\treelkit (0x55d0aa) : ConvertFile() (/src/app/convert.cpp, 42)\r\n"},
        StackCase{
            "NoSource", {"libc.so.6", 0x7f01, "abort", "", 0}, "\tlibc.so.6 (0x7f01) : abort\r\n"},
        StackCase{"UnknownFunctionHidesSource",
                  {"reelkit", 0x10, "", "/src/x.cpp", 7},
                  "\treelkit (0x10) : <unknown function>\r\n"},
        StackCase{"UnknownModule",
                  {"", 0x1, "", "", 0},
                  "\t<unkown module> (0x1) : <unknown function>\r\n"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ReportLines, ThreadSystemAndDumpErrorLines) {
  ReportText text;
  AppendThreadLine(text, 0x1f2e);
  AppendSystemLine(text, {"Linux", "x86_64", "6.1.0-18-amd64", "#1 SMP Debian 6.1.76-1"});
  AppendDumpErrorLine(text, 28);
  EXPECT_EQ(text.View(),
            "thread 0x1f2e \"unnamed\"\r\n"
            "Linux (x86_64) 6.1.0-18-amd64 #1 SMP Debian 6.1.76-1\r\n"
            "WriteCoreDump: 0x1c\r\n");
}

TEST(ReportLines, ReportIsCutAtItsCapacity) {
  ReportText text;
  const std::string longName(300, 'f');
  const StackLine frame{"module", 0x1234, longName, "", 0};
  for (int i = 0; i < 100; ++i) {
    AppendStackLine(text, frame);
  }
  EXPECT_TRUE(text.Truncated());
  EXPECT_EQ(text.Size(), kReportCapacity - 1);
  EXPECT_EQ(std::string(text.CString()).size(), text.Size());
}

}  // namespace
}  // namespace reelkit
