#pragma once

#include <string>
#include <vector>

#include "wizard/wizard_state.h"

namespace reelkit {

// Where one chosen file of a run goes, decided before the run starts.
struct PlannedOutput {
  std::string source;
  std::string output;          // the video it is converted to
  std::string sharedOutput;    // the output it would share with an earlier file: renamed
  std::string sharedWith;      // that earlier file
  std::string replacedSource;  // a chosen file its output would write over: not converted

  bool IsConverted() const { return replacedSource.empty(); }
};

// Every chosen file in the order of conversion with its output. Outputs are named after the
// source's name alone, so two sources can map to one name: a later one takes the first free
// numbered name instead ("call7_MRLE-2.avi"), so no video of the run replaces another. An output
// that would be one of the chosen files themselves (by name, or by a link to it) is refused for
// that source. Files named the same that existed before the run are left to the overwrite
// question.
std::vector<PlannedOutput> PlanOutputs(const CReelkitWizardState& state);

// The output name with a number before its extension: "x_MRLE.avi", 2 -> "x_MRLE-2.avi".
std::string NumberedOutputPath(const std::string& outputPath, unsigned number);

}  // namespace reelkit
