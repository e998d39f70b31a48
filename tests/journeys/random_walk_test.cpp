// Long random sequences of what a dietitian does on the screen (the weight typed and
// confirmed or dropped, rows added, changed, deleted, searched, reloaded, keys and clicks
// in between), with the host handing the screen another consultation now and then and
// the server stopping for a few steps, each step checked against a small model of what
// she expects: the lines of the grid and their figures, the total, which commands are
// offered, the consultation named, what she is told, and what the server stored under
// each consultation. The generator is seeded and the seed printed, so a failing walk can be
// replayed; QOR_WALK_SEEDS, QOR_WALK_RANDOM and QOR_WALK_STEPS (below) make the walk
// longer than the suite's.
#include "journey.h"

#include "data/clientdataset.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "forms/edit.h"
#include "forms/menuitem.h"
#include "framework/buttonflat.h"
#include "framework/consiste.h"
#include "framework/dateeditplus.h"
#include "rtl/convert.h"
#include "rtl/exceptions.h"
#include "sql/sqlquery.h"

#include <QAbstractItemModel>
#include <QLineEdit>
#include <QLocale>
#include <QMap>
#include <QRegularExpression>
#include <cmath>
#include <gtest/gtest.h>
#include <optional>
#include <random>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

// The exercises the walk plans (code, catalogue name, kcal per kg per hour).
struct Exercise
{
    QString code;
    QString name;
    double met;
};
const QList<Exercise> Catalogue{
    {u"017190"_s, u"Caminhada, 4,5 a 5,1 km/h, plano, ritmo moderado"_s, 3.5},
    {u"002054"_s, u"Musculação, vários exercícios, 8 a 15 repetições"_s, 3.5},
    {u"018310"_s, u"Natação, lazer, geral"_s, 6.0},
    {u"002120"_s, u"Hidroginástica"_s, 5.3},
    {u"012020"_s, u"Corrida leve (jogging), geral"_s, 7.0},
    {u"007030"_s, u"Dormindo"_s, 0.95},
    {u"015675"_s, u"Tênis, geral"_s, 7.3},
    {u"002105"_s, u"Pilates, geral"_s, 3.0},
};
// What the user types into the code column: known codes, short forms, unknown codes.
const QStringList TypedCodes{u"17190"_s, u"017190"_s, u"2120"_s,  u"002054"_s, u"18310"_s,
                             u"12020"_s, u"7030"_s,   u"15675"_s, u"99999"_s,  u"5"_s};
// Search filters and the exercise each one finds.
const QList<std::pair<QString, QString>> Searches{
    {u"Hidrogin"_s, u"002120"_s}, {u"Dormindo"_s, u"007030"_s}, {u"Pilates"_s, u"002105"_s}};

const QLocale Brazil(QLocale::Portuguese, QLocale::Brazil);

std::optional<Exercise> lookUp(const QString &code)
{
    for (const Exercise &exercise : Catalogue) {
        if (exercise.code == code)
            return exercise;
    }
    return std::nullopt;
}

QString adjusted(const QString &typed)
{
    const QString trimmed = typed.trimmed();
    return trimmed.isEmpty() ? QString()
                             : QString(6 - qMin(6, int(trimmed.size())), u'0') + trimmed;
}

// The weight text as a number, when it is one.
std::optional<double> weightNumber(const QString &text)
{
    if (text.trimmed().isEmpty())
        return std::nullopt;
    try {
        return StrToFloat(text);
    } catch (const EConvertError &) {
        return std::nullopt;
    }
}

QString hhmm(double hours)
{
    const int minutes = int(std::lround(hours * 60));
    return u"%1:%2"_s.arg(minutes / 60, 2, 10, QChar(u'0')).arg(minutes % 60, 2, 10, QChar(u'0'));
}

QString kcal(double value)
{
    return Brazil.toString(value, 'f', 3);
}

// A figure shown with three decimals is the value rounded; a value lying on a half (to
// the last bits of a double) may go either way.
bool showsFigure(const QString &shown, double value)
{
    return shown == kcal(value) || shown == kcal(value * (1 + 1e-12))
        || shown == kcal(value * (1 - 1e-12));
}

struct PlanRow
{
    QString code;
    double hours = 0;
    double met = 0;
};

// Maria's plan in the demo data, which every walk starts from.
const QList<PlanRow> DemoPlan{
    {u"017190"_s, 1.0, 3.5}, {u"002054"_s, 0.75, 3.5}, {u"018310"_s, 0.5, 6.0}};

enum class Mode { Browse, WeightEdit, RowInsert, RowEdit };

const char *modeName(Mode mode)
{
    switch (mode) {
    case Mode::Browse:
        return "browse";
    case Mode::WeightEdit:
        return "weight being typed";
    case Mode::RowInsert:
        return "row being added";
    case Mode::RowEdit:
        return "row being changed";
    }
    return "?";
}

// The consultations the host hands the screen: Maria's of today (the demo's), João's of
// today and Maria's of yesterday (neither with a weight nor a plan at first).
struct Consultation
{
    QString patient;
    int daysBack = 0;
    QString name;
    TDateTime date() const { return Date() - daysBack; }
};
const QList<Consultation> Consultations{
    {Maria, 0, u"Maria da Silva"_s}, {Joao, 0, u"João Pereira"_s}, {Maria, 1, u"Maria da Silva"_s}};

