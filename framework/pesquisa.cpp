#include "pesquisa.h"

#include "adoibquery.h"
#include "data/dataset.h"
#include "data/datasource.h"
#include "data/field.h"
#include "forms/designscale.h"
#include "forms/dialogs.h"
#include "forms/guard.h"
#include "searchtext.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

constexpr int RowRole = Qt::UserRole + 1; // the dataset row of a line (column 0)
constexpr int KeyRole = Qt::UserRole + 2; // the text as compared by the filter

// Keeps the lines any of whose cells holds the typed text, case and accents aside.
class SearchFilter : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setNeedle(const QString &text)
    {
        m_needle = searchKey(text.trimmed());
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &parent) const override
    {
        if (m_needle.isEmpty())
            return true;
        const QAbstractItemModel *model = sourceModel();
        for (int column = 0; column < model->columnCount(parent); ++column) {
            const QString key = model->index(sourceRow, column, parent).data(KeyRole).toString();
            if (key.contains(m_needle))
                return true;
        }
        return false;
    }

private:
    QString m_needle;
};

// The picker: a filter box over a table of the dataset's rows.
class SearchDialog : public QDialog
{
public:
    SearchDialog(TDataSet *dataSet, const QString &title)
    {
        setObjectName(u"frmPesquisa"_s);
        setWindowTitle(title);
        setModal(true);

        auto *layout = new QVBoxLayout(this);
        auto *prompt = new QLabel(u"Pesquisar por código ou nome:"_s, this);
        filter = new QLineEdit(this);
        filter->setObjectName(u"edtPesquisa"_s);
        filter->setClearButtonEnabled(true);
        prompt->setBuddy(filter);
        table = new QTableView(this);
        table->setObjectName(u"grdPesquisa"_s);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->setSelectionMode(QAbstractItemView::SingleSelection);
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->verticalHeader()->hide();
        table->horizontalHeader()->setStretchLastSection(true);
        auto *buttons = new QDialogButtonBox(this);
        QPushButton *choose = buttons->addButton(u"Selecionar"_s, QDialogButtonBox::AcceptRole);
        buttons->addButton(u"Cancelar"_s, QDialogButtonBox::RejectRole);
        choose->setDefault(true);
        layout->addWidget(prompt);
        layout->addWidget(filter);
        layout->addWidget(table, 1);
        layout->addWidget(buttons);

        fill(dataSet);
        proxy = new SearchFilter(this);
        proxy->setSourceModel(&model);
        table->setModel(proxy);
        for (int column = 0; column < m_widths.size(); ++column)
            table->setColumnWidth(column, m_widths[column]);

        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        connect(filter, &QLineEdit::textChanged, this, [this](const QString &text) {
            proxy->setNeedle(text);
            selectFirst();
        });
        connect(table, &QTableView::doubleClicked, this, [this](const QModelIndex &index) {
            if (index.isValid())
                accept();
        });
        filter->installEventFilter(this);
        selectFirst();
        filter->setFocus();
        resize(designSize(QSize(560, 420), font()));
    }

    // The dataset row of the selected line, -1 when none is selected.
    int chosenRow() const
    {
        const QModelIndex current = table->currentIndex();
        if (!current.isValid())
            return -1;
        return proxy->index(current.row(), 0).data(RowRole).toInt();
    }

    void accept() override
    {
        // Nothing to choose (the filter matched no row): stay open.
        if (chosenRow() >= 0)
            QDialog::accept();
    }

    QLineEdit *filter;
    QTableView *table;

protected:
    // Up and down in the filter box move through the table, so the keyboard alone
    // narrows, picks and chooses.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == filter && event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up
                || key->key() == Qt::Key_PageDown || key->key() == Qt::Key_PageUp) {
                QKeyEvent copy(key->type(), key->key(), key->modifiers());
                QCoreApplication::sendEvent(table, &copy);
                return true;
            }
        }
        return QDialog::eventFilter(watched, event);
    }

private:
    void fill(TDataSet *dataSet)
    {
        QList<TField *> shown;
        for (TField *field : dataSet->Fields()) {
            if (field->Visible)
                shown.append(field);
        }
        model.setColumnCount(int(shown.size()));
        if (shown.isEmpty())
            return; // no column to show a row in: nothing can be chosen
        const int charWidth = fontMetrics().averageCharWidth();
        for (int column = 0; column < shown.size(); ++column) {
            model.setHeaderData(column, Qt::Horizontal, shown[column]->DisplayName());
        }
        for (int row = 0; row < dataSet->RecordCount(); ++row) {
            QList<QStandardItem *> items;
            for (TField *field : shown) {
                const QString text = dataSet->TextAt(row, field, true);
                auto *item = new QStandardItem(text);
                item->setData(searchKey(text), KeyRole);
                if (field->DataType() == TFieldType::Float)
                    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                items.append(item);
            }
            items.first()->setData(row, RowRole);
            model.appendRow(items);
        }
        m_widths.clear();
        for (TField *field : shown) {
            const int chars =
                field->DisplayWidth > 0 ? field->DisplayWidth : qBound(6, field->Size(), 40);
            m_widths.append(chars * charWidth + 16);
        }
    }

    void selectFirst()
    {
        if (proxy->rowCount() > 0)
            table->setCurrentIndex(proxy->index(0, 0));
        else
            table->setCurrentIndex(QModelIndex());
    }

    QStandardItemModel model;
    SearchFilter *proxy = nullptr;
    QList<int> m_widths;
};

} // namespace

bool Pesquisar_Plus(TDataSource *dataSource, const QString &caption, bool autoSelectSingle,
                    bool openDataSet)
{
    TDataSet *dataSet = dataSource ? dataSource->DataSet() : nullptr;
    if (!dataSet)
        return false;

    const qsizetype bar = caption.indexOf(u'|');
    const QString title = bar < 0 ? caption : caption.left(bar);
    QString noRows = bar < 0 ? QString() : caption.mid(bar + 1);
    if (noRows.trimmed().isEmpty())
        noRows = u"Nenhum registro encontrado."_s;

    if (openDataSet || !dataSet->Active()) {
        // A query runs anew, so the list shows what the database holds now.
        if (auto *query = qobject_cast<TADOIBQuery *>(dataSet))
            query->Open();
        else if (!dataSet->Active())
            dataSet->Open();
    }
    if (dataSet->IsEmpty()) {
        Dialogs()->Information(noRows);
        return false;
    }
    if (autoSelectSingle && dataSet->RecordCount() == 1) {
        dataSet->First();
        return true;
    }

    SearchDialog dialog(dataSet, title);
    if (RunModal(&dialog) != QDialog::Accepted)
        return false;
    const int row = dialog.chosenRow();
    if (row < 0 || row >= dataSet->RecordCount())
        return false;
    dataSet->SetRecNo(row + 1);
    return true;
}

} // namespace qor
