#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <ctime>

namespace qor::testing {

// The process's local time zone for one scope, e.g. "America/Sao_Paulo". Qt reads TZ at
// each local-time conversion; a process started meanwhile inherits it.
class ScopedTimeZone
{
public:
    explicit ScopedTimeZone(const char *zone)
        : m_had(qEnvironmentVariableIsSet("TZ"))
        , m_previous(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~ScopedTimeZone()
    {
        if (m_had)
            qputenv("TZ", m_previous);
        else
            qunsetenv("TZ");
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone &) = delete;
    ScopedTimeZone &operator=(const ScopedTimeZone &) = delete;

private:
    bool m_had;
    QByteArray m_previous;
};

} // namespace qor::testing