const QString CancelQuestion = u"Deseja cancelar as alterações?"_s;

// What a consultation not on the screen holds.
struct Kept
{
    QMap<QString, PlanRow> saved;
    std::optional<QString> weightStored;
};

// What the dietitian expects the screen and the server to hold.
struct Model
{
    QMap<QString, PlanRow> saved; // by code
    std::optional<QString> weightStored; // null: no weight row
    QString weightShown; // the weight edit's text
    Mode mode = Mode::Browse;
    // The row being added or changed.
    QString code; // as the field holds it
    std::optional<double> hours;
    std::optional<double> met;
    QString editedCode; // the saved row being changed
    bool codeColumn = false; // the code column is selected

    bool weightLocked() const { return weightStored && !weightStored->trimmed().isEmpty(); }
    double dailyKcal(const PlanRow &row, const QString &weightText) const
    {
        const std::optional<double> weight = weightNumber(weightText);
        return weight ? *weight * row.met * row.hours / 7.0 : 0.0;
    }
};

class RandomWalk : public Journey
{
protected:
    void SetUp() override
    {
        Journey::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // The "Canc" and "Excl" questions are answered as the walk decides; an unexpected
        // question gets No.
        harness->dialogs().DefaultAnswer = mrNo;
    }

    void walk(unsigned seed, int steps);
    // Back to the demo data: Maria's weight and three rows of today, nothing else.
    void resetData();
    const Consultation &shown() const { return Consultations.at(m_shown); }

    int m_shown = 0; // the consultation on the screen
    QList<Kept> m_kept; // what each of the others holds
    bool m_down = false; // qor-server is stopped
    bool m_loaded = true; // the screen shows its consultation (its load did not fail)

    // --- The grid, as the user works it ---
    int columnOf(const QString &fieldName) const { return IndiceCol(form->dbgPadrao, fieldName); }
    void clickCell(int row, const QString &fieldName)
    {
        TDBGrid *grid = form->dbgPadrao;
        const QModelIndex index = grid->model()->index(qMax(0, row), columnOf(fieldName));
        grid->scrollTo(index);
        ScreenHarness::click(grid->viewport(), grid->visualRect(index).center());
    }
    QString shownCell(int row, const QString &fieldName) const
    {
        return form->dbgPadrao->model()
            ->index(row, columnOf(fieldName))
            .data(Qt::DisplayRole)
            .toString();
    }

    // --- The actions ---
    void typeWeightKeys();
    void typeAWholeWeight();
    void leaveTheWeight();
    void confirmAction();
    void cancelAction();
    void newRow(bool byKey);
    void newRowAsked();
    void typeACode();
    void leaveCodeColumn();
    void typeATime();
    void otherRowWhileEditing();
    void escape();
    void changeRow();
    void deleteRow();
    void verifyAction();
    void searchAction();
    void selectRowAction();
    void hostOpensAConsultation();
    void serverStops();
    void serverStarts();

    // What happens when the row being added or changed is posted.
    void expectPost();
    // The code column is left: the code checked, for a new row the duplicate check.
    bool expectColumnExit();
    void expectComplaint(const QString &text) { m_expected.append(text); }

    void check(int step);
    void checkStored();

    std::mt19937 m_random;
    Model m;
    QStringList m_expected;
    QStringList m_trail; // the actions so far, for the failure report

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }
    bool chance(int percent) { return pick(100) < percent; }
    void note(const QString &what) { m_trail.append(what); }
};

const QString CodInf = u"Código deve ser informado."_s;
const QString CodNc = u"Exercício não cadastrado."_s;
const QString PesoInf = u"Peso deve ser informado."_s;
const QString HorasInf = u"Horas/semana deve ser informada."_s;
const QString JaCadastrado = u"Exercício físico já cadastrado."_s;
const QString PesoInvalido = u"Peso inválido"_s; // the start of the message
// Any of the sentences that say the server cannot be reached: the link was lost, or no
// connection could be made (with the address and the reason).
const QString ServerDown = u"(servidor fora de alcance)"_s;
bool saysServerDown(const QString &text)
{
    static const QRegularExpression readable(
        u"^(Conexão com o servidor de aplicação perdida\\.|Não foi possível conectar ao "
        u"servidor de aplicação em 127\\.0\\.0\\.1:\\d+: [^A-Z].*\\.)$"_s);
    return readable.match(text).hasMatch();
}

void RandomWalk::typeWeightKeys()
{
    static const QString Keys = u"0123456789,,a\b"_s;
    const int n = 1 + pick(3);
    QString keys;
    for (int i = 0; i < n; ++i)
        keys.append(Keys.at(pick(Keys.size())));
    note(u"weight keys [%1]"_s.arg(QString(keys).replace(u'\b', u'<')));
    ScreenHarness::click(form->dbePeso);
    press(Qt::Key_End);
    for (const QChar key : keys) {
        QString &text = m.weightShown;
        bool changed = false;
        if (key == u'\b') {
            text.chop(1);
            press(Qt::Key_Backspace);
            // Backspace starts the edit even with nothing to erase.
            m.mode = Mode::WeightEdit;
            continue;
        }
        if (key.isDigit() && text.size() < 6) {
            text.append(key);
            changed = true;
        } else if (key == u',' && !text.isEmpty() && !text.contains(u',')) {
            text.append(key);
            changed = true;
        } else if (key.isDigit()) {
            continue; // kept short: a weight, not a phone number
        }
        typeText(QString(key));
        if (changed)
            m.mode = Mode::WeightEdit;
    }
}

