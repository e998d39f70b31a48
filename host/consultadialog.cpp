#include "consultadialog.h"

#include "forms/guard.h"

#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

// The key fields' sizes.
constexpr int FilialSize = 4;
constexpr int PacienteSize = 12;

} // namespace

ConsultaDialog::ConsultaDialog(QWidget *parent)
    : QDialog(parent)
    , m_filial(new QLineEdit(this))
    , m_paciente(new QLineEdit(this))
    , m_nome(new QLineEdit(this))
    , m_idadeRef(new QDateEdit(QDate::currentDate(), this))
    , m_consulta(new QDateEdit(QDate::currentDate(), this))
    , m_reason(new QLabel(this))
{
    setWindowTitle(u"Abrir consulta"_s);
    // The codes have no maximum length: QLineEdit would cut a longer code pasted or
    // typed to its first characters, which may be another patient's. One that does not
    // fit keeps "Abrir" disabled, and says why.
    m_nome->setMaxLength(80);
    m_reason->setWordWrap(true);
    for (QDateEdit *edit : {m_idadeRef, m_consulta}) {
        edit->setDisplayFormat(u"dd/MM/yyyy"_s);
        edit->setCalendarPopup(true);
        // A date typed in part ("24" for the year) is no date yet: "Abrir" waits for it.
        edit->installEventFilter(this);
        if (auto *text = edit->findChild<QLineEdit *>()) {
            text->installEventFilter(this);
            connect(text, &QLineEdit::textChanged, this,
                    guard([this](const QString &) { updateOk(); }));
        }
    }

    auto *form = new QFormLayout;
    form->addRow(u"Filial"_s, m_filial);
    form->addRow(u"Paciente (código)"_s, m_paciente);
    form->addRow(u"Nome do paciente"_s, m_nome);
    form->addRow(u"Referência da idade"_s, m_idadeRef);
    form->addRow(u"Data da consulta"_s, m_consulta);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(u"Abrir"_s);
    buttons->button(QDialogButtonBox::Cancel)->setText(u"Cancelar"_s);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_filial, &QLineEdit::textChanged, this,
            guard([this](const QString &) { updateOk(); }));
    connect(m_paciente, &QLineEdit::textChanged, this,
            guard([this](const QString &) { updateOk(); }));

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_reason);
    layout->addWidget(buttons);
    updateOk();
}

void ConsultaDialog::setConsultation(const Consultation &c)
{
    m_filial->setText(c.cdFilial);
    m_paciente->setText(c.cdPaciente);
    m_nome->setText(c.nmPaciente);
    if (c.idadeRef.isValid())
        m_idadeRef->setDate(c.idadeRef);
    if (c.consulta.isValid())
        m_consulta->setDate(c.consulta);
}

Consultation ConsultaDialog::consultation() const
{
    Consultation c;
    c.cdFilial = m_filial->text().trimmed();
    c.cdPaciente = m_paciente->text().trimmed();
    c.nmPaciente = m_nome->text().trimmed();
    c.idadeRef = m_idadeRef->date();
    c.consulta = m_consulta->date();
    return c;
}

bool ConsultaDialog::eventFilter(QObject *watched, QEvent *event)
{
    bool refused = false;
    guarded([&] {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
            return;
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter)
            return;
        for (QDateEdit *edit : {m_idadeRef, m_consulta}) {
            if ((watched == edit || watched->parent() == edit) && !edit->hasAcceptableInput()) {
                updateOk();
                refused = true;
            }
        }
    });
    if (refused) {
        event->accept();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void ConsultaDialog::updateOk()
{
    QString reason;
    if (!m_consulta->hasAcceptableInput())
        reason = u"A data da consulta está incompleta."_s;
    else if (!m_idadeRef->hasAcceptableInput())
        reason = u"A data de referência da idade está incompleta."_s;
    else if (m_filial->text().trimmed().size() > FilialSize)
        reason = u"O código da filial aceita no máximo %1 caracteres."_s.arg(FilialSize);
    else if (m_paciente->text().trimmed().size() > PacienteSize)
        reason = u"O código do paciente aceita no máximo %1 caracteres."_s.arg(PacienteSize);
    m_reason->setText(reason);
    m_reason->setVisible(!reason.isEmpty());
    // A consultation needs its branch and patient.
    m_ok->setEnabled(reason.isEmpty() && !m_filial->text().trimmed().isEmpty()
                     && !m_paciente->text().trimmed().isEmpty());
}

} // namespace qor
