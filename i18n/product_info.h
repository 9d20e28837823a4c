#pragma once

#include <string_view>

namespace reelkit {

// The product's names and the values its texts and pages are filled with.
inline constexpr std::u16string_view kProductDisplayName = u"Kestrix Tolvan Reelkit";
inline constexpr std::u16string_view kProductShortName = u"Reelkit";
inline constexpr std::u16string_view kProductVersionText = u"8.0.53";
inline constexpr std::u16string_view kProductWebAddress = u"www.kestrix.example";
inline constexpr std::u16string_view kProductLogo = u"Kestrix.png";
inline constexpr std::u16string_view kProductCopyright =
    u"Copyright \u00A9 2026 Kestrix. All rights reserved.";

}  // namespace reelkit
