#include "arguments.h"

#include <QFile>

namespace qor {

QString unreadableArgument(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray raw(argv[i]);
        if (QFile::encodeName(QFile::decodeName(raw)) != raw)
            return QFile::decodeName(raw);
    }
    return {};
}

} // namespace qor
