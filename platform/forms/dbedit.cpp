#include "forms/dbedit.h"

#include "data/dataset.h"
#include "data/field.h"
#include "forms/form.h"
#include "forms/guard.h"
#include "forms/keys.h"

#include <QApplication>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QTimer>

namespace qor {

namespace {
bool editing(const TDataSet *ds)
{
    return ds && (ds->State() == dsEdit || ds->State() == dsInsert);
}
} // namespace

TDBEdit::TDBEdit(QWidget *parent)
    : QLineEdit(parent)
    , TControl(this, QPalette::Base, clWindow)
{
    // Text may only arrive through keys, which pass OnKeyPress and put the dataset
    // into edit; a context-menu paste or a drop would bypass both.
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
    connect(this, &QLineEdit::textEdited, this, [this] { m_modified = true; });
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (OnChange)
            guarded([&] { OnChange(this); });
    });
    updateReadOnly();
}

TDBEdit::~TDBEdit() = default;

TField *TDBEdit::Field() const
{
    TField *field = LinkedField();
    return field && field->DataSet()->Active() ? field : nullptr;
}

void TDBEdit::SetText(const QString &text)
{
    setText(text);
    // Reformatting in OnExit must reach the field at the post.
    if (canModify() && editing(DataSource()->DataSet()))
        m_modified = true;
}

void TDBEdit::SetReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    updateReadOnly();
}

bool TDBEdit::canModify() const
{
    const TField *field = Field();
    return !m_readOnly && field && !field->ReadOnly && !field->Calculated()
        && DataSource()->Enabled();
}

void TDBEdit::updateReadOnly()
{
    setReadOnly(!canModify());
}

QString TDBEdit::fieldText() const
{
    return m_mask.qtMask.isEmpty() ? text() : m_mask.fieldText(displayText());
}

void TDBEdit::refresh()
{
    updateReadOnly();
    TField *field = Field();
    const TEditMask mask = parseEditMask(field ? field->EditMask : QString());
    if (mask.qtMask != m_mask.qtMask) {
        m_mask = mask;
        setInputMask(m_mask.qtMask);
    }
    const QString shown = field ? field->Text() : QString();
    // The size counts characters, the edit UTF-16 units (two for a character beyond the
    // basic plane): a limit below the stored text would cut it, and an edit would save
    // it cut.
    if (field && field->DataType() == TFieldType::String && field->Size() > 0
        && m_mask.qtMask.isEmpty())
        setMaxLength(qMax(field->Size(), int(shown.size())));
    else
        setMaxLength(32767);
    if (shown != fieldText())
        setText(shown);
    m_modified = false;
}

bool TDBEdit::ensureEditing()
{
    TDataSet *ds = DataSource() ? DataSource()->DataSet() : nullptr;
    if (!ds || !canModify())
        return false;
    if (!editing(ds))
        ds->Edit(); // insert when the dataset has no row
    return editing(ds);
}

void TDBEdit::writeToField()
{
    if (!m_modified)
        return;
    TField *field = Field();
    if (!field || !editing(field->DataSet())) {
        m_modified = false;
        return;
    }
    field->SetText(fieldText());
    m_modified = false;
}

void TDBEdit::dataEvent(TDataEvent event, TField *field)
{
    switch (event) {
    case TDataEvent::FieldChange:
        if (field && field == Field())
            refresh();
        break;
    case TDataEvent::RecordChange:
    case TDataEvent::DataSetChange:
    case TDataEvent::DataSetScroll:
    case TDataEvent::LayoutChange:
        refresh();
        break;
    case TDataEvent::UpdateState:
        // Leaving edit (post, cancel, close) shows the stored text again; entering it
        // keeps what is being typed.
        if (!editing(DataSource() ? DataSource()->DataSet() : nullptr))
            refresh();
        else
            updateReadOnly();
        break;
    case TDataEvent::UpdateRecord:
        writeToField();
        break;
    case TDataEvent::FocusControl:
        if (field && field == Field())
            SetFocus();
        break;
    }
}

void TDBEdit::keyPressEvent(QKeyEvent *event)
{
    // The keypad's decimal key types the decimal comma even where the layout gives it a
    // point: refused as a point, it would turn 72,5 into 725 without a word.
    if (const auto comma = keypadDecimalAsComma(event)) {
        keyPressEvent(comma.get());
        event->setAccepted(comma->isAccepted());
        return;
    }
    // A key event may carry several characters (a compose sequence, some keyboards and
    // tools): each meets OnKeyPress on its own, or a digit would carry letters with it.
    if (const QString text = event->text(); text.size() > 1 && !event->matches(QKeySequence::Paste)
        && !(text.size() == 2 && text.at(0).isHighSurrogate())) {
        typeEach(text);
        event->accept();
        return;
    }
    QChar key = typedChar(event);
    std::unique_ptr<QKeyEvent> replaced;
    if (!key.isNull()) {
        const QChar typed = key;
        if (OnKeyPress && (!guarded([&] { OnKeyPress(this, key); }) || key.isNull())) {
            event->accept();
            return;
        }
        if (key != typed)
            replaced = retypedEvent(event, key);
    }
    QKeyEvent *e = replaced ? replaced.get() : event;
    if (e->key() == Qt::Key_Escape) {
        // Esc drops what was typed and shows the field again (the dataset stays).
        if (m_modified) {
            guarded([&] { refresh(); });
            selectAll();
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(e);
        return;
    }
    if (modifiesText(e)) {
        bool ready = false;
        if (!guarded([&] { ready = ensureEditing(); }) || !ready) {
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(e);
}

void TDBEdit::inputMethodEvent(QInputMethodEvent *event)
{
    // Composed text taken whole skipped OnKeyPress and left the dataset browsing, so the
    // edit showed text that was never written: it is typed key by key instead.
    const QString committed =
        m_composition.committed(this, event, [this](QInputMethodEvent *composing) {
            QLineEdit::inputMethodEvent(composing);
        });
    typeEach(committed);
}

void TDBEdit::typeEach(const QString &text)
{
    for (const QString &character : characters(text)) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, character);
        keyPressEvent(&key);
    }
}

void TDBEdit::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        doEnter();
}

namespace {
QWidget *owningForm(QWidget *widget)
{
    // Tabbing inside an MDI child passes the focus through the frame around the form.
    if (auto *frame = qobject_cast<QMdiSubWindow *>(widget))
        widget = frame->widget();
    for (; widget; widget = widget->parentWidget()) {
        if (qobject_cast<TForm *>(widget))
            return widget;
    }
    return nullptr;
}
} // namespace

void TDBEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    // Another window or a popup taking the focus is not leaving the control, and
    // neither is the form closing or another form of the MDI area being activated:
    // the control is left only for another control of its own form.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    if (!isVisible() || owningForm(QApplication::focusWidget()) != owningForm(this))
        return;
    if (!guarded([&] { writeToField(); })) {
        // The field refused the text: back into the edit to correct it.
        selectAll();
        QTimer::singleShot(0, this, [this] { SetFocus(); });
        return;
    }
    doExit();
}

} // namespace qor