void RandomWalk::typeAWholeWeight()
{
    static const QStringList Weights{u"72,456"_s, u"70,00"_s, u"1,005"_s,  u"68,125"_s,
                                     u"0"_s,      u"100,5"_s, u"59,995"_s, u"0,004"_s};
    const QString weight = Weights.at(pick(Weights.size()));
    note(u"weight typed over: %1"_s.arg(weight));
    ScreenHarness::click(form->dbePeso);
    press(Qt::Key_End);
    for (int i = 0; i < m.weightShown.size(); ++i)
        press(Qt::Key_Backspace);
    typeText(weight);
    m.weightShown = weight;
    m.mode = Mode::WeightEdit;
}

void RandomWalk::leaveTheWeight()
{
    note(u"leave the weight"_s);
    ScreenHarness::click(form->dbePeso);
    press(Qt::Key_Tab);
    const std::optional<double> weight = weightNumber(m.weightShown);
    if (!weight) {
        expectComplaint(PesoInvalido);
        return;
    }
    // Rounded to two decimals as written, halves up: 72,456 is 72,46; 70,00 is 70.
    const QStringList parts = m.weightShown.split(u',');
    const QString decimals = parts.value(1) + u"000"_s;
    qint64 cents = parts.at(0).toLongLong() * 100 + decimals.left(2).toInt();
    if (decimals.at(2) >= u'5')
        ++cents;
    QString text = QString::number(cents / 100);
    if (cents % 100 != 0) {
        QString fraction = u"%1"_s.arg(cents % 100, 2, 10, QChar(u'0'));
        if (fraction.endsWith(u'0'))
            fraction.chop(1);
        text += u',' + fraction;
    }
    if (text != m.weightShown) {
        m.weightShown = text;
        m.mode = Mode::WeightEdit;
    }
}

void RandomWalk::expectPost()
{
    const QString code = adjusted(m.code);
    m.code = code;
    if (code.isEmpty()) {
        expectComplaint(CodInf);
        m.codeColumn = true;
        return;
    }
    const std::optional<Exercise> exercise = lookUp(code);
    if (!exercise) {
        expectComplaint(CodNc);
        m.codeColumn = true;
        return;
    }
    m.met = exercise->met;
    if (!m.hours) {
        // The time column takes the focus: leaving the code column of a new row checks
        // for a duplicate first, and that refusal is the one shown.
        if (m.codeColumn && !expectColumnExit())
            return;
        expectComplaint(HorasInf);
        m.codeColumn = false;
        return;
    }
    const bool newRow = m.mode == Mode::RowInsert;
    if (m.codeColumn && (newRow || code != m.editedCode)) {
        if (m_down) {
            // The check for a duplicate cannot be made: the row stays as typed.
            expectComplaint(ServerDown);
            return;
        }
        if (m.saved.contains(code)) {
            expectComplaint(JaCadastrado);
            return;
        }
    }
    const PlanRow before = m.saved.value(m.editedCode);
    const bool unchanged = !newRow && code == before.code
        && std::abs(*m.hours - before.hours) < 1e-9 && std::abs(*m.met - before.met) < 1e-9;
    if (m_down && !unchanged) {
        // The save cannot reach the server: the row goes back to its last saved state.
        expectComplaint(ServerDown);
        m.mode = Mode::Browse;
        m.codeColumn = false;
        return;
    }
    if (!newRow)
        m.saved.remove(m.editedCode);
    m.saved.insert(code, {code, *m.hours, *m.met});
    m.mode = Mode::Browse;
}

bool RandomWalk::expectColumnExit()
{
    m.code = adjusted(m.code);
    if (!m.code.isEmpty()) {
        const std::optional<Exercise> exercise = lookUp(m.code);
        if (!exercise) {
            expectComplaint(CodNc);
            return false;
        }
        m.met = exercise->met;
    }
    if (m.mode == Mode::RowInsert && m.codeColumn && (m_down || m.saved.contains(m.code))) {
        expectComplaint(m_down ? ServerDown : JaCadastrado);
        return false;
    }
    m.codeColumn = false;
    return true;
}

void RandomWalk::confirmAction()
{
    note(u"confirm"_s);
    confirm();
    if (m.mode == Mode::WeightEdit) {
        if (!m.weightShown.trimmed().isEmpty() && !weightNumber(m.weightShown)) {
            expectComplaint(PesoInvalido);
            return;
        }
        if (m_down) {
            // The assessment method cannot be read: the weight stays as typed.
            expectComplaint(ServerDown);
            return;
        }
        m.weightStored = m.weightShown;
        m.mode = Mode::Browse;
    } else if (m.mode == Mode::RowInsert || m.mode == Mode::RowEdit) {
        expectPost();
    }
}

