#include "i18n/page_template.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <utility>

#include "i18n/embedded_resources.h"
#include "i18n/product_info.h"
#include "i18n/program_utf8.h"
#include "i18n/replace_all.h"

namespace reelkit {
namespace {

constexpr std::string_view kManualName = "Kestrix Tolvan Reelkit_manual.pdf";
constexpr std::string_view kGettingStartedName = "Kestrix Tolvan Reelkit_gettingstarted.pdf";

struct Section {
  std::u16string_view start;
  std::u16string_view end;
};

constexpr Section kRunningSection{u"<!--VQISRUNNING//-->", u"<!--ENDVQISRUNNING//-->"};
constexpr Section kDocsFoundSection{u"<!--DOCSFOUND//-->", u"<!--ENDDOCSFOUND//-->"};
constexpr Section kDocsNotFoundSection{u"<!--DOCSNOTFOUND//-->", u"<!--ENDDOCSNOTFOUND//-->"};
constexpr Section kAdminSection{u"<!--IFWIN9XORADMIN//-->", u"<!--ENDIFWIN9XORADMIN//-->"};
constexpr Section kNotAdminSection{u"<!--IFNOTWIN9XORADMIN//-->", u"<!--ENDIFNOTWIN9XORADMIN//-->"};

std::u16string BuildStamp() {
  return DecodeProgramUtf8(__DATE__ " " __TIME__);
}

void ReplaceProductTags(std::u16string& page) {
  const std::pair<std::u16string_view, std::u16string> tags[] = {
      {u"<!BUILD!>", BuildStamp()},
      {u"<!VERSION!>", std::u16string(kProductVersionText)},
      {u"<!PRODUCT!>", std::u16string(kProductDisplayName)},
      {u"&PRODUCTNAME&", std::u16string(kProductDisplayName)},
      {u"%PRODUCTNAME", std::u16string(kProductDisplayName)},
      {u"<!LINK!>", std::u16string(kProductWebAddress)},
      {u"%LINK", std::u16string(kProductWebAddress)},
      {u"<!LOGO!>", std::u16string(kProductLogo)},
      {u"%KSXHOME", std::u16string(kProductWebAddress)},
      {u"<!KSXHOME!>", std::u16string(kProductWebAddress)},
      {u"<!COPYRIGHT!>", std::u16string(kProductCopyright)},
      {u"&COPYRIGHT&", std::u16string(kProductCopyright)},
      {u"<?vqtmpl?>", std::u16string()},
  };
  for (const auto& [tag, value] : tags) {
    page = ReplaceAll(page, tag, value);
  }
}

// Shows a section: its markers go, its content stays.
void KeepSection(std::u16string& page, const Section& section) {
  page = ReplaceAll(page, section.start, u"");
  page = ReplaceAll(page, section.end, u"");
}

void DropSection(std::u16string& page, const Section& section) {
  page = RemoveSections(page, section.start, section.end);
}

void ChooseDocumentationSections(std::u16string& page, std::string_view executablePath) {
  if (const auto documents = FindDocumentation(executablePath)) {
    KeepSection(page, kDocsFoundSection);
    page = ReplaceAll(page, u"<!GSDOCURL!>", documents->gettingStarted);
    page = ReplaceAll(page, u"<!FULLDOCURL!>", documents->manual);
    DropSection(page, kDocsNotFoundSection);
  } else {
    DropSection(page, kDocsFoundSection);
    KeepSection(page, kDocsNotFoundSection);
  }
}

void ChooseAdministratorSections(std::u16string& page, bool administrator) {
  if (administrator) {
    DropSection(page, kNotAdminSection);
    KeepSection(page, kAdminSection);
  } else {
    DropSection(page, kAdminSection);
    KeepSection(page, kNotAdminSection);
  }
}

std::u16string FileUrl(const std::string& path) {
  return u"file://" + DecodeProgramUtf8(path);
}

bool IsFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

}  // namespace

PageEnvironment CurrentPageEnvironment() {
  std::error_code error;
  const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
  return {error ? std::string() : executable.string(), ::geteuid() == 0};
}

std::optional<DocumentationUrls> FindDocumentation(std::string_view executablePath) {
  const std::size_t slash = executablePath.rfind('/');
  if (slash == std::string_view::npos) {
    return std::nullopt;
  }
  const std::string directory(executablePath.substr(0, slash + 1));
  const std::string manual = directory + std::string(kManualName);
  const std::string gettingStarted = directory + std::string(kGettingStartedName);
  if (!IsFile(manual) || !IsFile(gettingStarted)) {
    return std::nullopt;
  }
  return DocumentationUrls{FileUrl(gettingStarted), FileUrl(manual)};
}

std::u16string RemoveSections(std::u16string_view text, std::u16string_view start,
                              std::u16string_view end) {
  std::u16string page(text);
  for (;;) {
    const std::size_t from = page.find(start);
    // The end marker is looked for past the start marker, so a pair of markers where one begins
    // the other can never cut nothing and loop.
    const std::size_t to =
        from == std::u16string::npos ? from : page.find(end, from + start.size());
    if (to == std::u16string::npos) {
      return page;
    }
    page.erase(from, to - from);
  }
}

std::u16string ExpandPageTemplate(std::u16string_view text, const PageEnvironment& environment) {
  std::u16string page(text);
  ReplaceProductTags(page);
  DropSection(page, kRunningSection);
  ChooseDocumentationSections(page, environment.executablePath);
  ChooseAdministratorSections(page, environment.administrator);
  if (!environment.executablePath.empty()) {
    const std::string_view path = environment.executablePath;
    page = ReplaceAll(page, u"Reelkit.exe", DecodeProgramUtf8(path.substr(path.rfind('/') + 1)));
  }
  return page;
}

std::u16string LoadHtmlResource(std::string_view name) {
  const auto bytes = FindEmbeddedResource(name);
  const auto end = std::ranges::find(bytes, std::uint8_t{0});
  return DecodeProgramUtf8(bytes.first(static_cast<std::size_t>(end - bytes.begin())));
}

}  // namespace reelkit
