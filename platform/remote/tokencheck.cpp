#include "tokencheck.h"

#include <QCryptographicHash>

namespace qor {

bool tokensMatch(const QString &offered, const QString &expected)
{
    // Comparing fixed-size digests hides the length; the loop never exits early.
    const QByteArray a = QCryptographicHash::hash(offered.toUtf8(), QCryptographicHash::Sha256);
    const QByteArray b = QCryptographicHash::hash(expected.toUtf8(), QCryptographicHash::Sha256);
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    return difference == 0 && !expected.isEmpty();
}

} // namespace qor
