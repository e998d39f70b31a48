#include "exceptions.h"

using namespace Qt::StringLiterals;

namespace qor {

Exception::Exception(QString message)
    : m_message(std::move(message))
    , m_utf8(m_message.toUtf8())
{ }

EAbort::EAbort()
    : Exception(u"Operação cancelada."_s)
{ }

void Abort()
{
    throw EAbort();
}

} // namespace qor
