// "Liberação em lote" through the shell against the server: a few hundred
// rows ticked by code, all at once and one by one, released in one command
// while another operator released some of them and changed one; each row
// shows its own outcome and the database holds exactly the released ones.
#include "host/Dialogs.h"
#include "platform/data/DateTime.h"
#include "platform/widgets/DBGrid.h"
#include "tests/supervisor/SupervisorFixture.h"

#include <QLabel>
#include <QSqlQuery>
#include <QTest>

#include <map>

namespace zel::test {
namespace {

const QDate kOrderDay(2031, 4, 2);
const int kFirst = 910000001;

QString Nr(int order)
{
    return QStringLiteral("%1").arg(order, 10, 10, QLatin1Char('0'));
}

class BatchReleaseTest : public SupervisorTest {
protected:
    QWidget* OpenAndConsult(int orders)
    {
        AddPending(kFirst, orders, kOrderDay);
        OpenShell(QStringLiteral("0010"));
        QWidget* screen = Open("mnuLibLote", "frmLibLote");
        if (!screen) return nullptr;
        grid_ = screen->findChild<TDBGrid*>(QStringLiteral("dbgPadrao"));
        Type(screen, "edtDtPedidoDe", DateToStr(TDateTime::fromDate(kOrderDay)));
        Type(screen, "edtDtPedidoAte", DateToStr(TDateTime::fromDate(kOrderDay)));
        Click(screen, "btnConsultar");
        return screen;
    }
    QString Count(QWidget* screen, const char* label = "lblContagem")
    {
        return screen->findChild<QLabel*>(QString::fromLatin1(label))->text();
    }
    // Column `title` of every row, by order and inconsistency number.
    std::map<std::pair<QString, QString>, QString> ByRow(const QString& title)
    {
        const QStringList titles = GridTitles(grid_);
        const int pedido = titles.indexOf(QStringLiteral("Pedido"));
        const int incons = titles.indexOf(QStringLiteral("Nr.incons."));
        const int col = titles.indexOf(title);
        std::map<std::pair<QString, QString>, QString> out;
        for (const QStringList& r : GridRows(grid_))
            out[{r[pedido], r[incons]}] = r[col];
        return out;
    }
    qint64 Scalar(const QString& sql)
    {
        QSqlQuery q(Db());
        EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
        return q.next() ? q.value(0).toLongLong() : -1;
    }
    TDBGrid* grid_ = nullptr;
};

TEST_F(BatchReleaseTest, EachRowShowsItsOwnOutcome)
{
    QWidget* screen = OpenAndConsult(150);
    ASSERT_NE(screen, nullptr);
    ASSERT_EQ(GridRows(grid_).size(), 300u);
    EXPECT_EQ(Count(screen), QStringLiteral("0 marcadas de 300"));
    EXPECT_FALSE(screen->findChild<QWidget*>(QStringLiteral("btnLiberar"))->isEnabled());

    // By code: the 150 inconsistencies of code 001 and none other.
    Type(screen, "edtMarcarCodigo", QStringLiteral("1"));
    Click(screen, "btnMarcarCodigo");
    EXPECT_EQ(Count(screen), QStringLiteral("150 marcadas de 300"));
    const auto marks = ByRow(QStringLiteral("Liberar"));
    const auto codes = ByRow(QStringLiteral("Código"));
    for (const auto& [key, code] : codes)
        EXPECT_EQ(marks.at(key).isEmpty(), code != QLatin1String("001")) << key.first.toStdString();
    // All, then one off and on again from the keyboard.
    Click(screen, "btnMarcarTodas");
    EXPECT_EQ(Count(screen), QStringLiteral("300 marcadas de 300"));
    grid_->setFocus();
    QTest::keyClick(grid_, Qt::Key_Space);
    EXPECT_EQ(Count(screen), QStringLiteral("299 marcadas de 300"));
    QTest::keyClick(grid_, Qt::Key_Space);
    EXPECT_EQ(Count(screen), QStringLiteral("300 marcadas de 300"));

    // Meanwhile, at another desk: 0001 releases five rows, and the note of a
    // sixth changes.
    std::vector<Incons> elsewhere;
    for (int i = 0; i < 5; ++i)
        elsewhere.push_back({QStringLiteral("0001"), Nr(kFirst + 10 * i), QStringLiteral("001")});
    ReleaseElsewhere(QStringLiteral("0001"), elsewhere);
    ASSERT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM INCONSPED WHERE NRPEDIDO = '%1' AND NRINCONSPED = '002'")
                         .arg(Nr(kFirst + 7))),
              1);
    QSqlQuery(Db()).exec(QStringLiteral("UPDATE INCONSPED SET TXOBSLIBINCO = 'mudou' WHERE NRPEDIDO = '%1' AND "
                                        "NRINCONSPED = '002'")
                             .arg(Nr(kFirst + 7)));

