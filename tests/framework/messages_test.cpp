// TMessages: keyed texts and the modal question through the dialogs interface.
#include "framework/messages.h"

#include "forms/scripteddialogs.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qor;

namespace {

struct MsgCase
{
    const char16_t *key;
    const char16_t *text;
};

class MsgTest : public ::testing::TestWithParam<MsgCase>
{
protected:
    MsgTest()
    {
        list.Add(u"Excl|Confirma exclusão?"_s);
        list.Add(QStringList{
            u"Cod_inf|Código deve ser informado."_s, u"HORA_INVALIDA|não é uma hora válida"_s,
            u"Tabela|Código|Descrição"_s, // the text runs to the end, bars included
            u"Vazio|"_s,
            u"sem barra"_s, // ignored
            u"|sem chave"_s, // ignored
            u"Excl|Confirma a exclusão do exercício?"_s, // a later entry replaces
        });
    }
    TMessages list;
};

TEST_P(MsgTest, TextUnderKey)
{
    EXPECT_EQ(list.Msg(QString::fromUtf16(GetParam().key)), QString::fromUtf16(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Messages, MsgTest,
    ::testing::Values(MsgCase{u"Cod_inf", u"Código deve ser informado."},
                      MsgCase{u"HORA_INVALIDA", u"não é uma hora válida"},
                      MsgCase{u"Tabela", u"Código|Descrição"}, MsgCase{u"Vazio", u""},
                      MsgCase{u"Excl", u"Confirma a exclusão do exercício?"},
                      // Missing keys are visible, never an empty message.
                      MsgCase{u"VAL_INV", u"Mensagem não cadastrada: VAL_INV"},
                      MsgCase{u"cod_inf", u"Mensagem não cadastrada: cod_inf"},
                      MsgCase{u"sem barra", u"Mensagem não cadastrada: sem barra"},
                      MsgCase{u"", u"Mensagem não cadastrada: "}));

TEST(Messages, ShowMsgAsksThroughTheDialogsAndReturnsTheAnswer)
{
    ScopedScriptedDialogs dialogs;
    TMessages list;
    list.Add(u"Canc|Deseja cancelar as alterações?"_s);
    dialogs->QueueAnswer(mrYes);
    dialogs->QueueAnswer(mrNo);

    EXPECT_EQ(list.ShowMsg(u"Canc"_s, mtConfirmation, mbYes | mbNo, 0), 6);
    EXPECT_EQ(list.ShowMsg(u"Canc"_s, mtConfirmation, mbYes | mbNo, 0), mrNo);
    EXPECT_EQ(list.ShowMsg(u"Falta"_s, mtInformation, mbOK, 0), mrOk);

    const QList<TDialogMessage> expected{
        {mtConfirmation, u"Deseja cancelar as alterações?"_s, mbYes | mbNo},
        {mtConfirmation, u"Deseja cancelar as alterações?"_s, mbYes | mbNo},
        {mtInformation, u"Mensagem não cadastrada: Falta"_s, mbOK},
    };
    EXPECT_EQ(dialogs->Messages(), expected);
    EXPECT_EQ(dialogs->Unanswered(), 0);
}

TEST(Messages, ClearEmptiesTheList)
{
    TMessages list;
    list.Add(u"A|um"_s);
    list.Clear();
    EXPECT_TRUE(list.Messages().isEmpty());
    EXPECT_FALSE(list.Contains(u"A"_s));
}

} // namespace
