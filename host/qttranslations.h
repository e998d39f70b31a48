#pragma once

class QCoreApplication;

namespace qor {

// Qt's own texts (the standard dialogs' buttons and questions, the command line's
// errors) in Brazilian Portuguese, as the rest of the host speaks. False, and Qt's
// English kept, when the translation is not installed (Debian's qt6-translations-l10n).
bool InstallQtTranslations(QCoreApplication &app);

} // namespace qor
