#pragma once

namespace reelkit {

// SIGINT, SIGTERM and SIGHUP ask the running conversion to stop as a cancel does, so that the
// file written so far is completed; a second such signal ends the process at once. A signal that
// was ignored when the program started (nohup, a background job) stays ignored.
void InstallInterruptionHandlers();

// The signal that asked the conversion to stop, or 0.
int InterruptingSignal();

}  // namespace reelkit
