#pragma once

#include "data/fielddatalink.h"
#include "forms/composition.h"
#include "forms/control.h"
#include "forms/editmask.h"

#include <QLineEdit>
#include <functional>

namespace qor {

class TDataSet;
class TField;

// A data-aware edit: shows the Text of one field of a data source's current row.
//
// Typing (a character that changes the text) first puts the dataset into edit, which
// is insert when it has no row; a dataset that refuses leaves the key unused. The typed
// text is written to the field (through its set-text handler) when the edit loses the
// focus and when the dataset posts. Order on leaving: the text is written first, then
// OnExit runs; a failing write keeps the focus in the edit and OnExit does not run.
// A SetText while the dataset is editing counts as typed text (it reaches the field at
// the next post or exit), so an OnExit handler may reformat the text.
class TDBEdit : public QLineEdit, public TControl, private TFieldDataLink
{
    Q_OBJECT
public:
    explicit TDBEdit(QWidget *parent = nullptr);
    ~TDBEdit() override;

    using TFieldDataLink::DataField;
    using TFieldDataLink::DataSource;
    using TFieldDataLink::SetDataField;
    using TFieldDataLink::SetDataSource;
    // The bound field, or null while the dataset is closed or lacks it.
    TField *Field() const;

    QString Text() const { return text(); }
    void SetText(const QString &text);
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool readOnly);
    // Whether the text differs from the field's (typed and not yet written).
    bool Modified() const { return m_modified; }

    // Every typed character (backspace 8 and Enter 13 included), before the edit acts
    // on it; setting Key to 0 (or raising EAbort) drops it. Guarded.
    std::function<void(QObject *Sender, QChar &Key)> OnKeyPress;
    // The text changed, by typing or from the field. Guarded.
    std::function<void(QObject *Sender)> OnChange;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void dataEvent(TDataEvent event, TField *field) override;
    void linkChanged() override { refresh(); }
    void refresh();
    void updateReadOnly();
    bool ensureEditing();
    // Types each character of text as a key of its own.
    void typeEach(const QString &text);
    void writeToField();
    bool canModify() const;
    QString fieldText() const;

    bool m_readOnly = false;
    bool m_modified = false;
    bool m_refreshing = false;
    TEditMask m_mask;
    // Composed text, typed key by key; the selection it will replace.
    TComposition m_composition;
};

} // namespace qor
