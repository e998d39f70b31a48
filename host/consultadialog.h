#pragma once

#include "hostoptions.h"

#include <QDialog>

class QDateEdit;
class QLabel;
class QLineEdit;

namespace qor {

// "Abrir consulta": branch, patient code and name, age reference and consultation date.
class ConsultaDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ConsultaDialog(QWidget *parent = nullptr);

    void setConsultation(const Consultation &consultation);
    Consultation consultation() const;

    QLineEdit *filialEdit() const { return m_filial; }
    QLineEdit *pacienteEdit() const { return m_paciente; }
    QDateEdit *idadeRefEdit() const { return m_idadeRef; }
    QDateEdit *consultaEdit() const { return m_consulta; }
    QLabel *reasonLabel() const { return m_reason; }

protected:
    // Enter in a date not typed in full would have the date edit put back the date it
    // held before, and the dialog open that one: it is refused there instead.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void updateOk();

    QLineEdit *m_filial;
    QLineEdit *m_paciente;
    QLineEdit *m_nome;
    QDateEdit *m_idadeRef;
    QDateEdit *m_consulta;
    QLabel *m_reason; // why "Abrir" is disabled, when a code does not fit
    class QPushButton *m_ok = nullptr;
};

} // namespace qor
