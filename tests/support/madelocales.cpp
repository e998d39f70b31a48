#include "madelocales.h"

#include <QProcess>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace qor::testing {

bool makeLocales(const QString &dir, const QStringList &names)
{
    const QString localedef = QStandardPaths::findExecutable(u"localedef"_s);
    if (localedef.isEmpty())
        return false;
    for (const QString &name : names) {
        QProcess process;
        process.start(
            localedef,
            {u"-i"_s, name.section(u'.', 0, 0), u"-f"_s, name.section(u'.', 1), dir + u'/' + name});
        // A safety net for a localedef that hangs, not a speed check.
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit
            || process.exitCode() != 0)
            return false;
    }
    return true;
}

} // namespace qor::testing