    Type(screen, "edtObs", QStringLiteral("Lote de teste"));
    MessageSeam::clearHistory();
    MessageSeam::setNextAnswer(mrYes);
    Click(screen, "btnLiberar");
    ASSERT_FALSE(MessageSeam::history().empty());
    EXPECT_EQ(MessageSeam::history().front().text, QStringLiteral("Liberar 300 inconsistências?"));
    for (const QString& e : MessageSeam::errors())
        ADD_FAILURE() << "error shown: " << e.toStdString();
    EXPECT_EQ(Count(screen, "lblResumo"), QStringLiteral("294 liberadas, 6 recusadas"));

    const auto results = ByRow(QStringLiteral("Resultado"));
    ASSERT_EQ(results.size(), 300u);
    int released = 0;
    for (const auto& [key, text] : results) {
        SCOPED_TRACE((key.first + "/" + key.second + ": " + text).toStdString());
        const int order = key.first.toInt() - kFirst;
        if (key.second == QLatin1String("001") && order % 10 == 0 && order < 50)
            EXPECT_TRUE(text.startsWith(QStringLiteral("Recusada: já liberada por 0001 em ")));
        else if (order == 7 && key.second == QLatin1String("002"))
            EXPECT_EQ(text, QStringLiteral("Recusada: alterada por outro operador desde a consulta"));
        else
            released += text.startsWith(QStringLiteral("Liberada por 0010 em "));
    }
    EXPECT_EQ(released, 294);
    // Released rows are unticked; the refused changed one stays ticked.
    EXPECT_EQ(Count(screen), QStringLiteral("1 marcadas de 300"));

    // The database: 294 rows released by 0010 with the batch's note, each
    // with its history row; the changed one still pending.
    const QString range = QStringLiteral("NRPEDIDO BETWEEN '%1' AND '%2'").arg(Nr(kFirst), Nr(kFirst + 149));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM INCONSPED WHERE CDOPERLIBE = '0010' AND TXOBSLIBINCO = "
                                    "'Lote de teste' AND ") +
                     range),
              294);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM HISTLIBINC WHERE CDOPERLIBE = '0010' AND ") + range), 294);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM INCONSPED WHERE DTLIBEINCONS IS NULL AND ") + range), 1);
}

TEST_F(BatchReleaseTest, RowsWithoutAnAnswerSaySo)
{
    QWidget* screen = OpenAndConsult(10);
    ASSERT_NE(screen, nullptr);
    Click(screen, "btnMarcarTodas");
    EXPECT_EQ(Count(screen), QStringLiteral("20 marcadas de 20"));
    server_.stop();
    MessageSeam::clearHistory();
    MessageSeam::setNextAnswer(mrYes);
    Click(screen, "btnLiberar");
    // The failure is told, and no row claims an outcome it did not get.
    ASSERT_EQ(MessageSeam::errors().size(), 1u);
    EXPECT_TRUE(MessageSeam::errors()[0].startsWith(QStringLiteral("A liberação foi interrompida: ")));
    EXPECT_EQ(Count(screen, "lblResumo"), QStringLiteral("0 liberadas, 0 recusadas, 20 sem resposta"));
    for (const auto& [key, text] : ByRow(QStringLiteral("Resultado")))
        EXPECT_EQ(text, QStringLiteral("Sem resposta do servidor")) << key.first.toStdString();
    // Nothing was released, so every row stays ticked for another try.
    EXPECT_EQ(Count(screen), QStringLiteral("20 marcadas de 20"));
}

} // namespace
} // namespace zel::test
