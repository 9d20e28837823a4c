#include "wizard/failure_cause_text.h"

#include <array>
#include <variant>

#include "common/failure_explanation.h"
#include "i18n/catalog_format.h"
#include "i18n/catalog_keys.h"
#include "i18n/program_utf8.h"
#include "wizard/conversion_runner.h"

namespace reelkit {
namespace {

namespace keys = catalog_keys;

// The catalog's sentence of each fact; its placeholders take the statement's values in order.
struct FactKey {
  CauseFact fact;
  std::u16string_view key;
};

constexpr std::array kFactKeys = {
    FactKey{CauseFact::OutputIsInput, keys::kCauseOutputIsInput},
    FactKey{CauseFact::UnsupportedFormat, keys::kCauseUnsupportedFormat},
    FactKey{CauseFact::NoPicture, keys::kCauseNoPicture},
    FactKey{CauseFact::EndOfFile, keys::kCauseEndOfFile},
    FactKey{CauseFact::OpenFailed, keys::kCauseOpenFailed},
    FactKey{CauseFact::ReadFailed, keys::kCauseReadFailed},
    FactKey{CauseFact::DamagedScreenData, keys::kCauseInvalidInput},
    FactKey{CauseFact::OutOfMemory, keys::kCauseOutOfMemory},
    FactKey{CauseFact::Unexpected, keys::kCauseUnexpected},
    FactKey{CauseFact::MsvcTooLarge, keys::kCauseMsvcTooLarge},
    FactKey{CauseFact::PipelineStuck, keys::kCauseWriteFailed},
    FactKey{CauseFact::WriteFailed, keys::kCauseWriteFailed},
    FactKey{CauseFact::OutputChanging, keys::kCauseOutputChanging},
    FactKey{CauseFact::OutputCannotCreate, keys::kCauseOutputCannotCreate},
    FactKey{CauseFact::OutputCannotOpen, keys::kCauseOutputCannotOpen},
    FactKey{CauseFact::OutputLinkToNothing, keys::kCauseOutputLinkToNothing},
    FactKey{CauseFact::OutputNotAFile, keys::kCauseOutputNotAFile},
    FactKey{CauseFact::OutputCannotWrite, keys::kCauseOutputCannotWrite},
    FactKey{CauseFact::OutputBeingWritten, keys::kCauseOutputBeingWritten},
    FactKey{CauseFact::OutputCannotLock, keys::kCauseOutputCannotLock},
    FactKey{CauseFact::OutputCannotResolve, keys::kCauseOutputCannotResolve},
};

struct LimitKey {
  InputLimit limit;
  std::u16string_view key;
};

constexpr std::array kLimitKeys = {
    LimitKey{InputLimit::FormatBlockSize, keys::kCauseFormatBlockSize},
    LimitKey{InputLimit::PictureSide, keys::kCausePictureSide},
    LimitKey{InputLimit::PictureBytes, keys::kCausePictureBytes},
    LimitKey{InputLimit::DecodedPixels, keys::kCauseDecodedPixels},
    LimitKey{InputLimit::DecodedDepth, keys::kCauseDecodedDepth},
    LimitKey{InputLimit::RecordBlockSize, keys::kCauseRecordBlockSize},
    LimitKey{InputLimit::ChunkSize, keys::kCauseChunkSize},
    LimitKey{InputLimit::BundleSize, keys::kCauseBundleSize},
    LimitKey{InputLimit::VideoLength, keys::kCauseVideoLength},
    LimitKey{InputLimit::Timestamp, keys::kCauseTimestamp},
};

std::u16string_view KeyOf(const CauseStatement& statement) {
  if (statement.fact == CauseFact::LimitExceeded) {
    for (const LimitKey& entry : kLimitKeys) {
      if (entry.limit == statement.limit) {
        return entry.key;
      }
    }
    return {};
  }
  for (const FactKey& entry : kFactKeys) {
    if (entry.fact == statement.fact) {
      return entry.key;
    }
  }
  return {};
}

std::u16string_view FileTypeKey(OutputFileType type) {
  switch (type) {
    case OutputFileType::Directory:
      return keys::kFileTypeDirectory;
    case OutputFileType::CharacterDevice:
      return keys::kFileTypeCharacterDevice;
    case OutputFileType::BlockDevice:
      return keys::kFileTypeBlockDevice;
    case OutputFileType::NamedPipe:
      return keys::kFileTypeNamedPipe;
    case OutputFileType::Socket:
      return keys::kFileTypeSocket;
    case OutputFileType::Other:
      break;
  }
  return keys::kFileTypeOther;
}

// A value as the catalog's placeholders take it: a number, or a text of the catalog's own.
std::variant<std::uint64_t, std::u16string> ArgumentOf(const CMessageCatalog& catalog,
                                                       const CauseValue& value) {
  struct Argument {
    const CMessageCatalog& catalog;
    std::variant<std::uint64_t, std::u16string> operator()(std::uint64_t count) const {
      return count;
    }
    std::variant<std::uint64_t, std::u16string> operator()(ByteCount size) const {
      return ByteCountText(catalog, size.bytes);
    }
    std::variant<std::uint64_t, std::u16string> operator()(OutputFileType type) const {
      return catalog.Lookup(FileTypeKey(type));
    }
    std::variant<std::uint64_t, std::u16string> operator()(const FailureCode& code) const {
      return std::uint64_t{code.value};
    }
    std::variant<std::uint64_t, std::u16string> operator()(const std::string& text) const {
      return DecodeProgramUtf8(text);
    }
  };
  return std::visit(Argument{catalog}, value);
}

CatalogArgument AsCatalogArgument(const std::variant<std::uint64_t, std::u16string>& value) {
  if (const auto* number = std::get_if<std::uint64_t>(&value)) {
    return *number;
  }
  return std::get<std::u16string>(value);
}

// No catalog sentence takes more than two values.
std::u16string Sentence(const CMessageCatalog& catalog, const CauseStatement& statement) {
  const std::u16string& text = catalog.Lookup(KeyOf(statement));
  std::vector<std::variant<std::uint64_t, std::u16string>> arguments;
  for (const CauseValue& value : statement.values) {
    arguments.push_back(ArgumentOf(catalog, value));
  }
  switch (arguments.size()) {
    case 0:
      return text;
    case 1:
      return FormatCatalogText(text, {AsCatalogArgument(arguments[0])});
    default:
      return FormatCatalogText(text,
                               {AsCatalogArgument(arguments[0]), AsCatalogArgument(arguments[1])});
  }
}

}  // namespace

std::u16string ByteCountText(const CMessageCatalog& catalog, std::uint64_t bytes) {
  const ByteQuantity size = InLargestWholeUnit(bytes);
  std::u16string_view key = keys::kSizeBytes;
  switch (size.unit) {
    case ByteUnit::Gibibytes:
      key = keys::kSizeGibibytes;
      break;
    case ByteUnit::Mebibytes:
      key = keys::kSizeMebibytes;
      break;
    case ByteUnit::Bytes:
      break;
  }
  return FormatCatalogText(catalog.Lookup(key), {size.count});
}

std::vector<std::u16string> FailureCauseLines(const CMessageCatalog& catalog,
                                              const ConversionFailure& failure) {
  std::vector<std::u16string> lines;
  for (const CauseStatement& statement : ExplainFailure(failure)) {
    if (std::u16string line = Sentence(catalog, statement); !line.empty()) {
      lines.push_back(std::move(line));
    }
    if (statement.systemError) {
      lines.push_back(
          catalog.LookupWithArgument(keys::kCauseSystem, SystemErrorText(*statement.systemError)));
    }
  }
  return lines;
}

}  // namespace reelkit
