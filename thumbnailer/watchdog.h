#pragma once

#include <chrono>

namespace reelkit {

// Exit status of a thumbnailer run that the watchdog ended.
inline constexpr int kExitStatusTimedOut = 1;

// Ends the process with kExitStatusTimedOut once limit has passed, wherever it is: the decoding
// budget is only looked at between records, and a single hostile record can ask for far more
// work than a file manager will wait for. Nothing has been written by then, so nothing is left.
void ArmWatchdog(std::chrono::seconds limit);

// Called once the picture is in hand, before any file is made.
void DisarmWatchdog();

}  // namespace reelkit
