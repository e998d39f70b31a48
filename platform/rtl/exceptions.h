#pragma once

#include <QString>
#include <exception>

namespace qor {

// Failures travel as exceptions, as the screens expect. Every class carries a
// user-readable Portuguese message; EAbort is the silent one.
class Exception : public std::exception
{
public:
    explicit Exception(QString message);
    const QString &Message() const { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// Ends the operation in progress without any message.
class EAbort : public Exception
{
public:
    EAbort();
};

class EConvertError : public Exception
{
public:
    using Exception::Exception;
};

class EDatabaseError : public Exception
{
public:
    using Exception::Exception;
};

[[noreturn]] void Abort();

} // namespace qor
