#pragma once

namespace reelkit {

// Installs the crash reporter: fatal signals (segmentation fault, bus error, illegal
// instruction, floating-point error, abort) and std::terminate write a core dump and append a
// text report in a "diag" directory, print two notes and where the files are on standard output,
// and then let the process end as the signal would have ended it. An installed program's
// directory is $XDG_STATE_HOME/reelkit/diag (~/.local/state/reelkit/diag by default); a program run
// from its build tree keeps it beside the executable.
//
// Call it first thing in main. Calling it again does nothing more, except that a thread that
// calls it gets its own alternate signal stack, so that a stack overflow on that thread is
// reported too (the main thread always has one).
void InstallCrashReporter();

}  // namespace reelkit
