#include "wizard/failure_cause_text.h"

#include <optional>
#include <variant>

#include "common/error_codes.h"
#include "common/picture_rules.h"
#include "i18n/catalog_format.h"
#include "i18n/catalog_keys.h"
#include "wizard/conversion_runner.h"

namespace reelkit {
namespace {

namespace keys = catalog_keys;

// The catalog's sentence of each limit; the numbers it takes follow from QuantityOf.
struct LimitSentence {
  InputLimit limit;
  std::u16string_view key;
};

constexpr LimitSentence kLimitSentences[] = {
    {InputLimit::FormatBlockSize, keys::kCauseFormatBlockSize},
    {InputLimit::PictureSide, keys::kCausePictureSide},
    {InputLimit::PictureBytes, keys::kCausePictureBytes},
    {InputLimit::DecodedPixels, keys::kCauseDecodedPixels},
    {InputLimit::DecodedDepth, keys::kCauseDecodedDepth},
    {InputLimit::RecordBlockSize, keys::kCauseRecordBlockSize},
    {InputLimit::ChunkSize, keys::kCauseChunkSize},
    {InputLimit::BundleSize, keys::kCauseBundleSize},
    {InputLimit::VideoLength, keys::kCauseVideoLength},
    {InputLimit::Timestamp, keys::kCauseTimestamp},
};

std::u16string LimitText(const CMessageCatalog& catalog, const LimitRefusal& refusal) {
  for (const LimitSentence& sentence : kLimitSentences) {
    if (sentence.limit != refusal.limit) {
      continue;
    }
    const std::u16string& text = catalog.Lookup(sentence.key);
    switch (QuantityOf(refusal.limit)) {
      case LimitQuantity::Count:
        return FormatCatalogText(text, {refusal.asked, refusal.allowed});
      case LimitQuantity::Bytes:
        return FormatCatalogText(
            text, {ByteCountText(catalog, refusal.asked), ByteCountText(catalog, refusal.allowed)});
      case LimitQuantity::Hours:
        return FormatCatalogText(text, {refusal.allowed / kLimitUnitsPerHour});
      case LimitQuantity::Years:
        return FormatCatalogText(text, {refusal.allowed / kLimitUnitsPerYear});
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

struct RefusalSentence {
  std::u16string_view key;
  bool systemRefused;  // the system's own words for the code follow
};

RefusalSentence SentenceFor(OutputRefusal::Reason reason) {
  using Reason = OutputRefusal::Reason;
  switch (reason) {
    case Reason::PathKeepsChanging:
      return {keys::kCauseOutputChanging, false};
    case Reason::CannotCreate:
      return {keys::kCauseOutputCannotCreate, true};
    case Reason::LinkToNothing:
      return {keys::kCauseOutputLinkToNothing, false};
    case Reason::NotAFile:
      return {keys::kCauseOutputNotAFile, false};
    case Reason::CannotWrite:
      return {keys::kCauseOutputCannotWrite, true};
    case Reason::BeingWritten:
      return {keys::kCauseOutputBeingWritten, false};
    case Reason::CannotLock:
      return {keys::kCauseOutputCannotLock, true};
    case Reason::CannotResolve:
      return {keys::kCauseOutputCannotResolve, true};
    case Reason::CannotOpen:
      break;
  }
  return {keys::kCauseOutputCannotOpen, true};
}

class CauseLines {
 public:
  CauseLines(const CMessageCatalog& catalog, const ConversionFailure& failure)
      : catalog_(catalog), failure_(failure) {}

  std::vector<std::u16string> Take() {
    AddForKind();
    AddForCause();
    return std::move(lines_);
  }

 private:
  void AddForKind() {
    switch (failure_.kind) {
      case ConvertErrorKind::OutputIsInput:
        AddKey(keys::kCauseOutputIsInput);
        break;
      case ConvertErrorKind::UnsupportedOutputFormat:
        AddKey(keys::kCauseUnsupportedFormat);
        break;
      case ConvertErrorKind::WriteOutputFailed:
        AddWriteFailure();
        break;
      case ConvertErrorKind::NoPicture:
        AddKey(keys::kCauseNoPicture);
        break;
      case ConvertErrorKind::OutputRefused:
        AddOutputRefusal();
        break;
      case ConvertErrorKind::Unexpected:
        AddKey(keys::kCauseUnexpected);
        AddSystemWords();
        break;
      case ConvertErrorKind::ReadInputFailed:
        if (failure_.code == kErrorHandleEof) {
          AddKey(keys::kCauseEndOfFile);
        }
        break;
      case ConvertErrorKind::InvalidInputFormat:
      case ConvertErrorKind::OpenInputFailed:
        break;
    }
  }

  // The pipeline's own codes have no words a user could act on; a system error passed up the
  // pipeline (a full disk, a lost network share) has the system's.
  void AddWriteFailure() {
    if (failure_.code == kResultTooLargeForMsvideo1) {
      Add(FormatCatalogText(catalog_.Lookup(keys::kCauseMsvcTooLarge),
                            {static_cast<std::uint32_t>(kMaxBlockCodedSide)}));
    } else if (IsPassedUpSystemError(failure_.code)) {
      AddKey(keys::kCauseWriteFailed);
      AddSystemWords();
    }
  }

  void AddForCause() {
    if (const auto* limit = std::get_if<LimitRefusal>(&failure_.cause)) {
      Add(LimitText(catalog_, *limit));
    } else if (std::holds_alternative<DamagedScreenData>(failure_.cause)) {
      AddKey(keys::kCauseInvalidInput);
    } else if (std::holds_alternative<OutOfMemory>(failure_.cause)) {
      AddKey(keys::kCauseOutOfMemory);
    }
  }

  void AddOutputRefusal() {
    const auto* refusal = std::get_if<OutputRefusal>(&failure_.cause);
    if (refusal == nullptr) {
      AddSystemWords();
      return;
    }
    const RefusalSentence sentence = SentenceFor(refusal->reason);
    if (refusal->reason == OutputRefusal::Reason::NotAFile) {
      Add(FormatCatalogText(catalog_.Lookup(sentence.key),
                            {catalog_.Lookup(FileTypeKey(refusal->fileType))}));
    } else {
      AddKey(sentence.key);
    }
    if (sentence.systemRefused) {
      AddSystemWords();
    }
  }

  // Only a code that carries an errno has words; a code of 0 has none.
  void AddSystemWords() {
    if (failure_.code == 0) {
      return;
    }
    if (const std::optional<std::uint32_t> error = SystemErrorOf(failure_.code)) {
      Add(catalog_.LookupWithArgument(keys::kCauseSystem,
                                      SystemErrorText(static_cast<int>(*error))));
    }
  }

  void AddKey(std::u16string_view key) { Add(catalog_.Lookup(key)); }
  void Add(std::u16string line) {
    if (!line.empty()) {
      lines_.push_back(std::move(line));
    }
  }

  const CMessageCatalog& catalog_;
  const ConversionFailure& failure_;
  std::vector<std::u16string> lines_;
};

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
  return CauseLines(catalog, failure).Take();
}

}  // namespace reelkit
