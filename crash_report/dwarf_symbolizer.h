#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>

#include "crash_report/report_lines.h"

struct Dwfl;

namespace reelkit {

// Names the code at addresses of another, live process from its modules' symbol tables and
// debug information. Used by the symbolising helper, never inside a crashed process.
class CDwarfSymbolizer {
 public:
  explicit CDwarfSymbolizer(pid_t process);

  // False when the process's modules could not be listed.
  bool Ready() const { return session_ != nullptr; }

  // Appends the stack line of one frame. A return address is looked up one byte earlier, inside
  // the call that made the frame, so a call at the very end of a function is named correctly.
  void AppendFrame(std::uint64_t address, bool exact, ReportText& text) const;

 private:
  struct SessionDeleter {
    void operator()(Dwfl* session) const;
  };
  std::unique_ptr<Dwfl, SessionDeleter> session_;
};

}  // namespace reelkit
