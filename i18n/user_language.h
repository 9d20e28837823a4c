#pragma once

#include <string>

namespace reelkit {

// The language the wizard shows: the "V5/Gui/Lang" setting of the organisation "Kestrix" when
// it names a table language, otherwise the user's interface language as Qt's system locale
// sees it (LANGUAGE, LC_ALL, LC_MESSAGES, LANG). Part of the Qt-linked Reelkit::i18n_qt; the
// catalog itself has no Qt.
std::string UserLanguage();

}  // namespace reelkit