void RandomWalk::cancelAction()
{
    const bool yes = chance(70);
    note(yes ? u"cancel, Yes"_s : u"cancel, No"_s);
    cancel(yes ? mrYes : mrNo);
    if (!yes)
        return;
    if (m.mode == Mode::WeightEdit)
        m.weightShown = m.weightStored.value_or(QString());
    m.mode = Mode::Browse;
}

void RandomWalk::newRow(bool byKey)
{
    if (byKey) {
        // Down on the last line adds a line, as Incluir does.
        note(u"Down on the last line"_s);
        clickCell(form->dbgPadrao->model()->rowCount() - 1, u"CDEXERFISICO"_s);
        press(Qt::Key_Down);
    } else {
        note(u"Incluir"_s);
        startNewRow();
    }
    newRowAsked();
}

// A new line was asked for: refused without a weight, else typed from its code column.
void RandomWalk::newRowAsked()
{
    if (m.weightShown.trimmed().isEmpty()) {
        expectComplaint(PesoInf);
        return;
    }
    m.mode = Mode::RowInsert;
    m.code.clear();
    m.hours.reset();
    m.met.reset();
    m.editedCode.clear();
    m.codeColumn = true;
}

void RandomWalk::typeACode()
{
    const QString code = TypedCodes.at(pick(TypedCodes.size()));
    note(u"type code %1"_s.arg(code));
    if (!m.codeColumn) {
        // Into the code cell first: leaving the other column checks the code there.
        clickCell(form->cdsPlaneja->CurrentRow(), u"CDEXERFISICO"_s);
        if (!expectColumnExit())
            return;
        m.codeColumn = true;
    }
    // An editor left open (by the search dialog) still holds its code: erased first.
    if (form->dbgPadrao->EditorMode()) {
        press(Qt::Key_End);
        for (int i = 0; i < 6; ++i)
            press(Qt::Key_Backspace);
    }
    typeCode(code);
    if (m.mode == Mode::RowInsert)
        m.code = code; // the editor's text replaces the field's once it is written
    // Outside a new row the code column takes no typing.
    if (m.mode == Mode::RowInsert)
        leaveCodeColumn();
}

void RandomWalk::leaveCodeColumn()
{
    note(u"Tab"_s);
    leaveColumn();
    expectColumnExit();
}

void RandomWalk::typeATime()
{
    static const QStringList Times{u"0130"_s, u"0045"_s, u"2359"_s, u"0000"_s, u"1000"_s,
                                   u"0205"_s, u"2500"_s, u"1260"_s, u"0001"_s};
    const QString time = Times.at(pick(Times.size()));
    // Left with Tab, or confirmed straight from the editor.
    const bool thenConfirm = chance(30);
    note(u"type time %1%2"_s.arg(time, thenConfirm ? u", confirm"_s : u""_s));
    if (form->dbgPadrao->SelectedField() != form->cdsPlanejaQTHREXERFISI) {
        clickCell(form->cdsPlaneja->CurrentRow(), u"QTHREXERFISI"_s);
        if (m.codeColumn && !expectColumnExit())
            return; // the move was refused; nothing typed
        m.codeColumn = false;
    }
    typeText(time);
    if (thenConfirm)
        confirm();
    else
        press(Qt::Key_Tab);
    const int h = time.left(2).toInt();
    const int min = time.mid(2).toInt();
    if (h > 23 || min > 59) {
        expectComplaint(u"'%1:%2' não é uma hora válida"_s.arg(time.left(2), time.mid(2)));
        if (chance(30)) {
            // A click elsewhere in the row writes the text again: refused again, and the
            // editor keeps it (and the keys) for the Esc that follows.
            note(u"click the code cell"_s);
            clickCell(form->cdsPlaneja->CurrentRow(), u"CDEXERFISICO"_s);
            expectComplaint(m_expected.constLast());
        }
        if (chance(50)) {
            // The first Esc drops the refused text; the row stays as it was.
            note(u"Esc"_s);
            press(Qt::Key_Escape);
            return;
        }
        // The refused text is still there to correct: erased and typed again.
        note(u"corrected to 0215"_s);
        for (int i = 0; i < 5; ++i)
            press(Qt::Key_Backspace);
        typeText(u"0215"_s);
        press(Qt::Key_Tab);
        m.hours = RoundDec(2.25, 8);
        return;
    }
    m.hours = RoundDec(h + min / 60.0, 8);
    if (thenConfirm)
        expectPost();
}

void RandomWalk::otherRowWhileEditing()
{
    const int rows = form->dbgPadrao->model()->rowCount();
    const int current = form->cdsPlaneja->CurrentRow();
    if (current > 0 && chance(30)) {
        // Up to the line above: the row is saved first, in whatever column.
        note(u"Up while typing"_s);
        press(Qt::Key_Up);
        expectPost();
        return;
    }
    int target = pick(rows);
    if (target == current)
        target = (target + 1) % rows;
    const QString targetCode = shownCell(target, u"CDEXERFISICO"_s);
    note(u"click the line of %1"_s.arg(targetCode));
    clickCell(target, u"CDEXERFISICO"_s);
    // Leaving another column for the code column checks the code there first.
    if (!m.codeColumn) {
        m.code = adjusted(m.code);
        if (!m.code.isEmpty() && !lookUp(m.code)) {
            expectComplaint(CodNc);
            return;
        }
    }
    expectPost();
    if (m.mode == Mode::Browse && !m_down) {
        EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), targetCode)
            << "the line clicked is the current one once the row is saved";
    }
}

