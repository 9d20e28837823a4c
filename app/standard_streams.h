#pragma once

namespace reelkit {

// A standard stream closed by whoever started the program would hand its number to the next
// file opened, and console text would then be written into a video: each closed one gets
// /dev/null instead. A console reader that went away must not end a conversion and cost the
// video, so a broken pipe is ignored. Call it first thing in main.
void KeepStandardStreamsSafe();

}  // namespace reelkit
