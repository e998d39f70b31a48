// The host's "Abrir consulta" dialog: a branch or patient code is opened exactly as
// pasted or typed, never another one cut to the column's size.
#include "host/consultadialog.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor {
namespace {

enum class Entry { Paste, Type };

struct CodeCase
{
    const char *name;
    Entry entry;
    QString filial;
    QString paciente;
    bool opens;
    QString reason; // shown when it cannot open; empty when it can
};

void enter(QLineEdit *edit, Entry entry, const QString &text)
{
    edit->setFocus();
    edit->clear();
    if (entry == Entry::Paste) {
        QGuiApplication::clipboard()->setText(text);
        edit->paste();
    } else {
        QTest::keyClicks(edit, text);
    }
}

TEST(ConsultaDialogCodes, OpensOnlyTheCodeAsEnteredNeverOneCutShort)
{
    const QString tooLongPatient = u"O código do paciente aceita no máximo 12 caracteres."_s;
    const QList<CodeCase> cases{
        {"patient code pasted", Entry::Paste, u"0001"_s, u"000000000001"_s, true, {}},
        {"patient code pasted with spaces around",
         Entry::Paste,
         u"0001"_s,
         u" 000000000001 "_s,
         true,
         {}},
        {"patient code one character too long, pasted", Entry::Paste, u"0001"_s, u"0000000000012"_s,
         false, tooLongPatient},
        {"patient code one character too long, typed", Entry::Type, u"0001"_s, u"0000000000012"_s,
         false, tooLongPatient},
        {"branch code one character too long, pasted", Entry::Paste, u"00012"_s, u"000000000001"_s,
         false, u"O código da filial aceita no máximo 4 caracteres."_s},
    };
    for (const CodeCase &c : cases) {
        SCOPED_TRACE(c.name);
        ConsultaDialog dialog;
        dialog.show();
        enter(dialog.filialEdit(), c.entry, c.filial);
        enter(dialog.pacienteEdit(), c.entry, c.paciente);

        // Nothing entered is dropped, whatever its length.
        EXPECT_EQ(dialog.filialEdit()->text().toStdString(), c.filial.toStdString());
        EXPECT_EQ(dialog.pacienteEdit()->text().toStdString(), c.paciente.toStdString());
        QPushButton *open = dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        EXPECT_EQ(open->isEnabled(), c.opens);
        EXPECT_EQ(dialog.reasonLabel()->isVisible(), !c.opens);
        EXPECT_EQ(dialog.reasonLabel()->text().toStdString(), c.reason.toStdString());
        if (c.opens) {
            EXPECT_EQ(dialog.consultation().cdFilial.toStdString(),
                      c.filial.trimmed().toStdString());
            EXPECT_EQ(dialog.consultation().cdPaciente.toStdString(),
                      c.paciente.trimmed().toStdString());
        }
    }
}

} // namespace
} // namespace qor