void RandomWalk::escape()
{
    note(u"Esc"_s);
    press(Qt::Key_Escape);
    m.mode = Mode::Browse;
}

void RandomWalk::changeRow()
{
    const QString current = form->cdsPlaneja->FieldByName(u"CDEXERFISICO"_s)->AsString();
    note(u"Alterar on %1"_s.arg(current));
    ScreenHarness::click(form->sbtAlterar);
    m.mode = Mode::RowEdit;
    const PlanRow row = m.saved.value(current);
    m.code = row.code;
    m.editedCode = row.code;
    m.hours = row.hours;
    m.met = row.met;
    m.codeColumn = false;
}

void RandomWalk::deleteRow()
{
    const QString current = form->cdsPlaneja->FieldByName(u"CDEXERFISICO"_s)->AsString();
    const bool yes = chance(70);
    note(u"Excluir %1, %2"_s.arg(current, yes ? u"Yes"_s : u"No"_s));
    harness->dialogs().QueueAnswer(yes ? mrYes : mrNo);
    ScreenHarness::click(form->sbtExcluir);
    if (yes && m_down)
        expectComplaint(ServerDown); // the row comes back
    else if (yes)
        m.saved.remove(current);
}

void RandomWalk::verifyAction()
{
    const bool editing = m.mode == Mode::RowInsert || m.mode == Mode::RowEdit;
    const bool yes = chance(60);
    note(editing ? (yes ? u"Verificar, Yes"_s : u"Verificar, No"_s) : u"Verificar"_s);
    if (editing)
        harness->dialogs().QueueAnswer(yes ? mrYes : mrNo);
    verify();
    if (editing && yes)
        m.mode = Mode::Browse;
    if (m_down && (!editing || yes))
        expectComplaint(ServerDown); // the plan keeps its rows
}

void RandomWalk::searchAction()
{
    // The button shows on the code cell's editor: the user opens it first. (A changed
    // row shows it too, and it does nothing there.)
    if (!form->dbgPadrao->EditButton()) {
        clickCell(form->cdsPlaneja->CurrentRow(), u"CDEXERFISICO"_s);
        m.codeColumn = true; // a changed row's code is a catalogue one: it passes
        if (!form->dbgPadrao->EditButton())
            press(Qt::Key_Return);
    }
    QAbstractButton *button = form->dbgPadrao->EditButton();
    const bool choose = chance(70);
    const auto &[filter, code] = Searches.at(pick(Searches.size()));
    note(choose ? u"search %1"_s.arg(filter) : u"search, cancelled"_s);
    if (!button) {
        ADD_FAILURE() << "the code column of the row shows no search button";
        return;
    }
    setSearchFilter(choose ? filter : QString());
    ScreenHarness::click(button);
    setSearchFilter(QString());
    activate();
    if (choose && m.mode == Mode::RowInsert && m.codeColumn) {
        m.code = code;
        m.met = lookUp(code)->met;
    }
}

void RandomWalk::selectRowAction()
{
    const int rows = form->dbgPadrao->model()->rowCount();
    if (chance(50)) {
        note(u"click a line"_s);
        clickCell(pick(rows), u"CDEXERFISICO"_s);
    } else if (chance(20)) {
        // Insert adds a line above the current one, as Incluir adds one at the end.
        note(u"Insert"_s);
        form->dbgPadrao->SetFocus();
        press(Qt::Key_Insert);
        newRowAsked();
    } else {
        const bool up = chance(50);
        note(up ? u"Up"_s : u"Down"_s);
        form->dbgPadrao->SetFocus();
        if (!up && form->cdsPlaneja->CurrentRow() == rows - 1)
            return newRow(true);
        press(up ? Qt::Key_Up : Qt::Key_Down);
    }
}

// The host hands the screen a consultation (the one shown, or another). With something
// being typed, another one first asks whether to drop it: Yes drops it, No keeps it and
// the consultation it is typed for.
void RandomWalk::hostOpensAConsultation()
{
    const int target = pick(Consultations.size());
    // A screen whose load failed shows no consultation: the one asked for is loaded.
    const bool another = target != m_shown || !m_loaded;
    const bool asked = another && m.mode != Mode::Browse;
    const bool yes = asked && chance(60);
    const QString answer = !asked ? QString() : yes ? u", Yes"_s : u", No"_s;
    note(u"host opens consultation %1%2"_s.arg(target).arg(answer));
    if (asked)
        harness->dialogs().QueueAnswer(yes ? mrYes : mrNo);
    TfrmPlanejaExerc *const before = form;
    const Consultation &consultation = Consultations.at(target);
    openConsultation(consultation.patient, consultation.name, consultation.date());
    EXPECT_EQ(form, before) << "a second screen was made";
    EXPECT_EQ(questions(), asked ? QStringList{CancelQuestion} : QStringList{});
    if (!another || (asked && !yes))
        return;
    if (m_loaded)
        m_kept[m_shown] = {m.saved, m.weightStored};
    m_shown = target;
    m = Model{};
    if (m_down) {
        // Nothing of the consultation can be read: the screen shows none.
        expectComplaint(ServerDown);
        m_loaded = false;
        return;
    }
    m_loaded = true;
    m.saved = m_kept.at(target).saved;
    m.weightStored = m_kept.at(target).weightStored;
    m.weightShown = m.weightStored.value_or(QString());
}

