#include "dateeditplus.h"

#include <QGuiApplication>

#include <cmath>

using namespace Qt::StringLiterals;

namespace qor {

TDateEditPlus::TDateEditPlus(QWidget *parent)
    : QDateEdit(parent)
    , m_weekDays{u"Domingo"_s, u"Segunda"_s, u"Terça"_s, u"Quarta"_s,
                 u"Quinta"_s,  u"Sexta"_s,   u"Sábado"_s}
{
    setDisplayFormat(u"dd/MM/yyyy"_s);
    setCalendarPopup(true);
    connect(this, &QDateEdit::dateChanged, this, [this] { applyLook(); });
    applyLook();
}

void TDateEditPlus::SetDate(TDateTime value)
{
    const QDate date = std::isfinite(value) ? DateTimeToQDate(value) : QDate();
    setDate(date.isValid() ? date : minimumDate());
    applyLook();
}

TDateTime TDateEditPlus::Date() const
{
    return DateToDateTime(date());
}

void TDateEditPlus::SetColor(TColor color)
{
    m_color = color;
    applyLook();
}

void TDateEditPlus::SetValidDateColor(TColor color)
{
    m_validDateColor = color;
    applyLook();
}

void TDateEditPlus::SetWeekDays(const QStringList &names)
{
    if (names.size() != 7)
        return;
    m_weekDays = names;
    applyLook();
}

QString TDateEditPlus::WeekDayName() const
{
    const QDate shown = date();
    if (!shown.isValid())
        return {};
    return m_weekDays.value(shown.dayOfWeek() % 7); // Qt: Monday 1 .. Sunday 7
}

void TDateEditPlus::applyLook()
{
    QPalette look = palette();
    const QColor background = m_color.toQColor();
    if (background.isValid())
        look.setColor(QPalette::Base, background);
    // The minimum date stands for "no date": drawn in the ordinary text colour.
    const bool validDate = date().isValid() && date() != minimumDate();
    const QColor text = validDate ? m_validDateColor.toQColor() : QColor();
    look.setColor(QPalette::Text,
                  text.isValid() ? text : QGuiApplication::palette().color(QPalette::Text));
    setPalette(look);
    setToolTip(WeekDayName());
}

} // namespace qor
