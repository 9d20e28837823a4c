#pragma once

#include <string>
#include <vector>

#include "common/conversion_failure.h"
#include "i18n/message_catalog.h"

namespace reelkit {

// The log's sentences, in the catalog's language, that say why a conversion failed beyond the
// line its kind and code give: which limit refused the input and by how much, what stood at the
// output path, the system's own words where the system refused. Empty when there is nothing more
// to say.
std::vector<std::u16string> FailureCauseLines(const CMessageCatalog& catalog,
                                              const ConversionFailure& failure);

// A byte count as the log shows it: in GiB or MiB where it is a whole number of them.
std::u16string ByteCountText(const CMessageCatalog& catalog, std::uint64_t bytes);

}  // namespace reelkit