// The screen sits idle meanwhile: its event loop sees the connection close, as the
// host's does between two actions of the user.
void RandomWalk::serverStops()
{
    note(u"server stops"_s);
    stopServer();
    ScreenHarness::processEvents();
    m_down = true;
}

void RandomWalk::serverStarts()
{
    note(u"server starts"_s);
    startServer();
    m_down = false;
}

void RandomWalk::check(int step)
{
    // QOR_WALK_DEBUG prints each step as the screen stands after it.
    if (qEnvironmentVariableIsSet("QOR_WALK_DEBUG")) {
        TDBGrid *grid = form->dbgPadrao;
        const QLineEdit *editor = grid->EditorMode() ? grid->InplaceEditor() : nullptr;
        std::cout << step << ' ' << m_trail.value(m_trail.size() - 1).toStdString() << " -> code "
                  << form->cdsPlanejaCDEXERFISICO->AsString().toStdString() << ", editor "
                  << (editor ? editor->text().toStdString() : "(closed)") << ", column "
                  << (grid->SelectedField() ? grid->SelectedField()->FieldName().toStdString()
                                            : std::string())
                  << ", told " << complaints().join(u'|').toStdString() << std::endl;
    }
    const std::string trail = m_trail.join(u" / "_s).toStdString();
    SCOPED_TRACE(::testing::Message()
                 << "step " << step << " (" << modeName(m.mode) << "), actions: " << trail);

    // The complaints the user read are the ones expected, in that order.
    QStringList told = complaints();
    for (QString &text : told) {
        if (text.startsWith(PesoInvalido))
            text = PesoInvalido;
        else if (saysServerDown(text))
            text = ServerDown;
    }
    EXPECT_EQ(told, m_expected);
    // Nothing was left up over a failure.
    for (const ShownError &error : errors()) {
        EXPECT_FALSE(error.busyIndicatorUp) << error.text.toStdString();
        EXPECT_FALSE(error.hourglass) << error.text.toStdString();
    }
    forgetMessages();
    m_expected.clear();

    checkStored();
    if (!m_loaded) {
        // The load failed: nothing of any consultation is shown, nothing can be typed.
        EXPECT_EQ(form->edtPaciente->Text(), QString());
        EXPECT_EQ(form->dbgPadrao->model()->rowCount(), 0);
        EXPECT_FALSE(form->sbtIncluir->Enabled());
        EXPECT_FALSE(form->sbtConfirmar->Enabled());
        EXPECT_FALSE(form->EditingInProgress());
        return;
    }

    // The editing states.
    const TDataSetState plan = form->cdsPlaneja->State();
    const TDataSetState weight = form->cdsPeso->State();
    const bool weightEditing = weight == dsEdit || weight == dsInsert;
    EXPECT_EQ(weightEditing, m.mode == Mode::WeightEdit);
    EXPECT_EQ(plan == dsInsert, m.mode == Mode::RowInsert);
    EXPECT_EQ(plan == dsEdit, m.mode == Mode::RowEdit);

    // The commands offered.
    const bool rowEditing = m.mode == Mode::RowInsert || m.mode == Mode::RowEdit;
    const bool finishing = m.mode != Mode::Browse;
    EXPECT_EQ(form->sbtConfirmar->Enabled(), finishing);
    EXPECT_EQ(form->sbtCancelar->Enabled(), finishing);
    EXPECT_EQ(form->sbtIncluir->Enabled(), m.mode == Mode::Browse);
    const bool records = !rowEditing && !m.saved.isEmpty();
    EXPECT_EQ(form->sbtAlterar->Enabled(), records);
    EXPECT_EQ(form->sbtExcluir->Enabled(), records);
    EXPECT_EQ(form->sbtFechar->Enabled(), !rowEditing);
    for (TMenuItem *item : form->Commands())
        EXPECT_EQ(item->Enabled(), form->ButtonOf(item)->Enabled());
    if (!rowEditing) {
        EXPECT_EQ(form->dbgPadrao->Enabled(), m.mode == Mode::Browse && m.weightLocked());
    }
    EXPECT_EQ(form->dbePeso->Enabled(), !m.weightLocked());
    EXPECT_EQ(form->dbePeso->Text(), m.weightShown);

    // The lines of the grid: the saved rows, and the row being added.
    const int rows = form->dbgPadrao->model()->rowCount();
    EXPECT_EQ(rows, m.saved.size() + (m.mode == Mode::RowInsert ? 1 : 0));
    QMap<QString, PlanRow> expected = m.saved;
    if (m.mode == Mode::RowEdit)
        expected.remove(m.editedCode);
    const int current = form->cdsPlaneja->CurrentRow();
    for (int row = 0; row < rows; ++row) {
        const QString code = shownCell(row, u"CDEXERFISICO"_s);
        if (rowEditing && row == current) {
            EXPECT_EQ(code, m.code) << "the line being typed";
            EXPECT_EQ(shownCell(row, u"QTHREXERFISI"_s), m.hours ? hhmm(*m.hours) : QString())
                << "the line being typed";
            continue;
        }
        if (!expected.contains(code)) {
            ADD_FAILURE() << "the grid shows " << code.toStdString() << " the model lacks";
            continue;
        }
        const PlanRow planned = expected.take(code);
        EXPECT_EQ(shownCell(row, u"QTHREXERFISI"_s), hhmm(planned.hours)) << code.toStdString();
        EXPECT_EQ(shownCell(row, u"DSEXERFISICO"_s), lookUp(code)->name) << code.toStdString();
        if (m.mode == Mode::Browse) {
            const QString figure = shownCell(row, u"Kcal/Dia"_s);
            if (planned.hours > 0) {
                EXPECT_PRED2(showsFigure, figure, m.dailyKcal(planned, m.weightShown))
                    << code.toStdString();
            } else {
                EXPECT_EQ(figure, QString()) << code.toStdString();
            }
        }
    }
    for (const PlanRow &missing : expected)
        ADD_FAILURE() << "the grid lacks " << missing.code.toStdString();

    // The total, once nothing is being typed.
    if (m.mode == Mode::Browse) {
        double sum = 0;
        for (const PlanRow &row : m.saved)
            sum += row.hours > 0 ? m.dailyKcal(row, m.weightShown) : 0;
        EXPECT_PRED2(showsFigure, shownTotal(), sum);
    }

    // The screen names the consultation it shows.
    EXPECT_EQ(form->edtPaciente->Text(), shown().name);
    EXPECT_EQ(form->depDataCons->Date(), shown().date());
}

