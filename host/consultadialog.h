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
    QLabel *reasonLabel() const { return m_reason; }

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
