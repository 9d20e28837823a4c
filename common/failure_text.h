#pragma once

#include <string>

#include "common/conversion_failure.h"
#include "common/failure_explanation.h"

// The English words for what the engine reports as values, for the front ends that speak English
// alone: the console and the GStreamer plugin. The wizard words the same facts from its catalog.
namespace reelkit {

// The words for a failure's number, by what it means: the system's for an errno (passed up the
// pipeline or not), ours for the program's and the pipeline's own numbers. No full stop.
std::string DescribeErrorCode(const FailureCode& code);

// One sentence, with its full stop, stating a fact of ExplainFailure.
std::string EnglishSentence(const CauseStatement& statement);

}  // namespace reelkit