// What the server holds: for the consultation shown its saved rows and weight, nothing
// typed and not confirmed; for the others what they held.
void RandomWalk::checkStored()
{
    int rowsKept = 0;
    int weightsKept = 0;
    for (int index = 0; index < Consultations.size(); ++index) {
        const Consultation &consultation = Consultations.at(index);
        const Kept kept =
            index == m_shown && m_loaded ? Kept{m.saved, m.weightStored} : m_kept.at(index);
        QList<StoredRow> rows;
        for (const PlanRow &row : kept.saved)
            rows.append({row.code, row.hours, row.met});
        EXPECT_EQ(storedPlan(consultation.patient, consultation.date()), rows)
            << "the plan of consultation " << index;
        const QVariant weight = storedWeight(consultation.patient, consultation.date());
        if (kept.weightStored)
            EXPECT_EQ(weight.toString(), *kept.weightStored) << "consultation " << index;
        else
            EXPECT_TRUE(weight.isNull()) << "consultation " << index;
        // A weight is kept under its consultation's assessment method, made with it.
        EXPECT_EQ(storedMethod(consultation.patient, consultation.date()).isNull(),
                  !kept.weightStored)
            << "the assessment method of consultation " << index;
        rowsKept += int(kept.saved.size());
        weightsKept += kept.weightStored ? 1 : 0;
    }
    // Nothing went anywhere else.
    EXPECT_EQ(count(u"SELECT COUNT(*) FROM PLAEXERFISI"_s), rowsKept);
    EXPECT_EQ(count(u"SELECT COUNT(*) FROM INFOAVAL"_s), weightsKept);
    EXPECT_EQ(count(u"SELECT COUNT(*) FROM METOAVAL"_s), weightsKept);
}

