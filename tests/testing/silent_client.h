#pragma once

#include "common/reelkit_client.h"

namespace reelkit::testing {

// Observes a conversion without a word and never asks it to stop.
class SilentClient final : public IReelkitClient {
 public:
  void OnStart(const std::string&) override {}
  void OnFinish(const ConversionStatistics&) override {}
  void OnError(const ConversionFailure&) override {}
  void OnProgress(double) override {}
  bool IsCancelRequested() override { return false; }
};

}  // namespace reelkit::testing
