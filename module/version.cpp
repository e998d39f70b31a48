#include "module/Cli_qor12700.h"

#include "module/version.h"

namespace qor {

QString PackageVersionText(int major, int minor, int release)
{
    return QStringLiteral("%1.%2.%3")
        .arg(major)
        .arg(minor, 2, 10, QLatin1Char('0'))
        .arg(release, 3, 10, QLatin1Char('0'));
}

} // namespace qor

const char *QorPackageVersion()
{
    static const QByteArray text =
        qor::PackageVersionText(QOR_VERSION_MAJOR, QOR_VERSION_MINOR, QOR_VERSION_PATCH).toLatin1();
    return text.constData();
}
