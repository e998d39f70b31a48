#include "formsfixture.h"

#include "data/packet.h"
#include "forms/application.h"
#include "rtl/exceptions.h"

#include <QApplication>
#include <QTest>
#include <QVBoxLayout>
#include <cmath>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {

PlanData::PlanData()
    : dataSet(std::make_unique<TClientDataSet>())
{
    code = dataSet->AddField(u"CODE"_s, TFieldType::String, 6);
    code->DisplayLabel = u"Código"_s;
    name = dataSet->AddField(u"NAME"_s, TFieldType::String, 20);
    hours = dataSet->AddField(u"HOURS"_s, TFieldType::Float);
    hours->EditMask = u"00:00"_s;
    kcal = dataSet->AddField(u"KCAL"_s, TFieldType::Float, 0, TFieldKind::Calculated);
    kcal->DisplayFormat = u"0.00"_s;
    hours->OnGetText = [](TField *field, QString &text, bool) {
        if (field->IsNull())
            return;
        const double value = field->AsFloat();
        const int h = int(value);
        const int m = int(std::lround((value - h) * 60));
        text = u"%1:%2"_s.arg(h, 2, 10, QChar(u'0')).arg(m, 2, 10, QChar(u'0'));
    };
    hours->OnSetText = [this](TField *field, const QString &text) {
        hoursTexts.append(text);
        bool okHours = false;
        bool okMinutes = false;
        const int h = text.mid(0, 2).toInt(&okHours);
        const int m = text.mid(3, 2).toInt(&okMinutes);
        if (!okHours || !okMinutes || text.mid(0, 2).contains(u' ')
            || text.mid(3, 2).contains(u' '))
            throw Exception(u"'"_s + text + u"' não é uma hora válida"_s);
        field->SetAsFloat(h + m / 60.0);
    };
    dataSet->OnCalcFields = [this](TDataSet *) {
        if (!hours->IsNull())
            kcal->SetAsFloat(hours->AsFloat() * 2);
    };
    source.SetDataSet(dataSet.get());
}

void PlanData::load(const QList<std::tuple<QString, QString, double>> &rows)
{
    TDataPacket packet;
    packet.fields = {{u"CODE"_s, TFieldType::String, 6},
                     {u"NAME"_s, TFieldType::String, 20},
                     {u"HOURS"_s, TFieldType::Float, 0}};
    for (const auto &[c, n, h] : rows)
        packet.rows.append({c, n, h < 0 ? QVariant() : QVariant(h)});
    dataSet->SetData(packet);
}

QStringList PlanData::codes() const
{
    QStringList result;
    for (int row = 0; row < dataSet->RecordCount(); ++row)
        result.append(dataSet->TextAt(row, code, false));
    return result;
}

GridWindow::GridWindow(PlanData &data)
    : grid(new TDBGrid(this))
    , dbEdit(new TDBEdit(this))
    , other(new TEdit(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(grid);
    layout->addWidget(dbEdit);
    layout->addWidget(other);
    grid->SetDataSource(&data.source);
    grid->Columns()->Add(u"CODE"_s);
    grid->Columns()->Add(u"NAME"_s)->SetReadOnly(true);
    grid->Columns()->Add(u"HOURS"_s);
    grid->Columns()->Add(u"KCAL"_s);
    dbEdit->SetDataSource(&data.source);
    dbEdit->SetDataField(u"NAME"_s);
    resize(500, 300);
}

bool GridWindow::showActive()
{
    show();
    activateWindow();
    if (!QTest::qWaitForWindowActive(this))
        return false;
    grid->setFocus();
    return grid->hasFocus();
}

void typeText(const QString &text)
{
    for (QChar c : text)
        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
}

void press(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
}

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

void MdiTest::SetUp()
{
    main.setCentralWidget(area);
    main.resize(800, 600);
    Application()->SetMainForm(&main);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
}

void MdiTest::TearDown()
{
    Application()->DestroyForms();
    Application()->SetMainForm(nullptr);
}

} // namespace qor::testing

namespace {
// No test of this executable may ever wait on a real modal dialog: scripted dialogs
// are installed before the first test, and each test installs its own on top.
class ScriptedDialogsEverywhere : public ::testing::Environment
{
public:
    void SetUp() override { qor::SetDialogs(std::make_unique<qor::ScriptedDialogs>()); }
};
[[maybe_unused]] auto *const environment =
    ::testing::AddGlobalTestEnvironment(new ScriptedDialogsEverywhere);
} // namespace
