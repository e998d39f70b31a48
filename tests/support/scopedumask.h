#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <sys/stat.h>

namespace qor::testing {

// Sets the process's umask for one scope, and puts the old one back. A process started
// meanwhile inherits it.
class ScopedUmask
{
public:
    explicit ScopedUmask(mode_t mask)
        : m_old(::umask(mask))
    { }
    ~ScopedUmask() { ::umask(m_old); }
    ScopedUmask(const ScopedUmask &) = delete;
    ScopedUmask &operator=(const ScopedUmask &) = delete;

private:
    mode_t m_old;
};

// Writes a file as its owner left it before a test: these contents, this mode.
inline bool writeFileWithMode(const QString &path, const QByteArray &contents, mode_t mode)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        return false;
    file.close();
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

} // namespace qor::testing