void RandomWalk::walk(unsigned seed, int steps)
{
    m_random.seed(seed);
    m = Model{};
    m_trail.clear();
    // João has no weight nor plan; Maria her weight and three rows, or the rows and a
    // weight recorded blank (the plan locked until a weight is typed).
    const int start = int(seed % 3);
    const bool maria = start != 0;
    m_shown = maria ? 0 : 1;
    m_kept = QList<Kept>(Consultations.size());
    m_loaded = true;
    std::cout << "random walk: seed " << seed << ", " << steps << " steps, "
              << (start == 0       ? "João"
                      : start == 1 ? "Maria"
                                   : "Maria, blank weight")
              << std::endl;
    if (start == 2) {
        SqlStatement blank(harness->server().db(), u"UPDATE INFOAVAL SET DSINFOAVAL = ''"_s);
        blank.exec();
    }
    Kept &demo = m_kept[0];
    demo.weightStored = start == 2 ? QString() : u"68,5"_s;
    for (const PlanRow &row : DemoPlan)
        demo.saved.insert(row.code, row);
    if (maria) {
        m.saved = demo.saved;
        m.weightStored = demo.weightStored;
        m.weightShown = *m.weightStored;
    }
    ASSERT_NE(openConsultation(shown().patient, shown().name, shown().date()), nullptr);
    forgetMessages();
    check(0);
    for (int step = 1; step <= steps && !HasFailure(); ++step) {
        // Now and then the server stops for a few steps, and the host hands the screen a
        // consultation, whatever is being typed. A screen whose load failed waits for
        // the host.
        if (m_down ? chance(20) : chance(1)) {
            m_down ? serverStarts() : serverStops();
            check(step);
            continue;
        }
        if (!m_loaded || chance(3)) {
            hostOpensAConsultation();
            check(step);
            continue;
        }
        switch (m.mode) {
        case Mode::Browse:
        case Mode::WeightEdit: {
            const bool gridUsable = m.mode == Mode::Browse && m.weightLocked();
            const int action = pick(10);
            if (!m.weightLocked() && action < 2)
                typeWeightKeys();
            else if (!m.weightLocked() && action < 4)
                typeAWholeWeight();
            else if (!m.weightLocked() && action == 4)
                leaveTheWeight();
            else if (action == 5)
                // The weight is played with for a while before it is recorded for good.
                m.weightLocked() || chance(40) ? confirmAction() : typeAWholeWeight();
            else if (action == 6)
                m.mode == Mode::WeightEdit &&chance(50) ? cancelAction() : verifyAction();
            else if (m.mode == Mode::Browse && action == 7)
                newRow(false);
            else if (m.mode == Mode::Browse && action == 8 && !m.saved.isEmpty())
                chance(50) ? changeRow() : deleteRow();
            else if (action == 8 && !m.saved.isEmpty())
                deleteRow(); // offered while the weight is typed too
            else if (gridUsable && !m.saved.isEmpty())
                selectRowAction();
            else if (m.mode == Mode::Browse)
                newRow(false);
            else
                confirmAction();
            break;
        }
        case Mode::RowInsert:
        case Mode::RowEdit: {
            const int action = pick(13);
            // With the plan locked (no weight) the grid takes no clicks nor keys: only
            // the command bar works the row.
            if (!form->dbgPadrao->Enabled())
                action < 8 ? confirmAction() : action < 11 ? cancelAction() : verifyAction();
            else if (action < 3)
                typeACode();
            else if (action < 6)
                typeATime();
            else if (action == 6)
                m.codeColumn ? leaveCodeColumn() : confirmAction();
            else if (action < 9)
                confirmAction();
            else if (action == 9)
                cancelAction();
            else if (action == 10)
                chance(50) ? escape() : verifyAction();
            else if (action == 11 && (m.mode == Mode::RowEdit || m.codeColumn))
                searchAction();
            else if (action == 12 && form->dbgPadrao->model()->rowCount() > 1
                     && (m.mode == Mode::RowEdit || !m.code.isEmpty() || m.hours))
                otherRowWhileEditing();
            else
                confirmAction();
            break;
        }
        }
        check(step);
    }
}

void RandomWalk::resetData()
{
    const auto run = [this](const QString &sql, const QVariantList &values = {}) {
        SqlStatement statement(harness->server().db(), sql);
        for (const QVariant &value : values)
            statement.bind(value);
        statement.exec();
    };
    run(u"DELETE FROM PLAEXERFISI"_s);
    for (const QString &table : {u"INFOAVAL"_s, u"METOAVAL"_s}) {
        SqlStatement others(
            harness->server().db(),
            u"DELETE FROM %1 WHERE CDPACIENTE <> ? OR DTCONSPACI <> ?"_s.arg(table));
        others.bind(Maria).bind(TFieldType::DateTime, Date());
        others.exec();
    }
    run(u"UPDATE INFOAVAL SET DSINFOAVAL = '68,5'"_s);
    for (const PlanRow &row : DemoPlan) {
        SqlStatement insert(
            harness->server().db(),
            u"INSERT INTO PLAEXERFISI (CDFILIAL, CDPACIENTE, DTCONSPACI, "
            u"CDEXERFISICO, QTHREXERFISI, QTENERCONSPL) VALUES (?, ?, ?, ?, ?, ?)"_s);
        insert.bind(ScreenHarness::Branch).bind(Maria).bind(TFieldType::DateTime, Date());
        insert.bind(row.code).bind(row.hours).bind(row.met);
        insert.exec();
    }
}

// QOR_WALK_SEEDS lists seeds to replay ("17,42"); QOR_WALK_RANDOM asks for that many
// fresh ones. Without either, the suite's fixed seeds.
std::vector<unsigned> seedsToWalk()
{
    std::vector<unsigned> seeds;
    for (const QByteArray &part : qgetenv("QOR_WALK_SEEDS").split(',')) {
        if (!part.trimmed().isEmpty())
            seeds.push_back(part.trimmed().toUInt());
    }
    std::random_device device;
    for (int i = 0; i < qEnvironmentVariableIntValue("QOR_WALK_RANDOM"); ++i)
        seeds.push_back(device());
    if (seeds.empty())
        seeds = {1, 2, 3};
    return seeds;
}

TEST_P(RandomWalk, EveryStepShowsAndStoresWhatTheDietitianExpects)
{
    const int steps = qEnvironmentVariableIsSet("QOR_WALK_STEPS")
        ? qEnvironmentVariableIntValue("QOR_WALK_STEPS")
        : 250;
    for (const unsigned seed : seedsToWalk()) {
        walk(seed, steps);
        if (HasFailure()) {
            std::cout << "random walk failed: seed " << seed
                      << "\nactions: " << m_trail.join(u" / "_s).toStdString() << std::endl;
            return;
        }
        // Closing asks whether to drop what is being typed: Yes.
        if (form->EditingInProgress())
            harness->dialogs().QueueAnswer(mrYes);
        closeScreen();
        forgetMessages();
        if (m_down)
            serverStarts();
        resetData();
    }
}

QOR_INSTANTIATE_BACKENDS(RandomWalk);

} // namespace
} // namespace qor::testing
