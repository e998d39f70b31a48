// The screen as the form description gives it: captions, datasets and fields, grid
// columns, header controls, messages and the catalogue queries.
#include "screenharness.h"

#include "data/clientdataset.h"
#include "data/datasource.h"
#include "forms/application.h"
#include "forms/column.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "forms/edit.h"
#include "forms/label.h"
#include "forms/panel.h"
#include "framework/buttonflat.h"
#include "framework/dateeditplus.h"
#include "framework/messages.h"
#include "framework/netconnection.h"
#include "screen/frmplanejaexerc.h"

#include <gtest/gtest.h>
#include <memory>

using namespace Qt::StringLiterals;

namespace qor {
namespace {

class InventoryTest : public ::testing::Test
{
protected:
    void SetUp() override { form.reset(new TfrmPlanejaExerc); }
    std::unique_ptr<TfrmPlanejaExerc> form;
};

TEST_F(InventoryTest, FormCaptionSizeAndInheritedControls)
{
    EXPECT_EQ(form->Caption(), u"Planejamento de Exercícios"_s);
    EXPECT_EQ(form->size(), QSize(565, 382));
    EXPECT_EQ(form->lblCodTela->Caption(), u"QOR12700"_s);
    EXPECT_FALSE(form->sbtImprimir->Enabled());
    EXPECT_EQ(form->dtsPadrao->DataSet(), form->cdsPlaneja);
    EXPECT_EQ(form->dtsPeso->DataSet(), form->cdsPeso);
    EXPECT_EQ(form->dtsPaciente->DataSet(), form->cdsPaciente);
    EXPECT_EQ(form->dtsAuxPlaneja->DataSet(), form->qryAuxPlaneja);
}

struct ColumnRow
{
    QString field;
    QString title;
    int width; // -1: not fixed
    bool readOnly;
    bool visible;
    TAlignment alignment;
    QVariant titleAlignment; // as the header shows it; none: the header's default
};

const QVariant right = int(Qt::AlignRight | Qt::AlignVCenter);

TEST_F(InventoryTest, GridColumnsInOrder)
{
    const ColumnRow expected[] = {
        {u"CDEXERFISICO"_s, u"Código"_s, 45, false, true, taLeftJustify, {}},
        {u"DSEXERFISICO"_s, u"Nome"_s, 181, true, true, taLeftJustify, {}},
        {u"QTENERCONSPL"_s, u"Kcal/kg/hora"_s, 88, true, true, taRightJustify, {}},
        {u"QTHREXERFISI"_s, u"Horas/Semana"_s, 119, false, true, taRightJustify, {}},
        {u"Kcal/Semana"_s, u"Kcal/Semana"_s, -1, false, false, taRightJustify, right},
        {u"Kcal/Dia"_s, u"Kcal/Dia"_s, 70, true, true, taRightJustify, right},
    };
    TDBGridColumns *columns = form->dbgPadrao->Columns();
    ASSERT_EQ(columns->Count(), int(std::size(expected)));
    for (int i = 0; i < columns->Count(); ++i) {
        SCOPED_TRACE(expected[i].field.toStdString());
        TColumn *column = columns->Items(i);
        EXPECT_EQ(column->FieldName(), expected[i].field);
        EXPECT_EQ(column->Title(), expected[i].title);
        if (expected[i].width >= 0) {
            EXPECT_EQ(column->Width(), expected[i].width);
        }
        EXPECT_EQ(column->ReadOnly(), expected[i].readOnly);
        EXPECT_EQ(column->Visible(), expected[i].visible);
        EXPECT_EQ(column->Alignment(), expected[i].alignment);
        EXPECT_EQ(form->dbgPadrao->model()->headerData(i, Qt::Horizontal, Qt::TextAlignmentRole),
                  expected[i].titleAlignment);
    }
    // Titles from the field's label follow the label; only the energy column has its own.
    EXPECT_FALSE(columns->Items(0)->TitleIsSet());
    EXPECT_TRUE(columns->Items(2)->TitleIsSet());
}

struct FieldRow
{
    QString dataSet;
    QString field;
    TFieldType type;
    int size;
    QString label;
    bool visible;
    bool calculated;
};

TEST_F(InventoryTest, DataSetFields)
{
    const auto S = TFieldType::String;
    const auto F = TFieldType::Float;
    const auto D = TFieldType::DateTime;
    const FieldRow expected[] = {
        {u"cdsPaciente"_s, u"CDFILIAL"_s, S, 4, {}, false, false},
        {u"cdsPaciente"_s, u"CDPACIENTE"_s, S, 12, {}, true, false},
        {u"cdsPaciente"_s, u"NMPACIENTE"_s, S, 80, {}, true, false},
        {u"cdsPaciente"_s, u"DTNASCPACI"_s, D, 0, {}, true, false},
        {u"cdsPeso"_s, u"CDFILIAL"_s, S, 4, {}, false, false},
        {u"cdsPeso"_s, u"CDPACIENTE"_s, S, 12, {}, true, false},
        {u"cdsPeso"_s, u"DTCONSPACI"_s, D, 0, {}, true, false},
        {u"cdsPeso"_s, u"CDTBMETOAVAL"_s, S, 2, {}, true, false},
        {u"cdsPeso"_s, u"CDTIPODADO"_s, S, 2, {}, true, false},
        {u"cdsPeso"_s, u"DSINFOAVAL"_s, S, 30, {}, true, false},
        {u"cdsMetoAval"_s, u"CDFILIAL"_s, S, 4, {}, false, false},
        {u"cdsMetoAval"_s, u"CDPACIENTE"_s, S, 12, {}, true, false},
        {u"cdsMetoAval"_s, u"DTCONSPACI"_s, D, 0, {}, true, false},
        {u"cdsMetoAval"_s, u"CDTBMETOAVAL"_s, S, 2, {}, true, false},
        {u"cdsMetoAval"_s, u"IDTABELAAV"_s, S, 1, {}, true, false},
        {u"cdsPlaneja"_s, u"CDFILIAL"_s, S, 4, {}, false, false},
        {u"cdsPlaneja"_s, u"CDPACIENTE"_s, S, 12, {}, false, false},
        {u"cdsPlaneja"_s, u"DTCONSPACI"_s, D, 0, u"Data da Consulta"_s, true, false},
        {u"cdsPlaneja"_s, u"CDEXERFISICO"_s, S, 6, u"Código"_s, true, false},
        {u"cdsPlaneja"_s, u"QTHREXERFISI"_s, F, 0, u"Horas/Semana"_s, true, false},
        {u"cdsPlaneja"_s, u"DSEXERFISICO"_s, S, 100, u"Nome"_s, true, false},
        {u"cdsPlaneja"_s, u"QTENERCONSPL"_s, F, 0, {}, false, false},
        {u"cdsPlaneja"_s, u"QTENERCONS"_s, F, 0, {}, false, false},
        {u"cdsPlaneja"_s, u"Kcal/Semana"_s, F, 0, {}, false, true},
        {u"cdsPlaneja"_s, u"Kcal/Dia"_s, F, 0, {}, true, true},
        {u"cdsVerifExerc"_s, u"CDFILIAL"_s, S, 4, {}, false, false},
        {u"cdsVerifExerc"_s, u"CDPACIENTE"_s, S, 12, {}, true, false},
        {u"cdsVerifExerc"_s, u"DTCONSPACI"_s, D, 0, {}, true, false},
        {u"cdsVerifExerc"_s, u"CDEXERFISICO"_s, S, 6, {}, true, false},
    };
    QHash<QString, int> fieldCounts;
    for (const FieldRow &row : expected) {
        SCOPED_TRACE((row.dataSet + u'.' + row.field).toStdString());
        auto *dataSet = form->findChild<TClientDataSet *>(row.dataSet);
        ASSERT_NE(dataSet, nullptr);
        TField *field = dataSet->FindField(row.field);
        ASSERT_NE(field, nullptr);
        // In the order of the form description.
        EXPECT_EQ(field->Index(), fieldCounts[row.dataSet]++);
        EXPECT_EQ(field->DataType(), row.type);
        if (row.type == TFieldType::String) {
            EXPECT_EQ(field->Size(), row.size);
        }
        EXPECT_EQ(field->DisplayLabel, row.label);
        EXPECT_EQ(field->Visible, row.visible);
        EXPECT_EQ(field->Calculated(), row.calculated);
    }
    for (auto it = fieldCounts.cbegin(); it != fieldCounts.cend(); ++it)
        EXPECT_EQ(form->findChild<TClientDataSet *>(it.key())->Fields().size(), it.value())
            << it.key().toStdString();
    EXPECT_EQ(form->cdsPlanejaKcalSemana->DisplayFormat, u"#,##0.000"_s);
    EXPECT_EQ(form->cdsPlanejaKcalDia->DisplayFormat, u"#,##0.000"_s);
    // The hours field gets its mask at the first activation, not before.
    EXPECT_TRUE(form->cdsPlanejaQTHREXERFISI->EditMask.isEmpty());
}

TEST_F(InventoryTest, MessagesByKey)
{
    const std::pair<QString, QString> expected[] = {
        {u"Excl"_s, u"Confirma exclusão?"_s},
        {u"Exercicio"_s, u"Exercício"_s},
        {u"Exercicio_nc"_s, u"Não há exercício cadastrado."_s},
        {u"Cod_inf"_s, u"Código deve ser informado."_s},
        {u"Cod_nc"_s, u"Exercício não cadastrado."_s},
        {u"Peso_inf"_s, u"Peso deve ser informado."_s},
        {u"QRTHREXER_DEVE"_s, u"Horas/semana deve ser informada."_s},
        {u"QTENERCONSPL_DEVE"_s, u"Kcal/Kg/Hora deve ser informada."_s},
        {u"Exer_JCad"_s, u"Exercício físico já cadastrado."_s},
        {u"HORA_INVALIDA"_s, u"não é uma hora válida"_s},
    };
    ASSERT_EQ(form->msgPadrao->Messages().size(), qsizetype(std::size(expected)));
    for (const auto &[key, text] : expected) {
        EXPECT_TRUE(form->msgPadrao->Contains(key)) << key.toStdString();
        EXPECT_EQ(form->msgPadrao->Msg(key), text) << key.toStdString();
    }
    // Looked up by the duration field but never given a text here.
    EXPECT_FALSE(form->msgPadrao->Contains(u"VAL_INV"_s));
    EXPECT_TRUE(form->msgMensagensPadroes->Contains(u"Canc"_s));
}

TEST_F(InventoryTest, HeaderTotalAndCoveredLabels)
{
    struct LabelRow
    {
        TLabel *label;
        QString caption;
    };
    const LabelRow labels[] = {
        {form->lblPaciente, u"Paciente"_s},
        {form->lblIdade, u"Idade"_s},
        {form->lblPeso, u"Peso"_s},
        {form->lblDataCons, u"Data da Consulta"_s},
        {form->lblTotal, u"Total Kcal/Dia"_s},
        {form->lblHorasSemana, u"N.º Horas/Semana"_s},
        {form->lblKcalDia1, u"Kcal/Dia"_s},
        {form->lblKcalDia2, u"Kcal/Dia"_s},
    };
    for (const LabelRow &row : labels)
        EXPECT_EQ(row.label->Caption(), row.caption);
    EXPECT_TRUE(form->lblTotal->font().bold());

    struct ControlRow
    {
        const char *name;
        TControl *control;
        bool enabled;
        TColor color;
    };
    const ControlRow controls[] = {
        {"edtPaciente", form->edtPaciente, false, clBtnFace},
        {"edtTotal", form->edtTotal, false, clBtnFace},
        {"dbePeso", form->dbePeso, true, clBtnFace},
    };
    for (const ControlRow &row : controls) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.control->Enabled(), row.enabled);
        EXPECT_EQ(row.control->Color(), row.color);
    }
    EXPECT_FALSE(form->edtIdade->Enabled());
    EXPECT_EQ(form->dbePeso->DataSource(), form->dtsPeso);
    EXPECT_EQ(form->dbePeso->DataField(), u"DSINFOAVAL"_s);

