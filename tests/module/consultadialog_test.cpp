// The host's "Abrir consulta" dialog: a branch or patient code is opened exactly as
// pasted or typed, never another one cut to the column's size.
#include "host/consultadialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDateEdit>
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

struct DateCase
{
    const char *name;
    QDateEdit *(ConsultaDialog::*edit)() const;
    QDateTimeEdit::Section section;
    QString typed;
    QDate (*expected)(const Consultation &); // the date opened; null when nothing opens
    QString reason; // shown while it cannot open
};

QDate consultaOf(const Consultation &c)
{
    return c.consulta;
}

QDate idadeRefOf(const Consultation &c)
{
    return c.idadeRef;
}

// A date whose year is typed short and confirmed with Enter was opened as another date
// (the year from before), and everything typed on the screen was saved under that day.
// A date not typed in full keeps the dialog open, saying so.
TEST(ConsultaDialogDates, OpensOnlyTheDateAsTypedNeverAnotherOne)
{
    const QString incompleteConsulta = u"A data da consulta está incompleta."_s;
    const QString incompleteIdadeRef = u"A data de referência da idade está incompleta."_s;
    const QDate today = QDate::currentDate();
    const QList<DateCase> cases{
        {"consultation year typed with two digits", &ConsultaDialog::consultaEdit,
         QDateTimeEdit::YearSection, u"24"_s, nullptr, incompleteConsulta},
        {"consultation year typed with one digit", &ConsultaDialog::consultaEdit,
         QDateTimeEdit::YearSection, u"1"_s, nullptr, incompleteConsulta},
        {"age reference year typed with two digits", &ConsultaDialog::idadeRefEdit,
         QDateTimeEdit::YearSection, u"24"_s, nullptr, incompleteIdadeRef},
        {"consultation year typed in full",
         &ConsultaDialog::consultaEdit,
         QDateTimeEdit::YearSection,
         u"2024"_s,
         consultaOf,
         {}},
        {"age reference year typed in full",
         &ConsultaDialog::idadeRefEdit,
         QDateTimeEdit::YearSection,
         u"2023"_s,
         idadeRefOf,
         {}},
    };
    for (const DateCase &c : cases) {
        SCOPED_TRACE(c.name);
        ConsultaDialog dialog;
        dialog.filialEdit()->setText(u"0001"_s);
        dialog.pacienteEdit()->setText(u"000000000001"_s);
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        QDateEdit *date = (dialog.*c.edit)();
        date->setFocus();
        date->setSelectedSection(c.section);
        QWidget *typedInto = QApplication::focusWidget() ? QApplication::focusWidget() : date;
        QTest::keyClicks(typedInto, c.typed);
        QTest::keyClick(typedInto, Qt::Key_Return);

        QPushButton *open = dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        if (c.expected) {
            EXPECT_EQ(dialog.result(), QDialog::Accepted);
            const QDate opened = c.expected(dialog.consultation());
            EXPECT_EQ(opened, QDate(c.typed.toInt(), today.month(), today.day()))
                << opened.toString(Qt::ISODate).toStdString();
        } else {
            // Still open, the typed text kept to be completed, and nothing to open.
            EXPECT_NE(dialog.result(), QDialog::Accepted)
                << dialog.consultation().consulta.toString(Qt::ISODate).toStdString();
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_TRUE(date->text().endsWith(u"/"_s + c.typed)) << date->text().toStdString();
            EXPECT_FALSE(open->isEnabled());
            EXPECT_EQ(dialog.reasonLabel()->text().toStdString(), c.reason.toStdString());
            // Completed, it opens that date.
            QTest::keyClicks(typedInto, QString(4 - c.typed.size(), u'9'));
            EXPECT_TRUE(open->isEnabled()) << date->text().toStdString();
            EXPECT_TRUE(dialog.reasonLabel()->text().isEmpty());
            QTest::keyClick(typedInto, Qt::Key_Return);
            EXPECT_EQ(dialog.result(), QDialog::Accepted);
            EXPECT_EQ(date->date().year(), (c.typed + QString(4 - c.typed.size(), u'9')).toInt());
        }
    }
}

} // namespace
} // namespace qor
