#include "wizard/output_plan.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "common/file_stamp.h"
#include "wizard/wizard_paths.h"

namespace reelkit {
namespace {

// A path as the file it names: its resolved path, and the file itself where one exists, so that
// a link, a hard link or another spelling of the same path counts as the same file.
struct NamedFile {
  std::string resolved;
  FileStamp stamp;

  static NamedFile Of(const std::string& path) {
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    return {error ? path : resolved.string(), FileStamp::Of(path)};
  }
  bool IsSameAs(const NamedFile& other) const {
    return resolved == other.resolved || stamp.IsSameFileAs(other.stamp);
  }
};

class COutputPlanner {
 public:
  explicit COutputPlanner(const CReelkitWizardState& state) : state_(state) {
    for (const auto& entry : state.files) {
      sources_.push_back({entry.first, NamedFile::Of(entry.first)});
    }
  }

  std::vector<PlannedOutput> Plan() {
    std::vector<PlannedOutput> plan;
    for (const Source& source : sources_) {
      plan.push_back(PlanOne(source.path));
    }
    return plan;
  }

 private:
  struct Source {
    std::string path;
    NamedFile file;
  };
  struct Taken {
    std::string source;
    NamedFile file;
  };

  PlannedOutput PlanOne(const std::string& sourcePath) {
    PlannedOutput planned;
    planned.source = sourcePath;
    planned.output = OutputPathFor(sourcePath, state_.destinationDir, state_.outputFormat);
    NamedFile file = NamedFile::Of(planned.output);
    if (const Source* source = ChosenSourceAt(file)) {
      planned.replacedSource = source->path;
      return planned;
    }
    if (const Taken* taken = TakenAt(file)) {
      planned.sharedWith = taken->source;
      planned.sharedOutput = planned.output;
      for (unsigned number = 2; TakenAt(file) != nullptr || ChosenSourceAt(file) != nullptr;
           ++number) {
        planned.output = NumberedOutputPath(planned.sharedOutput, number);
        file = NamedFile::Of(planned.output);
      }
    }
    taken_.push_back({sourcePath, std::move(file)});
    return planned;
  }

  const Source* ChosenSourceAt(const NamedFile& file) const {
    const auto found = std::find_if(sources_.begin(), sources_.end(), [&](const Source& source) {
      return source.file.IsSameAs(file);
    });
    return found == sources_.end() ? nullptr : &*found;
  }
  const Taken* TakenAt(const NamedFile& file) const {
    const auto found = std::find_if(taken_.begin(), taken_.end(),
                                    [&](const Taken& taken) { return taken.file.IsSameAs(file); });
    return found == taken_.end() ? nullptr : &*found;
  }

  const CReelkitWizardState& state_;
  std::vector<Source> sources_;
  std::vector<Taken> taken_;
};

}  // namespace

std::vector<PlannedOutput> PlanOutputs(const CReelkitWizardState& state) {
  return COutputPlanner(state).Plan();
}

std::string NumberedOutputPath(const std::string& outputPath, unsigned number) {
  const std::size_t slash = outputPath.rfind('/');
  const std::size_t dot = outputPath.rfind('.');
  const std::size_t end = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                              ? outputPath.size()
                              : dot;
  std::string numbered = outputPath;
  numbered.insert(end, "-" + std::to_string(number));
  return numbered;
}

}  // namespace reelkit
