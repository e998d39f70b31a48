#pragma once

#include <QString>
#include <QStringList>

namespace qor::testing {

// Compiles the named locales ("de_DE.UTF-8", "pt_BR.UTF-8") into dir with localedef, for
// a process started with LOCPATH=dir: a test machine seldom has them installed, and a
// process asked for a missing locale silently runs on the C locale. False when one could
// not be made (no localedef, or no locale sources).
bool makeLocales(const QString &dir, const QStringList &names);

} // namespace qor::testing
