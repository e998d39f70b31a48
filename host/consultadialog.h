#pragma once

#include "hostoptions.h"

#include <QDialog>

class QDateEdit;
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

private:
    void updateOk();

    QLineEdit *m_filial;
    QLineEdit *m_paciente;
    QLineEdit *m_nome;
    QDateEdit *m_idadeRef;
    QDateEdit *m_consulta;
    class QPushButton *m_ok = nullptr;
};

} // namespace qor
