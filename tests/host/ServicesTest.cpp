#include "host/Dialogs.h"
#include "host/Messages.h"
#include "host/Strings.h"
#include "platform/data/Exceptions.h"

#include <gtest/gtest.h>

using namespace zel;

TEST(Strings, EmptyStringIsTrueForNoCharactersOrBlanksOnly)
{
    EXPECT_TRUE(EmptyString(QString()));
    EXPECT_TRUE(EmptyString(QStringLiteral("")));
    EXPECT_TRUE(EmptyString(QStringLiteral(" ")));
    EXPECT_TRUE(EmptyString(QStringLiteral("    ")));
    EXPECT_FALSE(EmptyString(QStringLiteral(" 1 ")));
    EXPECT_FALSE(EmptyString(QStringLiteral("0")));
}

TEST(Strings, AjustaBringsCodesToTheirStoredWidth)
{
    struct Case {
        const char* in;
        int length;
        const char* out;
    } cases[] = {
        {"1", 4, "0001"},      {"0001", 4, "0001"},       {" 12 ", 4, "0012"},
        {"AB", 4, "00AB"},     {"123", 10, "0000000123"}, {"1234567890", 10, "1234567890"},
        {"", 4, ""},           // not given stays not given
        {"   ", 10, ""},       // blank stays not given
        {"000001", 4, "0001"}, // surplus leading zeros go
        {"12345", 4, "12345"}, // too long: not truncated into another code
    };
    for (const auto& c : cases)
        EXPECT_EQ(Ajusta(QString::fromUtf8(c.in), c.length), QString::fromUtf8(c.out)) << c.in << " / " << c.length;
}

class MessagesTest : public ::testing::Test {
protected:
    void SetUp() override { MessageSeam::clearHistory(); }
    void TearDown() override { MessageSeam::clearHistory(); }
};

TEST_F(MessagesTest, MsgFindsTheTextOfAKeyExactly)
{
    TMessages msg(QStringLiteral("msgPadrao"),
                  {QStringLiteral("Excl|Confirma exclusão?"),
                   QStringLiteral("Oper_Inv|Operador não possui permissão para liberar inconsistências. "),
                   QStringLiteral("INTINI<INTFIN|Intervalo inicial deve ser menor que o final."),
                   QStringLiteral("sem barra"), QStringLiteral("Excl|segunda linha da mesma chave"),
                   QStringLiteral("URL|http://a|b")});
    EXPECT_EQ(msg.Msg(QStringLiteral("Excl")), QStringLiteral("Confirma exclusão?"));
    // The trailing blank is part of the text.
    EXPECT_EQ(msg.Msg(QStringLiteral("Oper_Inv")),
              QStringLiteral("Operador não possui permissão para liberar inconsistências. "));
    EXPECT_EQ(msg.Msg(QStringLiteral("INTINI<INTFIN")),
              QStringLiteral("Intervalo inicial deve ser menor que o final."));
    // Only the first bar separates.
    EXPECT_EQ(msg.Msg(QStringLiteral("URL")), QStringLiteral("http://a|b"));
    // Keys are not prefixes nor case-insensitive.
    EXPECT_FALSE(msg.HasKey(QStringLiteral("Exc")));
    EXPECT_FALSE(msg.HasKey(QStringLiteral("excl")));
    EXPECT_FALSE(msg.HasKey(QStringLiteral("sem barra")));
    EXPECT_EQ(msg.Msg(QStringLiteral("NAO_HA")), QStringLiteral("NAO_HA"));
}

TEST_F(MessagesTest, ShowMsgReturnsTheScriptedButtonAndRecordsTheBox)
{
    TMessages msg(QStringLiteral("msgMensagensPadroes"), {QStringLiteral("Canc|Cancelar operação?")});
    MessageSeam::setNextAnswer(mrNo);
    MessageSeam::setNextAnswer(mrYes);
    EXPECT_EQ(msg.ShowMsg(QStringLiteral("Canc"), TMsgDlgType::mtConfirmation, mbYesNo, 0), mrNo);
    EXPECT_EQ(msg.ShowMsg(QStringLiteral("Canc"), TMsgDlgType::mtConfirmation, mbYesNo, 0), mrYes);
    // Unscripted in a test program: the first button.
    EXPECT_EQ(msg.ShowMsg(QStringLiteral("Canc"), TMsgDlgType::mtConfirmation, mbNo | mbCancel, 0), mrNo);
    const auto& h = MessageSeam::history();
    ASSERT_EQ(h.size(), 3u);
    EXPECT_EQ(h[0].text, QStringLiteral("Cancelar operação?"));
    EXPECT_EQ(h[0].type, TMsgDlgType::mtConfirmation);
    EXPECT_EQ(h[0].buttons, mbYesNo);
    EXPECT_EQ(h[1].result, mrYes);
    EXPECT_TRUE(MessageSeam::errors().empty());
}

TEST_F(MessagesTest, MensErroShowsTheTextAsAnErrorThenAbortsSilently)
{
    bool after = false;
    EXPECT_THROW(
        {
            MensErro(QStringLiteral("Filial deve ser informada."), true);
            after = true;
        },
        EAbort);
    EXPECT_FALSE(after);
    ASSERT_EQ(MessageSeam::errors().size(), 1u);
    EXPECT_EQ(MessageSeam::errors()[0], QStringLiteral("Filial deve ser informada."));
    // Without raising it only shows.
    EXPECT_NO_THROW(MensErro(QStringLiteral("só aviso"), false));
    EXPECT_EQ(MessageSeam::errors().size(), 2u);
}
