#pragma once

#include <string_view>

#include "crash_report/report_lines.h"
#include "crash_report/stack_walker.h"

namespace reelkit {

// The helper that turns addresses into stack lines. It runs as a separate program because the
// debug-information reader allocates and opens files, which a crashed process cannot risk.
inline constexpr std::string_view kSymbolizerFileName = "reelkit-symbolize";

// Remembers where the helper lives: in the program's private folder. False when the path does not
// fit.
bool PrepareSymbolizer(std::string_view privateDirectory);

// Starts the helper on the waiting process's addresses, outermost frame first, and appends the
// lines it prints to the report; when they do not all fit, the outermost ones are left out.
// Nothing is appended when the helper is missing, fails, or does not finish in time. Safe in a
// signal handler.
void AppendSymbolizedStack(const StackTrace& trace, ReportText& report);

}  // namespace reelkit
