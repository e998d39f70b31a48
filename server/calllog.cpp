#include "calllog.h"

#include "planservice.h"

using namespace Qt::StringLiterals;

namespace qor {

QString formatCallLog(const QString &method, qint64 microseconds, bool ok, int errorCode)
{
    static const QStringList known = PlanService::methodNames() << u"Authenticate"_s;
    const QString name = known.contains(method) ? method : u"(método desconhecido)"_s;
    const QString duration = QString::number(double(microseconds) / 1000.0, 'f', 3);
    if (ok)
        return u"qor-server: %1 %2 ms ok"_s.arg(name, duration);
    return u"qor-server: %1 %2 ms erro %3"_s.arg(name, duration).arg(errorCode);
}

} // namespace qor
