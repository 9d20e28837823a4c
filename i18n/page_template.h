#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace reelkit {

// What the welcome page's template depends on in the running program.
struct PageEnvironment {
  std::string executablePath;  // the running program's absolute path; empty when unknown
  bool administrator = false;  // running as root
};

PageEnvironment CurrentPageEnvironment();

// The two documents beside the program, as file URLs.
struct DocumentationUrls {
  std::u16string gettingStarted;
  std::u16string manual;
};

// Found only when both documents lie in the program's directory.
std::optional<DocumentationUrls> FindDocumentation(std::string_view executablePath);

// The text with every span from a start marker up to its end marker cut out; the end markers
// stay. A start marker that no end marker follows, and everything after it, stays as well.
std::u16string RemoveSections(std::u16string_view text, std::u16string_view start,
                              std::u16string_view end);

// Fills the product tags of a page template, keeps or drops its conditional sections and names
// the running program where the template says "Reelkit.exe" (its images' "res://" addresses).
std::u16string ExpandPageTemplate(std::u16string_view text, const PageEnvironment& environment);

// A page template the program carries ("splash.html"), up to any NUL; empty when there is none.
std::u16string LoadHtmlResource(std::string_view name);

}  // namespace reelkit