    EXPECT_FALSE(form->depDataCons->Enabled());
    EXPECT_EQ(form->depDataCons->Color(), clInfoBk);
    EXPECT_EQ(form->depDataCons->ValidDateColor(), clBlue);
    EXPECT_EQ(form->depDataCons->WeekDays(),
              (QStringList{u"Domingo"_s, u"Segunda"_s, u"Terça"_s, u"Quarta"_s, u"Quinta"_s,
                           u"Sexta"_s, u"Sábado"_s}));

    // The covered labels sit under the grid in the grid area.
    for (TLabel *label : {form->lblHorasSemana, form->lblKcalDia1, form->lblKcalDia2}) {
        ASSERT_EQ(label->parentWidget(), form->dbgPadrao->parentWidget());
        const QObjectList siblings = label->parentWidget()->children();
        EXPECT_LT(siblings.indexOf(label), siblings.indexOf(form->dbgPadrao));
    }
}

TEST_F(InventoryTest, ConnectionToThePlanService)
{
    EXPECT_EQ(form->netPlanejaExerc->ServerName, u"QOR12700.rdmPlanejaExerc"_s);
    EXPECT_EQ(form->netPlanejaExerc->ServerGUID, u"{3BBED0B9-EE5F-4A8A-B415-14C36143A0E8}"_s);
    EXPECT_FALSE(form->netPlanejaExerc->ThrowException);
    EXPECT_FALSE(form->netPlanejaExerc->Connected());
}

} // namespace
} // namespace qor
