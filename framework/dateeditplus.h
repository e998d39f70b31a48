#pragma once

#include "forms/colors.h"
#include "rtl/datetime.h"

#include <QDateEdit>
#include <QStringList>

namespace qor {

// A date edit shown as dd/MM/yyyy. The screen sets its date; the weekday of the date is
// shown as its tool tip with the names in WeekDays (Sunday first), and a valid date is
// drawn in ValidDateColor over the background Color.
class TDateEditPlus : public QDateEdit
{
    Q_OBJECT
public:
    explicit TDateEditPlus(QWidget *parent = nullptr);

    // Only the date part of value is kept; a value outside the edit's range (or NaN)
    // leaves the edit empty-looking at its minimum date.
    void SetDate(TDateTime value);
    TDateTime Date() const; // without time of day

    TColor Color() const { return m_color; }
    void SetColor(TColor color);
    TColor ValidDateColor() const { return m_validDateColor; }
    void SetValidDateColor(TColor color);
    // Seven names, Sunday first; anything else is refused (the names are kept).
    QStringList WeekDays() const { return m_weekDays; }
    void SetWeekDays(const QStringList &names);
    // The name of the shown date's weekday from WeekDays.
    QString WeekDayName() const;

    bool Enabled() const { return isEnabled(); }
    void SetEnabled(bool enabled) { setEnabled(enabled); }

private:
    void applyLook();

    TColor m_color = clWindow;
    TColor m_validDateColor = clWindowText;
    QStringList m_weekDays;
};

} // namespace qor
