#pragma once

#include "data/fielddatalink.h"
#include "forms/label.h"

namespace qor {

class TField;

// A data-aware label: shows the display text of one field of its data source's current
// row, and follows scrolling, edits and reloads. Empty while the field or row is absent.
class TDBText : public TLabel, public TFieldDataLink
{
    Q_OBJECT
public:
    explicit TDBText(QWidget *parent = nullptr);
    ~TDBText() override;

    // The field shown, nullptr when the dataset has none of that name.
    TField *Field() const { return LinkedField(); }

    void dataEvent(TDataEvent event, TField *field) override;

private:
    void linkChanged() override { refresh(); }
    void refresh();
};

} // namespace qor
