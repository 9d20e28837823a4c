#include "crash_report/dwarf_symbolizer.h"

#include <cxxabi.h>
#include <elfutils/libdwfl.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace reelkit {
namespace {

const Dwfl_Callbacks kProcessCallbacks = {
    .find_elf = dwfl_linux_proc_find_elf,
    .find_debuginfo = dwfl_standard_find_debuginfo,
    .section_address = nullptr,
    .debuginfo_path = nullptr,
};

std::string_view BaseName(const char* path) {
  const std::string_view text(path);
  const std::size_t slash = text.rfind('/');
  return slash == std::string_view::npos ? text : text.substr(slash + 1);
}

struct FreeDeleter {
  void operator()(char* text) const { std::free(text); }
};

std::string Demangle(const char* symbol) {
  int status = 0;
  const std::unique_ptr<char, FreeDeleter> demangled(
      abi::__cxa_demangle(symbol, nullptr, nullptr, &status));
  return status == 0 && demangled ? std::string(demangled.get()) : std::string(symbol);
}

}  // namespace

void CDwarfSymbolizer::SessionDeleter::operator()(Dwfl* session) const {
  dwfl_end(session);
}

CDwarfSymbolizer::CDwarfSymbolizer(pid_t process) {
  std::unique_ptr<Dwfl, SessionDeleter> session(dwfl_begin(&kProcessCallbacks));
  if (!session) {
    return;
  }
  dwfl_report_begin(session.get());
  const int reported = dwfl_linux_proc_report(session.get(), process);
  if (dwfl_report_end(session.get(), nullptr, nullptr) != 0 || reported != 0) {
    return;
  }
  session_ = std::move(session);
}

void CDwarfSymbolizer::AppendFrame(std::uint64_t address, bool exact, ReportText& text) const {
  const Dwarf_Addr lookup = exact || address == 0 ? address : address - 1;
  Dwfl_Module* module = dwfl_addrmodule(session_.get(), lookup);
  StackLine line;
  line.address = address;
  std::string function;
  if (module != nullptr) {
    if (const char* name = dwfl_module_info(module, nullptr, nullptr, nullptr, nullptr, nullptr,
                                            nullptr, nullptr)) {
      line.module = BaseName(name);
    }
    GElf_Off offset = 0;
    GElf_Sym symbol{};
    if (const char* name =
            dwfl_module_addrinfo(module, lookup, &offset, &symbol, nullptr, nullptr, nullptr)) {
      function = Demangle(name);
      line.function = function;
    }
    if (Dwfl_Line* source = dwfl_module_getsrc(module, lookup)) {
      int lineNumber = 0;
      if (const char* file =
              dwfl_lineinfo(source, nullptr, &lineNumber, nullptr, nullptr, nullptr)) {
        line.sourceFile = file;
        line.sourceLine = lineNumber;
      }
    }
  }
  AppendStackLine(text, line);
}

}  // namespace reelkit
