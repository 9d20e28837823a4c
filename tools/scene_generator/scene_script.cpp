#include "tools/scene_generator/scene_script.h"

#include <charconv>
#include <optional>
#include <utility>

namespace reelkit::scene {
namespace {

constexpr std::size_t kMaxActions = 1'000'000;

struct Line {
  int number;
  std::string_view text;
  std::vector<std::string_view> words;
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::vector<std::string_view> SplitWords(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && IsBlank(text[at])) {
      ++at;
    }
    const std::size_t begin = at;
    while (at < text.size() && !IsBlank(text[at])) {
      ++at;
    }
    if (at > begin) {
      words.push_back(text.substr(begin, at - begin));
    }
  }
  return words;
}

// The text after the first `skip` words, as written (inner blanks kept).
std::string RestOfLine(const Line& line, std::size_t skip) {
  if (line.words.size() <= skip) {
    return {};
  }
  const std::size_t begin = static_cast<std::size_t>(line.words[skip].data() - line.text.data());
  std::string_view rest = line.text.substr(begin);
  while (!rest.empty() && IsBlank(rest.back())) {
    rest.remove_suffix(1);
  }
  std::string text;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '\\' && i + 1 < rest.size() && rest[i + 1] == 'n') {
      text += '\n';
      ++i;
    } else {
      text += rest[i];
    }
  }
  return text;
}

class LineParser {
 public:
  explicit LineParser(const Line& line) : line_(line) {}

  void RequireWords(std::size_t count, const char* usage) const {
    if (line_.words.size() < count) {
      throw SceneScriptError(line_.number, std::string("expected: ") + usage);
    }
  }

  void RequireExactly(std::size_t count, const char* usage) const {
    if (line_.words.size() != count) {
      throw SceneScriptError(line_.number, std::string("expected: ") + usage);
    }
  }

  int Int(std::size_t index) const {
    const std::string_view word = line_.words.at(index);
    int value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size()) {
      throw SceneScriptError(line_.number, "not a whole number: " + std::string(word));
    }
    return value;
  }

  double Seconds(std::size_t index) const {
    const std::string_view word = line_.words.at(index);
    double value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || value < 0 || value > 1e6) {
      throw SceneScriptError(line_.number, "not a number of seconds: " + std::string(word));
    }
    return value;
  }

  recording::PixelLayout Layout(std::size_t index) const {
    const auto layout = recording::PixelLayoutFromText(line_.words.at(index));
    if (!layout) {
      throw SceneScriptError(line_.number, "depth must be 8, 16, 555, 565, 24, 32 or 32bf");
    }
    return *layout;
  }

 private:
  const Line& line_;
};

void CheckScreenSize(int line, int width, int height) {
  if (width < 16 || width > 8192 || height < 16 || height > 8192) {
    throw SceneScriptError(line, "screen size must be 16 to 8192 pixels each way");
  }
}

bool ParseSetting(const Line& line, SceneSettings& settings) {
  const LineParser p(line);
  const std::string_view key = line.words[0];
  if (key == "size") {
    p.RequireExactly(3, "size WIDTH HEIGHT");
    settings.width = p.Int(1);
    settings.height = p.Int(2);
    CheckScreenSize(line.number, settings.width, settings.height);
  } else if (key == "depth") {
    p.RequireExactly(2, "depth 8|16|555|565|24|32|32bf");
    settings.layout = p.Layout(1);
  } else if (key == "interval") {
    p.RequireExactly(2, "interval MILLISECONDS");
    settings.intervalMs = p.Int(1);
    if (settings.intervalMs < 1 || settings.intervalMs > 10'000) {
      throw SceneScriptError(line.number, "interval must be 1 to 10000 ms");
    }
  } else if (key == "compression") {
    p.RequireExactly(2, "compression stored|zlib|lzf");
    const std::string_view method = line.words[1];
    if (method == "stored") {
      settings.compression = recording::CompressionMethod::Stored;
    } else if (method == "zlib") {
      settings.compression = recording::CompressionMethod::Zlib;
    } else if (method == "lzf") {
      settings.compression = recording::CompressionMethod::Lzf;
    } else {
      throw SceneScriptError(line.number, "compression must be stored, zlib or lzf");
    }
  } else if (key == "keyframes") {
    p.RequireExactly(2, "keyframes SECONDS");
    settings.keyFrameSeconds = p.Seconds(1);
  } else if (key == "duration") {
    p.RequireExactly(2, "duration SECONDS");
    settings.durationSeconds = p.Seconds(1);
  } else if (key == "start") {
    p.RequireExactly(2, "start TIMESTAMP");
    settings.start = p.Int(1);
  } else if (key == "seed") {
    p.RequireExactly(2, "seed NUMBER");
    settings.seed = static_cast<std::uint32_t>(p.Int(1));
  } else {
    return false;
  }
  return true;
}

