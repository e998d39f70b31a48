#include "consoledialogs.h"

#include <cstdio>

using namespace Qt::StringLiterals;

namespace qor {

TModalResult ConsoleDialogs::MessageDlg(const QString &text, TMsgDlgType type,
                                        TMsgDlgButtons buttons)
{
    QString kind;
    switch (type) {
    case mtError:
        kind = u"Erro"_s;
        ++m_errors;
        break;
    case mtWarning:
        kind = u"Aviso"_s;
        break;
    case mtConfirmation:
        kind = u"Pergunta"_s;
        break;
    default:
        kind = u"Informação"_s;
        break;
    }
    std::fprintf(stderr, "qor-host: [%s] %s\n", kind.toLocal8Bit().constData(),
                 text.toLocal8Bit().constData());
    if (buttons.testFlag(mbNo))
        return mrNo;
    if (buttons.testFlag(mbCancel))
        return mrCancel;
    return mrOk;
}

} // namespace qor