SceneAction ParseAction(const Line& line) {
  const LineParser p(line);
  const std::string_view key = line.words[0];
  SceneAction action;
  action.line = line.number;
  if (key == "window") {
    p.RequireWords(6, "window NAME X Y WIDTH HEIGHT [TITLE]");
    action.kind = SceneActionKind::Window;
    action.name = line.words[1];
    action.x = p.Int(2);
    action.y = p.Int(3);
    action.width = p.Int(4);
    action.height = p.Int(5);
    action.text = RestOfLine(line, 6);
    if (action.width < 120 || action.height < 80) {
      throw SceneScriptError(line.number, "a window needs at least 120 x 80 pixels");
    }
  } else if (key == "type") {
    p.RequireWords(4, "type NAME SECONDS TEXT");
    action.kind = SceneActionKind::Type;
    action.name = line.words[1];
    action.seconds = p.Seconds(2);
    action.text = RestOfLine(line, 3);
  } else if (key == "scroll") {
    p.RequireExactly(4, "scroll NAME LINES SECONDS");
    action.kind = SceneActionKind::Scroll;
    action.name = line.words[1];
    action.count = p.Int(2);
    action.seconds = p.Seconds(3);
  } else if (key == "drag") {
    p.RequireExactly(5, "drag NAME DX DY SECONDS");
    action.kind = SceneActionKind::Drag;
    action.name = line.words[1];
    action.x = p.Int(2);
    action.y = p.Int(3);
    action.seconds = p.Seconds(4);
  } else if (key == "menu") {
    p.RequireExactly(4, "menu NAME ITEMS SECONDS");
    action.kind = SceneActionKind::Menu;
    action.name = line.words[1];
    action.count = p.Int(2);
    action.seconds = p.Seconds(3);
  } else if (key == "point") {
    p.RequireExactly(4, "point X Y SECONDS");
    action.kind = SceneActionKind::Point;
    action.x = p.Int(1);
    action.y = p.Int(2);
    action.seconds = p.Seconds(3);
  } else if (key == "idle") {
    p.RequireExactly(2, "idle SECONDS");
    action.kind = SceneActionKind::Idle;
    action.seconds = p.Seconds(1);
  } else if (key == "focus" || key == "close") {
    p.RequireExactly(2, key == "focus" ? "focus NAME" : "close NAME");
    action.kind = key == "focus" ? SceneActionKind::Focus : SceneActionKind::Close;
    action.name = line.words[1];
  } else if (key == "format") {
    p.RequireExactly(4, "format WIDTH HEIGHT DEPTH");
    action.kind = SceneActionKind::Format;
    action.width = p.Int(1);
    action.height = p.Int(2);
    CheckScreenSize(line.number, action.width, action.height);
    action.layout = p.Layout(3);
  } else if (key == "keyframe") {
    p.RequireExactly(1, "keyframe");
    action.kind = SceneActionKind::KeyFrame;
  } else {
    throw SceneScriptError(line.number, "unknown command: " + std::string(key));
  }
  return action;
}

}  // namespace

SceneScriptError::SceneScriptError(int line, const std::string& message)
    : std::runtime_error("line " + std::to_string(line) + ": " + message), line_(line) {}

SceneScript ParseSceneScript(std::string_view text) {
  SceneScript script;
  struct OpenRepeat {
    int line;
    int count;
    std::size_t firstAction;
  };
  std::vector<OpenRepeat> repeats;
  int number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    Line line{++number, text.substr(0, end), {}};
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    line.words = SplitWords(line.text);
    if (line.words.empty() || line.words[0].front() == '#') {
      continue;
    }
    const LineParser p(line);
    if (line.words[0] == "repeat") {
      p.RequireExactly(2, "repeat COUNT");
      const int count = p.Int(1);
      if (count < 1) {
        throw SceneScriptError(line.number, "repeat needs a count of at least 1");
      }
      repeats.push_back({line.number, count, script.actions.size()});
    } else if (line.words[0] == "end") {
      p.RequireExactly(1, "end");
      if (repeats.empty()) {
        throw SceneScriptError(line.number, "end without repeat");
      }
      const OpenRepeat open = repeats.back();
      repeats.pop_back();
      const std::vector<SceneAction> block(
          script.actions.begin() + static_cast<std::ptrdiff_t>(open.firstAction),
          script.actions.end());
      if (block.size() * static_cast<std::size_t>(open.count) > kMaxActions) {
        throw SceneScriptError(line.number, "the repeated script grows past a million actions");
      }
      for (int i = 1; i < open.count; ++i) {
        script.actions.insert(script.actions.end(), block.begin(), block.end());
      }
    } else if (ParseSetting(line, script.settings)) {
      if (!script.actions.empty()) {
        throw SceneScriptError(line.number, "settings come before the first action");
      }
    } else {
      script.actions.push_back(ParseAction(line));
    }
  }
  if (!repeats.empty()) {
    throw SceneScriptError(repeats.back().line, "repeat without end");
  }
  return script;
}

std::string_view DefaultSceneScript() {
  return R"(# A minute at the desk: notes are typed, a report is read, a menu is used, a window moves.
window report 60 40 760 520 Quarterly report.txt
window notes 420 260 640 420 Notes - Editor
point 700 420 0.8
type notes 6 Call with the customer about the printer queue.\nThe spooler restarts fine.
idle 3
focus report
point 300 300 0.6
scroll report 24 4
idle 2
menu report 4 2.5
idle 2.5
point 560 300 0.5
drag notes -300 120 2
type notes 3 \nNext visit: Thursday.
scroll report -10 1.5
idle 4
point 900 600 1
idle 3
)";
}

}  // namespace reelkit::scene
